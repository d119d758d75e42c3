#include "pagefetch/save_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "platform/text_encoding.h"

namespace mireva::hovrel {

bool SaveFile::Open(const std::string& sjisPath) {
  Abandon();
  const std::string target = mireva::HostPath(sjisPath);
  if (target.empty()) {
    errno = ENOENT;
    return false;
  }
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  file_ = std::make_unique<mireva::ReplacementFile>(target);
  if (!file_->IsOpen()) {
    int e = errno;
    file_.reset();
    errno = e;
    return false;
  }
  return true;
}

bool SaveFile::Write(const char* data, size_t n) {
  if (!file_) {
    errno = EBADF;
    return false;
  }
  return file_->Write(std::string_view(data, n));
}

bool SaveFile::Commit() {
  if (!file_) {
    errno = EBADF;
    return false;
  }
  bool ok = file_->Commit();
  int e = errno;
  file_.reset();
  errno = e;
  return ok;
}

void SaveFile::Abandon() { file_.reset(); }

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
