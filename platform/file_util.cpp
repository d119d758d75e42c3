#include "platform/file_util.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>

#include "platform/text_encoding.h"

namespace mireva {
namespace {

// Six characters that make a temporary name unique; random where the kernel
// gives randomness, else from the time, the process and a counter.
std::string UniqueSuffix() {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::atomic<unsigned> counter{0};
  unsigned char bytes[6];
  if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    unsigned long long v = static_cast<unsigned long long>(ts.tv_nsec) ^
                           (static_cast<unsigned long long>(getpid()) << 20) ^ counter++;
    for (unsigned char& b : bytes) {
      b = static_cast<unsigned char>(v);
      v = v * 6364136223846793005ull + 1442695040888963407ull;
    }
  }
  std::string s;
  for (unsigned char b : bytes) s += kChars[b % (sizeof kChars - 1)];
  return s;
}

void SplitPath(const std::string& path, std::string* folder, std::string* name) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    *folder = ".";
    *name = path;
  } else {
    *folder = slash == 0 ? "/" : path.substr(0, slash);
    *name = path.substr(slash + 1);
  }
}

// Flushes a folder's entries (a rename) to disk. File systems that cannot
// flush a folder say EINVAL; that is no failure.
bool SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0 || errno == EINVAL;
  int e = errno;
  ::close(fd);
  errno = e;
  return ok;
}

}  // namespace

ReplacementFile::ReplacementFile(std::string hostTarget) : target_(std::move(hostTarget)) {
  std::string folder, name;
  SplitPath(target_, &folder, &name);
  if (name.empty()) {
    errno = EISDIR;
    openErrno_ = errno;
    return;
  }
  // Room for the dot and the suffix within a file name's 255 bytes.
  if (name.size() > 200) name.resize(200);
  struct stat old {};
  const bool replacing = ::lstat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = (folder == "/" ? "/" : folder + "/") + "." + name + ".tmp" +
                            UniqueSuffix();
    // The mode goes through the umask here, so the umask is never changed.
    int fd = ::open(candidate.c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      temp_ = std::move(candidate);
      if (replacing) ::fchmod(fd_, old.st_mode & 07777);
      return;
    }
    if (errno != EEXIST) break;
  }
  openErrno_ = errno;
}

bool ReplacementFile::Write(std::string_view data) {
  if (fd_ < 0) {
    errno = openErrno_ ? openErrno_ : EBADF;
    return false;
  }
  const char* p = data.data();
  size_t left = data.size();
  while (left > 0) {
    ssize_t w = ::write(fd_, p, left);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    left -= static_cast<size_t>(w);
  }
  return true;
}

bool ReplacementFile::Commit() {
  if (fd_ < 0) {
    errno = openErrno_ ? openErrno_ : EBADF;
    return false;
  }
  // Data first, then the name: after a crash the target is the old file or
  // the whole new one.
  if (::fsync(fd_) != 0 && errno != EINVAL) {
    int e = errno;
    Discard();
    errno = e;
    return false;
  }
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 || ::rename(temp_.c_str(), target_.c_str()) != 0) {
    int e = errno;
    ::unlink(temp_.c_str());
    temp_.clear();
    errno = e;
    return false;
  }
  temp_.clear();
  std::string folder, name;
  SplitPath(target_, &folder, &name);
  return SyncFolder(folder);
}

void ReplacementFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

bool WriteHostFileAtomically(const std::string& hostTarget, std::string_view data) {
  ReplacementFile file(hostTarget);
  return file.Write(data) && file.Commit();
}

bool CopyFileAtomically(const std::string& hostSource, const std::string& hostTarget,
                        unsigned long long limit) {
  int in = ::open(hostSource.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    errno = EINVAL;
    return false;
  }
  ReplacementFile out(hostTarget);
  bool ok = out.IsOpen();
  unsigned long long total = 0;
  char buf[65536];
  while (ok) {
    ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    total += static_cast<unsigned long long>(n);
    if (total > limit) {
      errno = EFBIG;
      ok = false;
      break;
    }
    ok = out.Write(std::string_view(buf, static_cast<size_t>(n)));
  }
  int e = errno;
  ::close(in);
  errno = e;
  return ok && out.Commit();
}

std::optional<std::string> ReadWholeFile(const std::string& sjisPath, int* error) {
  if (error) *error = 0;
  int fd = ::open(HostPath(sjisPath).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = errno;
    return std::nullopt;
  }
  std::string data;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (error) *error = errno;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return data;
}

bool WriteFileAtomically(const std::string& sjisPath, const std::string& data) {
  return WriteHostFileAtomically(HostPath(sjisPath), data);
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) nl = text.size();
    std::string_view line = text.substr(start, nl - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    start = nl + 1;
  }
  return lines;
}

bool FileExists(const std::string& sjisPath) {
  struct stat st;
  return ::stat(HostPath(sjisPath).c_str(), &st) == 0;
}

std::string InstanceFileName(const std::string& name) {
  static std::mutex mutex;
  static std::map<std::string, int> numbers;  // folder -> this instance's number there
  char cwd[4096];
  if (!::getcwd(cwd, sizeof cwd)) return name;
  std::lock_guard<std::mutex> lock(mutex);
  int& number = numbers[cwd];
  if (number == 0) {
    constexpr int kMaxInstances = 64;
    for (int n = 1; n <= kMaxInstances && number == 0; ++n) {
      const std::string lockName = ".mireva-instance-" + std::to_string(n) + ".lock";
      int fd = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd < 0) continue;
      // Held (the descriptor stays open) for the rest of the instance's life.
      if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        number = n;
      else
        ::close(fd);
    }
    // A folder where no lock can be made: a name of this process alone.
    if (number == 0) number = kMaxInstances + static_cast<int>(::getpid());
  }
  if (number == 1) return name;
  const size_t dot = name.rfind('.');
  const size_t slash = name.rfind('/');
  const bool hasExtension = dot != std::string::npos && dot > 0 &&
                            (slash == std::string::npos || dot > slash + 1);
  const std::string stem = hasExtension ? name.substr(0, dot) : name;
  const std::string extension = hasExtension ? name.substr(dot) : std::string();
  return stem + "-" + std::to_string(number) + extension;
}

bool MakeDirectories(const std::string& sjisPath) {
  std::error_code ec;
  std::filesystem::create_directories(HostPath(sjisPath), ec);
  return std::filesystem::is_directory(HostPath(sjisPath), ec);
}

}  // namespace mireva
