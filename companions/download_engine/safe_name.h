#pragma once
// File names taken from the network, made safe to create inside one folder.
// A safe name is one plain UTF-8 file name: no "/" or "\", no ".." anywhere, no
// control bytes, no leading dot, dash or blank, not empty, at most 255 bytes,
// and never a multi-byte character cut in two.
#include <string>

namespace mireva::dl {

inline constexpr size_t kMaxNameBytes = 255;

// `raw` is a name as a page or list gives it (UTF-8, Shift_JIS or junk bytes);
// the result is safe. `fallback` (itself safe) stands in for a name with nothing
// usable left.
std::string SafeFileName(const std::string& raw, const std::string& fallback = "download");

bool IsSafeFileName(const std::string& name);

// "name.ext" -> "name(n).ext", kept safe and within the length limit.
std::string NumberedName(const std::string& safeName, int n);

// The base of a safe name (the part before its extension) cut to at most
// `maxBytes` bytes at a character boundary, without the dots and blanks the cut
// leaves at its end, so that adding an extension never makes "..". Never empty.
std::string CutNameBase(const std::string& base, size_t maxBytes);

// Cuts UTF-8 text to at most `maxBytes` bytes at a character boundary.
std::string CutUtf8(const std::string& text, size_t maxBytes);

}  // namespace mireva::dl
