#pragma once
// Conversions between the system's Shift_JIS (code page 932) text and the host's
// UTF-8, used wherever text crosses into the host: the GUI, file names, command
// lines, the environment and standard error. Keep every such crossing here.
#include <string>
#include <string_view>

namespace mireva {

// Shift_JIS to UTF-8. Bytes that are not valid CP932 become U+FFFD; never fails.
std::string SjisToUtf8(std::string_view sjis);

// UTF-8 to Shift_JIS. Characters that CP932 lacks (and invalid UTF-8) become "?".
std::string Utf8ToSjis(std::string_view utf8);

// A Shift_JIS path or file name as the host's file system spells it (UTF-8).
inline std::string HostPath(std::string_view sjisPath) { return SjisToUtf8(sjisPath); }

// A web page's bytes as UTF-8, for programs of the desktop (the text editor
// of the source view). UTF-8 stays as it is; otherwise the charset the page
// declares in its first 4096 bytes (Shift_JIS and its aliases, EUC-JP,
// ISO-2022-JP); without one, ISO-2022-JP when the page holds its escapes,
// EUC-JP when the bytes are EUC-JP and not Shift_JIS, else Shift_JIS (CP932).
// Bytes the chosen encoding cannot take become U+FFFD.
std::string PageBytesToUtf8(std::string_view page);

// True when every byte is below 0x80 (the text is the same in both encodings).
bool IsAscii(std::string_view text);

}  // namespace mireva
