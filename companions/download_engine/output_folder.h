#pragma once
// Writing downloads without following symbolic links and without overwriting:
// folders are opened one component at a time with O_NOFOLLOW relative to the
// current folder, files are written under a temporary name inside their folder
// and then renamed to their own name only if that name is free.
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace mireva::dl {

// An open folder; closes itself.
class FolderHandle {
 public:
  FolderHandle() = default;
  explicit FolderHandle(int fd) : fd_(fd) {}
  ~FolderHandle();
  FolderHandle(FolderHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FolderHandle& operator=(FolderHandle&& other) noexcept;
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;
  int Fd() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Opens (making as needed) the folders `components` below the current folder.
// Every component must be one plain name; a component that is a symbolic link
// or not a folder fails the whole call.
FolderHandle OpenFolderChain(const std::vector<std::string>& components);

// A fresh temporary name in the engine's reserved form (".mireva-part-<pid>-<n>"):
// hidden, so that no sweep of the folder takes it, and unique in the process
// and among processes.
std::string TemporaryName();

// Removes temporary files left in `folder` by engine runs that are no longer
// alive, and partial files kept for resuming (partial_file.h) that were last
// written more than a week ago.
void RemoveStaleParts(int folderFd);

// Gives complete temporary files of one open folder their own names. When a
// name is taken by a file with the same bytes, the temporary is dropped and
// that name returned; when taken by other content, the first free numbered
// name ("name(1).ext", ...) is used. Nothing is ever overwritten. The committer
// remembers the numbered names it has seen taken and the size and hash of their
// content, so that thousands of files of one name cost each a few system calls
// instead of a walk through every numbered name. One committer per folder and
// run; not shared between threads.
class FileCommitter {
 public:
  explicit FileCommitter(int folderFd) : folderFd_(folderFd) {}
  // The name given to `tempName` (whose data the caller has flushed to disk),
  // or nothing on failure (the temporary is then removed).
  std::optional<std::string> Commit(const std::string& tempName, const std::string& name);
  // Flushes the folder's new names to disk when a commit has renamed a file
  // since the last call; false when that fails.
  bool SyncFolder();

 private:
  struct Family {
    int next = 0;                       // every numbered name below this is taken
    std::vector<std::string> unhashed;  // taken names whose content is not known yet
    std::unordered_multimap<unsigned long long, std::string> byContent;  // key -> name
  };
  // Moves the family's unhashed names into its content index.
  void HashMembers(Family& family);
  // The existing name of `family` with the same bytes as `tempName`, if any.
  std::optional<std::string> SameAs(Family& family, const std::string& tempName,
                                    std::optional<unsigned long long>& tempKey);

  int folderFd_;
  std::unordered_map<std::string, Family> families_;
  bool renamed_ = false;
};

// Flushes an open file or folder to disk, retrying on EINTR; false on failure.
bool SyncFd(int fd);

// True when `name` exists in the folder (as anything, links included).
bool NameTaken(int folderFd, const std::string& name);

}  // namespace mireva::dl
