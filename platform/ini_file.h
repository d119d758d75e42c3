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

namespace mireva {

std::string GetProfileString(const std::string& sjisPath, const std::string& section,
                             const std::string& key, const std::string& defaultValue,
                             size_t capacity = 256);

// Sets key=value in the section, adding the section or key when missing and
// keeping every other line as it was. Written to a temporary file that replaces
// the old one, so a failed write leaves the old file whole. False on failure.
bool WriteProfileString(const std::string& sjisPath, const std::string& section,
                        const std::string& key, const std::string& value);

}  // namespace mireva
