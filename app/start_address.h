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
#include <vector>

#include "platform/text_helpers.h"

namespace mireva {

inline constexpr size_t kAddressCapacity = kMaxPath;
// A Japanese portal's top page.
inline constexpr const char* kDefaultStartPage = "https://www.yahoo.co.jp/";

std::string StartAddressFromCommandLine(const std::string& commandLine,
                                        const std::string& defaultPage = kDefaultStartPage);

// Reads an address as a browser reads typed text. An address with a scheme
// ("https:", "file:", "about:") or a path from the root stays as it is; the
// name of an existing file or folder relative to `currentFolder` becomes its
// path from the root; anything else is a web address without its scheme
// ("example.jp/x.html", "127.0.0.1:8765/a.html", "localhost:8080") and gets
// "http://". Empty stays empty. Shift_JIS in and out, cut like the start address.
std::string CompleteAddress(const std::string& address, const std::string& currentFolder);

// The start address for the words after the program's name (Shift_JIS, the
// program's own options taken off), `currentFolder` being the folder the
// program was started in: the rule above on the words joined by blanks, then
// completed by CompleteAddress. A single word that names an existing file is
// that file even where it holds blanks.
std::string StartAddressFromWords(const std::vector<std::string>& words,
                                  const std::string& currentFolder,
                                  const std::string& defaultPage = kDefaultStartPage);

// Whether typed text without a scheme can name a web host, as
// CompleteAddress would make it one: no blank in it (half- or full-width) and
// a host part (up to the first "/", "?" or "#") that has a dot, a port or is
// "localhost". "example.jp/x", "日本語.jp", "localhost:8080" can;
// "こんにちは 世界", "memo" cannot. Shift_JIS.
bool CanBeWebAddress(const std::string& text);

// Whether `address` is a web address (http: or https:, in any case): the only
// kind a page may have opened in the desktop's browser.
bool IsWebAddress(const std::string& address);

}  // namespace mireva
