#pragma once
// The output file of a save: the body goes to a temporary file beside the
// target, which replaces the target only when the whole body has arrived. A
// failed save leaves the target empty, never half a page. Also the texts of
// the file failure messages and the cause numbers they show.
#include <string>

namespace mireva::hovrel {

class SaveFile {
 public:
  SaveFile() = default;
  ~SaveFile() { Abandon(); }
  SaveFile(const SaveFile&) = delete;
  SaveFile& operator=(const SaveFile&) = delete;

  // Creates the target (an existing one is kept until Commit) and the
  // temporary beside it. False with errno set when either cannot be created.
  bool Open(const std::string& sjisPath);

  // False with errno set when the bytes cannot be written.
  bool Write(const char* data, size_t n);

  // Moves the complete body into place. False with errno set on failure.
  bool Commit();

  // Drops the temporary file and empties the target.
  void Abandon();

 private:
  std::string target_;
  std::string temp_;
  int fd_ = -1;
  bool created_ = false;
};

// The cause number a file failure message shows for an errno value; the user
// reads it in the message, so each value keeps its number.
enum class FileErrorCause : int {
  None = 0,
  Other = 1,
  BadPath = 3,
  TooManyOpenFiles = 4,
  AccessDenied = 5,
  DirectoryFull = 8,
  InputOutput = 10,
  DiskFull = 13,
};
FileErrorCause ClassifyFileError(int errnoValue);

enum class FileStep { Create, Write };

// "ファイルの作成が失敗しました。<cause> (<path>)" for Create,
// "ファイルの書き込みが失敗しました。<cause> (<path>)" for Write (Shift_JIS).
std::string FileFailureMessage(FileStep step, int errnoValue, const std::string& path);

}  // namespace mireva::hovrel
