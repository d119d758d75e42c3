#pragma once
// Text helpers for bookmark files: encoding detection and conversion to the
// system's Shift_JIS, the case-insensitive multibyte comparison that orders
// menu titles, a character-aligned search and HTML entity decoding.
#include <string>
#include <string_view>

namespace mireva {

enum class FileEncoding { ShiftJis, Utf8 };

// UTF-8 when the text is well-formed UTF-8 and holds at least one non-ASCII
// character; Shift_JIS otherwise. Japanese Shift_JIS text is practically never
// well-formed UTF-8, so the guess is safe for titles and bookmark files.
FileEncoding DetectEncoding(std::string_view text);

// The text in Shift_JIS; a leading UTF-8 byte-order mark is dropped.
std::string ToSjis(std::string_view text, FileEncoding encoding);

// Compares two Shift_JIS strings character by character, a double-byte
// character counting as one value (lead * 256 + trail) and ASCII letters
// folded to lower case. <0, 0 or >0.
int CompareNoCaseMb(std::string_view a, std::string_view b);

// Finds `needle` in Shift_JIS `text` at a character boundary at or after
// `from`, so a trail byte never starts a match. npos when absent.
size_t FindSjis(std::string_view text, std::string_view needle, size_t from = 0);

// Replaces the HTML character references that bookmark exports write
// (&amp; &lt; &gt; &quot; &apos; &#39; &nbsp; &#NNN; &#xHH;) in Shift_JIS text.
// Unknown or malformed references stay as they are.
std::string DecodeHtmlEntities(std::string_view sjis);

// A code point as UTF-8 (nothing for invalid code points).
std::string CodePointToUtf8(unsigned long cp);

}  // namespace mireva
