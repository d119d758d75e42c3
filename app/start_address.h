#pragma once
// The start address: what the browser view opens first, worked out from the
// command-line text (the words after the program's own name, joined by blanks).
//  - empty text: empty (the view opens the browser's home page);
//  - no blank: the whole text;
//  - otherwise, in the text after the first blank: from "http" to the end if
//    "http" occurs (case-sensitive); else from 5 characters after "file" to the
//    end if "file" occurs; else the default start page.
// Where "http" occurs, the "file" rule is not applied: an http address whose
// path holds the word "file" is kept whole.
// The result is cut to kAddressCapacity - 1 bytes (the 260-byte address buffers
// of the rest of the program), never splitting a double-byte character.
#include <cstddef>
#include <string>

namespace mireva {

inline constexpr size_t kAddressCapacity = 260;
// A Japanese portal's top page.
inline constexpr const char* kDefaultStartPage = "https://www.yahoo.co.jp/";

std::string StartAddressFromCommandLine(const std::string& commandLine,
                                        const std::string& defaultPage = kDefaultStartPage);

}  // namespace mireva
