#include "companions/download_engine/output_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "companions/download_engine/safe_name.h"

namespace mireva::dl {

namespace {

constexpr char kPartPrefix[] = ".mireva-part-";

bool SameContent(int folderFd, const std::string& a, const std::string& b) {
  int fa = openat(folderFd, a.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fa < 0) return false;
  int fb = openat(folderFd, b.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fb < 0) {
    close(fa);
    return false;
  }
  struct stat sa, sb;
  bool same = fstat(fa, &sa) == 0 && fstat(fb, &sb) == 0 && S_ISREG(sa.st_mode) &&
              S_ISREG(sb.st_mode) && sa.st_size == sb.st_size;
  static constexpr size_t kChunk = 65536;
  char* bufA = same ? static_cast<char*>(std::malloc(kChunk * 2)) : nullptr;
  if (same && !bufA) same = false;
  while (same) {
    ssize_t na = read(fa, bufA, kChunk);
    if (na < 0) {
      same = false;
      break;
    }
    if (na == 0) break;
    ssize_t got = 0;
    while (got < na) {
      ssize_t nb = read(fb, bufA + kChunk + got, static_cast<size_t>(na - got));
      if (nb <= 0) break;
      got += nb;
    }
    if (got != na || std::memcmp(bufA, bufA + kChunk, static_cast<size_t>(na)) != 0) same = false;
  }
  std::free(bufA);
  close(fa);
  close(fb);
  return same;
}

// rename without replacing: RENAME_NOREPLACE where the file system has it, else a
// hard link (which fails on an existing name) and removal of the temporary.
int RenameNoReplace(int folderFd, const std::string& from, const std::string& to) {
  if (renameat2(folderFd, from.c_str(), folderFd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
  if (linkat(folderFd, from.c_str(), folderFd, to.c_str(), 0) != 0) return -1;
  unlinkat(folderFd, from.c_str(), 0);
  return 0;
}

}  // namespace

FolderHandle::~FolderHandle() {
  if (fd_ >= 0) close(fd_);
}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

FolderHandle OpenFolderChain(const std::vector<std::string>& components) {
  FolderHandle current(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!current.IsOpen()) return FolderHandle();
  for (const std::string& c : components) {
    if (!IsSafeFileName(c)) return FolderHandle();
    if (mkdirat(current.Fd(), c.c_str(), 0777) != 0 && errno != EEXIST) return FolderHandle();
    FolderHandle next(openat(current.Fd(), c.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.IsOpen()) return FolderHandle();
    current = std::move(next);
  }
  return current;
}

std::string TemporaryName() {
  static std::atomic<unsigned long> counter{0};
  return std::string(kPartPrefix) + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

void RemoveStaleParts(int folderFd) {
  int dupFd = dup(folderFd);
  if (dupFd < 0) return;
  DIR* dir = fdopendir(dupFd);
  if (!dir) {
    close(dupFd);
    return;
  }
  const size_t prefixLen = sizeof kPartPrefix - 1;
  int checked = 0;
  while (dirent* e = readdir(dir)) {
    if (++checked > 100000) break;
    if (std::strncmp(e->d_name, kPartPrefix, prefixLen) != 0) continue;
    long pid = std::strtol(e->d_name + prefixLen, nullptr, 10);
    // A part of a live run (this one or another program's) stays.
    if (pid > 0 && (pid == getpid() || kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
      continue;
    unlinkat(folderFd, e->d_name, 0);
  }
  closedir(dir);
}

std::optional<std::string> CommitFile(int folderFd, const std::string& tempName,
                                      const std::string& name) {
  for (int n = 0; n < 10000; ++n) {
    std::string candidate = n == 0 ? name : NumberedName(name, n);
    if (RenameNoReplace(folderFd, tempName, candidate) == 0) return candidate;
    if (errno != EEXIST) break;
    if (SameContent(folderFd, tempName, candidate)) {
      unlinkat(folderFd, tempName.c_str(), 0);
      return candidate;
    }
  }
  unlinkat(folderFd, tempName.c_str(), 0);
  return std::nullopt;
}

bool NameTaken(int folderFd, const std::string& name) {
  struct stat st;
  return fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace mireva::dl
