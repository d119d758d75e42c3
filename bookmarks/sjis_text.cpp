#include "bookmarks/sjis_text.h"

#include <cctype>
#include <cstdlib>

#include "platform/text_encoding.h"
#include "platform/text_helpers.h"

namespace mireva {
namespace {

// One character of Shift_JIS text at `i` as a comparable value; advances `i`.
unsigned CharValue(std::string_view s, size_t& i) {
  unsigned c = static_cast<unsigned char>(s[i++]);
  if (IsSjisLead(static_cast<unsigned char>(c)) && i < s.size())
    return (c << 8) | static_cast<unsigned char>(s[i++]);
  if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
  return c;
}

}  // namespace

FileEncoding DetectEncoding(std::string_view text) {
  if (IsAscii(text)) return FileEncoding::ShiftJis;
  return IsValidUtf8(text) ? FileEncoding::Utf8 : FileEncoding::ShiftJis;
}

std::string ToSjis(std::string_view text, FileEncoding encoding) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
    encoding = FileEncoding::Utf8;
  }
  if (encoding == FileEncoding::Utf8) return Utf8ToSjis(text);
  return std::string(text);
}

int CompareNoCaseMb(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    unsigned x = CharValue(a, i), y = CharValue(b, j);
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

size_t FindSjis(std::string_view text, std::string_view needle, size_t from) {
  if (needle.empty()) return from <= text.size() ? from : std::string_view::npos;
  size_t i = 0;
  while (i < from && i < text.size()) i += IsSjisLead(static_cast<unsigned char>(text[i])) ? 2 : 1;
  while (i + needle.size() <= text.size()) {
    if (text.compare(i, needle.size(), needle) == 0) return i;
    i += IsSjisLead(static_cast<unsigned char>(text[i])) ? 2 : 1;
  }
  return std::string_view::npos;
}

std::string CodePointToUtf8(unsigned long cp) {
  std::string out;
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return out;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

std::string DecodeHtmlEntities(std::string_view sjis) {
  // '&' and ';' lie below 0x40 and so are never the trail byte of a
  // double-byte character: a plain byte scan is safe here.
  std::string out;
  out.reserve(sjis.size());
  size_t i = 0;
  while (i < sjis.size()) {
    if (sjis[i] != '&') {
      out += sjis[i++];
      continue;
    }
    size_t semi = sjis.find(';', i + 1);
    if (semi == std::string_view::npos || semi - i > 10) {
      out += sjis[i++];
      continue;
    }
    std::string_view name = sjis.substr(i + 1, semi - i - 1);
    std::string repl;
    if (name == "amp") repl = "&";
    else if (name == "lt") repl = "<";
    else if (name == "gt") repl = ">";
    else if (name == "quot") repl = "\"";
    else if (name == "apos") repl = "'";
    else if (name == "nbsp") repl = " ";
    else if (name.size() >= 2 && name[0] == '#') {
      bool hex = name[1] == 'x' || name[1] == 'X';
      std::string digits(name.substr(hex ? 2 : 1));
      bool ok = !digits.empty() && digits.size() <= 7;
      for (char d : digits)
        if (!(hex ? std::isxdigit(static_cast<unsigned char>(d)) : std::isdigit(static_cast<unsigned char>(d))))
          ok = false;
      if (ok) repl = Utf8ToSjis(CodePointToUtf8(std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10)));
    }
    if (repl.empty()) {
      out += sjis[i++];
      continue;
    }
    out += repl;
    i = semi + 1;
  }
  return out;
}

}  // namespace mireva
