#pragma once
// Small text jobs shared across the system: Shift_JIS character boundaries,
// UTF-8 validation, ASCII case, trimming, line reading with a length bound, and
// the size of the address and path areas. Prefix and suffix tests are the
// standard starts_with and ends_with.
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace mireva {

// The address and path areas: an address or a path is at most 259 bytes,
// followed by a terminating NUL.
inline constexpr size_t kMaxPath = 260;

// True for the first byte of a Shift_JIS (code page 932) double-byte
// character: 0x81-0x9F or 0xE0-0xFC.
constexpr bool IsSjisLead(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// The length of the longest start of Shift_JIS `text` that holds at most
// `maxBytes` bytes and does not end inside a double-byte character. A text
// that fits is taken whole, even when it ends in a lone lead byte.
size_t SjisCutLength(std::string_view text, size_t maxBytes);

// `text` cut to SjisCutLength(text, maxBytes) bytes.
std::string CutSjis(std::string_view text, size_t maxBytes);

// The length (1-4) of the well-formed UTF-8 character at `p`, of which `left`
// bytes (at least one) are readable; 0 when the bytes are not UTF-8 (stray
// continuation bytes, overlong forms, surrogates, code points past U+10FFFF);
// -1 when the text ends inside a character that is well-formed so far.
// Inline: the page converter calls it for every character.
inline int Utf8SequenceLength(const unsigned char* p, size_t left) {
  const unsigned char b = p[0];
  if (b < 0x80) return 1;
  int len;
  // The second byte's range also rules out overlong forms (E0, F0),
  // surrogates (ED) and code points past U+10FFFF (F4).
  unsigned char lo = 0x80, hi = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    len = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  for (int i = 1; i < len; ++i) {
    if (static_cast<size_t>(i) >= left) return -1;
    const unsigned char c = p[i];
    if (i == 1 ? (c < lo || c > hi) : (c < 0x80 || c > 0xBF)) return 0;
  }
  return len;
}

// ASCII classes, whatever the locale (std::isalnum may take bytes past 0x7F).
constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool IsAsciiAlnum(char c) { return IsAsciiLetter(c) || IsAsciiDigit(c); }

// ASCII case, whatever the locale: only the bytes A-Z change (std::tolower
// may change bytes past 0x7F too). For words of the protocols and of markup
// (schemes, hosts, header names, tags, extensions), not for Japanese text,
// whose second bytes may be letters.
constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string LowerAscii(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// `text` without the bytes of `blanks` at its start (TrimStart) or at both
// ends (Trim); the result points into `text`. With ASCII blanks below 0x40
// (space, tab, CR, LF) this is safe on Shift_JIS: none is ever the second
// byte of a character.
std::string_view TrimStart(std::string_view text, std::string_view blanks);
std::string_view Trim(std::string_view text, std::string_view blanks);

// True when `bytes` stand in `text` from offset `at`; false when the text
// ends before them. For the signatures that file formats put at an offset.
constexpr bool BytesAt(std::string_view text, size_t at, std::string_view bytes) {
  return text.size() >= at && text.substr(at).starts_with(bytes);
}

// "850 B", "12.3 KB", "4.5 MB", "1.2 GB" (1 KB = 1024 bytes).
std::string SizeText(long long bytes);

// `text` with &, <, > and " written as HTML entities. Safe on Shift_JIS: none
// of the four bytes is ever the second byte of a character.
std::string EscapeHtml(std::string_view text);

// True when the whole of `text` is well-formed UTF-8 (see Utf8SequenceLength;
// a character cut off by the end makes it false). Empty text is valid.
bool IsValidUtf8(std::string_view text);

// Takes the line that starts at `*pos` of `text`: LF or CR LF ends it, and
// neither is part of it; a last line without a line end counts. On success
// `*pos` moves past the line end. False, leaving `*pos`, at the end of the
// text or when the line is longer than `limit` bytes. `*line` points into `text`.
bool TakeLine(std::string_view text, size_t* pos, size_t limit, std::string_view* line);

// Reads `text` line by line with TakeLine; a line longer than the limit ends
// the reading. The text must outlive the reader.
class LineReader {
 public:
  LineReader(std::string_view text, size_t lineLimit) : text_(text), limit_(lineLimit) {}

  // The next line; false at the end of the text and from an over-long line on.
  bool Next(std::string_view* line) {
    if (stopped_ || !TakeLine(text_, &pos_, limit_, line)) {
      stopped_ = true;
      return false;
    }
    return true;
  }

 private:
  std::string_view text_;
  size_t limit_;
  size_t pos_ = 0;
  bool stopped_ = false;
};

// Reads one line from `file` with the line ends of TakeLine. False at the end
// of the file and when the line is longer than `limit` bytes; the reading has
// then stopped inside that line, so the caller should read no further.
bool ReadLine(std::FILE* file, size_t limit, std::string* line);

}  // namespace mireva
