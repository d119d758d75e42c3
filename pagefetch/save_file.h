#pragma once
// The output file of a save: the body goes to a temporary file with a unique
// name beginning with a dot in the target's folder, which replaces the target
// (flushed to disk, renamed, the folder flushed) only when the whole body has
// arrived. A failed save leaves whatever was at the target's name untouched,
// and a link there is replaced, never followed. Also the texts of the file
// failure messages and the cause numbers they show.
#include <memory>
#include <string>

#include "platform/file_util.h"

namespace mireva::hovrel {

class SaveFile {
 public:
  SaveFile() = default;
  ~SaveFile() { Abandon(); }
  SaveFile(const SaveFile&) = delete;
  SaveFile& operator=(const SaveFile&) = delete;

  // Creates the temporary beside the target. False with errno set when it
  // cannot be created or the target is a folder.
  bool Open(const std::string& sjisPath);

  // False with errno set when the bytes cannot be written.
  bool Write(const char* data, size_t n);

  // Moves the complete body into place. False with errno set on failure.
  bool Commit();

  // Drops the temporary file; the target stays as it was.
  void Abandon();

 private:
  std::unique_ptr<mireva::ReplacementFile> file_;
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
