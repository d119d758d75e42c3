#pragma once
// Small file helpers over Shift_JIS paths (converted to the host's UTF-8 names),
// and the one way files users keep are replaced: ReplacementFile.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mireva {

// The whole file, or nothing when it cannot be read. `error` (when given)
// receives the errno of the failure, so a caller can tell a missing file
// (ENOENT) from one that is there but unreadable; 0 on success.
std::optional<std::string> ReadWholeFile(const std::string& sjisPath, int* error = nullptr);

// Writes `data` to a temporary name beside `sjisPath`, flushes it to disk and
// renames it over the target, so readers see either the old or the new file,
// never half of one. False (and no temporary left behind) on any failure.
bool WriteFileAtomically(const std::string& sjisPath, const std::string& data);

bool FileExists(const std::string& sjisPath);

// The lines of a text, without their line ends (LF or CR LF); a last line
// without a line end counts, an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);
bool MakeDirectories(const std::string& sjisPath);

// A new file that takes the place of a target (a host path) only when it is
// committed. It is made in the target's folder under a unique name beginning
// with a dot (".<name>.tmpXXXXXX"), so no two writers share it and folder
// sweeps pass it over; it is created exclusively without following links,
// with the permissions of the file it replaces, else 0666 less the umask.
// Commit writes it to disk, renames it over the target (a link at the target's
// name is replaced, never followed) and writes the folder to disk. Until then
// the target is untouched; destroyed uncommitted, the temporary is removed.
class ReplacementFile {
 public:
  explicit ReplacementFile(std::string hostTarget);
  ~ReplacementFile() { Discard(); }
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // False (errno set) when the temporary could not be created.
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  const std::string& TemporaryPath() const { return temp_; }

  // Writes all of `data`, going on after interrupted and short writes.
  // False with errno set.
  bool Write(std::string_view data);
  // False with errno set; the target is then the old file, unless only the
  // final flush of the folder failed.
  bool Commit();
  void Discard();

 private:
  std::string target_;
  std::string temp_;
  int fd_ = -1;
  int openErrno_ = 0;
};

// The same in one call for host paths; false (errno set) on any failure.
bool WriteHostFileAtomically(const std::string& hostTarget, std::string_view data);
// Copies a regular file over `hostTarget` through a ReplacementFile; at most
// `limit` bytes are copied, a longer source fails (EFBIG).
bool CopyFileAtomically(const std::string& hostSource, const std::string& hostTarget,
                        unsigned long long limit = 1ull << 30);

// The name this program instance gives a working file of the current folder
// that every run rewrites ("temp.html", "Download.lst"; Shift_JIS): the name
// itself for the first instance working in the folder, "<stem>-<n><extension>"
// for the n-th one running there at the same time, so two windows, or a
// scheduled patrol beside the window, never write each other's file. An
// instance keeps its number while it runs (it holds a lock on the hidden file
// ".mireva-instance-<n>.lock" in the folder).
std::string InstanceFileName(const std::string& name);

}  // namespace mireva
