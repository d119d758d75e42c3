#pragma once
// Writing downloads without following symbolic links and without overwriting:
// folders are opened one component at a time with O_NOFOLLOW relative to the
// current folder, files are written under a temporary name inside their folder
// and then renamed to their own name only if that name is free.
#include <optional>
#include <string>
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

// A fresh temporary name in the engine's reserved form (".mireva-part-<pid>-<n>").
std::string TemporaryName();

// Removes temporary files left in `folder` by engine runs that are no longer alive.
void RemoveStaleParts(int folderFd);

// Gives the complete temporary file `tempName` its own name `name` in the same
// folder. When the name is taken by a file with the same bytes, the temporary
// is dropped and `name` returned; when taken by other content, the first free
// numbered name ("name(1).ext", ...) is used. Nothing is ever overwritten. The
// name given, or nothing on failure (the temporary is then removed).
std::optional<std::string> CommitFile(int folderFd, const std::string& tempName,
                                      const std::string& name);

// True when `name` exists in the folder (as anything, links included).
bool NameTaken(int folderFd, const std::string& name);

}  // namespace mireva::dl
