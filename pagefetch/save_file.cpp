#include "pagefetch/save_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/text_encoding.h"

namespace mireva::hovrel {

bool SaveFile::Open(const std::string& sjisPath) {
  target_ = mireva::HostPath(sjisPath);
  if (target_.empty()) {
    errno = ENOENT;
    return false;
  }
  int fd = ::open(target_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) {
    created_ = true;
  } else if (errno == EEXIST) {
    fd = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
  }
  if (fd < 0) return false;
  struct stat st {};
  fstat(fd, &st);
  ::close(fd);
  size_t slash = target_.rfind('/');
  std::string dir = slash == std::string::npos ? "." : target_.substr(0, slash + 1);
  std::string tmpl = dir + (slash == std::string::npos ? "/" : "") + ".hovrel-XXXXXX";
  fd_ = mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd_ < 0) {
    int e = errno;
    if (created_) ::unlink(target_.c_str());
    created_ = false;
    errno = e;
    return false;
  }
  temp_ = tmpl;
  fchmod(fd_, st.st_mode & 0777);
  return true;
}

bool SaveFile::Write(const char* data, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd_, data, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

bool SaveFile::Commit() {
  if (fsync(fd_) != 0 && errno != EINVAL) return false;
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return false;
  if (::rename(temp_.c_str(), target_.c_str()) != 0) return false;
  temp_.clear();
  return true;
}

void SaveFile::Abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
    int fd = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd >= 0) ::close(fd);
  }
}

FileErrorCause ClassifyFileError(int errnoValue) {
  switch (errnoValue) {
    case 0:
      return FileErrorCause::None;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return FileErrorCause::BadPath;
    case EMFILE:
    case ENFILE:
      return FileErrorCause::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return FileErrorCause::AccessDenied;
    case EMLINK:
      return FileErrorCause::DirectoryFull;
    case EIO:
      return FileErrorCause::InputOutput;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return FileErrorCause::DiskFull;
    default:
      return FileErrorCause::Other;
  }
}

std::string FileFailureMessage(FileStep step, int errnoValue, const std::string& path) {
  const char* format = step == FileStep::Create ? "ファイルの作成が失敗しました。%d"
                                                : "ファイルの書き込みが失敗しました。%d";
  char head[64];
  std::snprintf(head, sizeof head, format, static_cast<int>(ClassifyFileError(errnoValue)));
  return std::string(head) + " (" + path + ")";
}

}  // namespace mireva::hovrel
