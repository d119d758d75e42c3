#pragma once
// Reading and writing of INI-style profile files ("TollickApp.ini" and the like)
// with the rules of the classic private-profile calls:
//  - section and key names compare case-insensitively (ASCII letters only);
//  - blanks around names and values are dropped, and one pair of matching
//    double or single quotes around a value is removed;
//  - a missing file, section or key yields the default;
//  - the result is cut to capacity - 1 bytes (the caller's buffer with its NUL),
//    never splitting a Shift_JIS double-byte character.
// Files are Shift_JIS text; lines end in CR LF or LF.
#include <cstddef>
#include <string>
#include <vector>

namespace mireva {

// One profile file read once, looked up and changed in memory, and written
// back in one replacement, so a reader of many keys sees one version of the
// file and a writer of many keys replaces it once.
class ProfileFile {
 public:
  // Reads the file. A missing file is an empty profile; a file that is there
  // but cannot be read is a failure (false), so that a later Save can never
  // drop the keys it could not read.
  bool Load(const std::string& sjisPath);
  // The same from a file's bytes already in memory.
  void Parse(const std::string& text);
  std::string Get(const std::string& section, const std::string& key,
                  const std::string& defaultValue, size_t capacity = 256) const;
  // Sets key=value, adding the section or key when missing and keeping every
  // other line as it was. A name or value that the file could not keep as
  // one line (a line end or NUL anywhere, "=" in the key, "]" in the section,
  // an empty name) is refused: false, nothing changed. Otherwise a value
  // from a page or a dialog could add lines of its own to the file.
  bool Set(const std::string& section, const std::string& key, const std::string& value);
  // Writes every line (CR LF) through a temporary file that replaces the old one.
  bool Save(const std::string& sjisPath) const;
  // The bytes Save writes.
  std::string Text() const;

 private:
  std::vector<std::string> lines_;
};

std::string GetProfileString(const std::string& sjisPath, const std::string& section,
                             const std::string& key, const std::string& defaultValue,
                             size_t capacity = 256);

// Sets key=value in the section, adding the section or key when missing and
// keeping every other line as it was. Written to a temporary file that replaces
// the old one, so a failed write leaves the old file whole. False on failure,
// also when the existing file cannot be read (it is then left as it is) and
// when ProfileFile::Set refuses the names or the value.
bool WriteProfileString(const std::string& sjisPath, const std::string& section,
                        const std::string& key, const std::string& value);

}  // namespace mireva
