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
#include <ctime>
#include <functional>
#include <memory>
#include <string_view>

#include "companions/download_engine/safe_name.h"

namespace mireva::dl {

namespace {

constexpr char kPartPrefix[] = ".mireva-part-";
constexpr char kResumePrefix[] = ".mireva-resume-";
constexpr long kPartialLifetimeSeconds = 7L * 24 * 60 * 60;

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

// Size and a hash of a regular file's bytes in one number; nothing when the file
// cannot be read. Equal files have equal keys; SameContent confirms a match.
std::optional<unsigned long long> ContentKey(int folderFd, const std::string& name) {
  int fd = openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st;
  std::optional<unsigned long long> key;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    unsigned long long h = static_cast<unsigned long long>(st.st_size) * 0x9E3779B97F4A7C15ull;
    static constexpr size_t kChunk = 65536;
    std::unique_ptr<char[]> buf(new char[kChunk]);
    ssize_t n;
    while ((n = read(fd, buf.get(), kChunk)) != 0) {
      if (n < 0) {
        if (errno == EINTR) continue;
        h = 0;
        break;
      }
      h = (h ^ std::hash<std::string_view>{}(std::string_view(buf.get(), static_cast<size_t>(n)))) *
          0x100000001B3ull;
    }
    if (n == 0) key = h;
  }
  close(fd);
  return key;
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
    if (std::strncmp(e->d_name, kResumePrefix, sizeof kResumePrefix - 1) == 0) {
      // Partial files kept for resuming (partial_file.h) go after a week.
      struct stat st;
      if (fstatat(folderFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
          time(nullptr) - st.st_mtime > kPartialLifetimeSeconds)
        unlinkat(folderFd, e->d_name, 0);
      continue;
    }
    if (std::strncmp(e->d_name, kPartPrefix, prefixLen) != 0) continue;
    long pid = std::strtol(e->d_name + prefixLen, nullptr, 10);
    // A part of a live run (this one or another program's) stays.
    if (pid > 0 && (pid == getpid() || kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
      continue;
    unlinkat(folderFd, e->d_name, 0);
  }
  closedir(dir);
}

bool SyncFd(int fd) {
  while (fsync(fd) != 0)
    if (errno != EINTR) return false;
  return true;
}

void FileCommitter::HashMembers(Family& family) {
  for (const std::string& member : family.unhashed)
    if (auto key = ContentKey(folderFd_, member)) family.byContent.emplace(*key, member);
  family.unhashed.clear();
}

std::optional<std::string> FileCommitter::SameAs(Family& family, const std::string& tempName,
                                                 std::optional<unsigned long long>& tempKey) {
  HashMembers(family);
  if (family.byContent.empty()) return std::nullopt;
  if (!tempKey) tempKey = ContentKey(folderFd_, tempName);
  if (!tempKey) return std::nullopt;
  auto [from, to] = family.byContent.equal_range(*tempKey);
  for (auto it = from; it != to; ++it)
    if (SameContent(folderFd_, tempName, it->second)) return it->second;
  return std::nullopt;
}

std::optional<std::string> FileCommitter::Commit(const std::string& tempName,
                                                 const std::string& name) {
  constexpr int kMaxNumber = 10000;
  Family& family = families_[name];
  std::optional<unsigned long long> tempKey;
  // Every name below `next` is known to be taken: look among them for the same
  // bytes once, then try only names not tried before.
  if (family.next > 0)
    if (auto same = SameAs(family, tempName, tempKey)) {
      unlinkat(folderFd_, tempName.c_str(), 0);
      return same;
    }
  for (; family.next < kMaxNumber; ++family.next) {
    std::string candidate = family.next == 0 ? name : NumberedName(name, family.next);
    if (RenameNoReplace(folderFd_, tempName, candidate) == 0) {
      ++family.next;
      family.unhashed.push_back(candidate);
      renamed_ = true;
      return candidate;
    }
    if (errno != EEXIST) break;
    family.unhashed.push_back(candidate);
    if (auto same = SameAs(family, tempName, tempKey)) {
      ++family.next;
      unlinkat(folderFd_, tempName.c_str(), 0);
      return same;
    }
  }
  unlinkat(folderFd_, tempName.c_str(), 0);
  return std::nullopt;
}

bool FileCommitter::SyncFolder() {
  if (!renamed_) return true;
  renamed_ = false;
  return SyncFd(folderFd_);
}

bool NameTaken(int folderFd, const std::string& name) {
  struct stat st;
  return fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace mireva::dl
