#include "platform/text_helpers.h"

#include <cstdio>

namespace mireva {

size_t SjisCutLength(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  // The text is longer than maxBytes, so every i below maxBytes has a byte
  // after it: a lead byte is always read as a whole character.
  size_t i = 0;
  while (i < maxBytes) {
    const size_t width = IsSjisLead(static_cast<unsigned char>(text[i])) ? 2 : 1;
    if (i + width > maxBytes) break;
    i += width;
  }
  return i;
}

std::string CutSjis(std::string_view text, size_t maxBytes) {
  return std::string(text.substr(0, SjisCutLength(text, maxBytes)));
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string_view TrimStart(std::string_view text, std::string_view blanks) {
  const size_t first = text.find_first_not_of(blanks);
  return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view Trim(std::string_view text, std::string_view blanks) {
  text = TrimStart(text, blanks);
  return text.substr(0, text.find_last_not_of(blanks) + 1);
}

bool IsValidUtf8(std::string_view text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t left = text.size();
  while (left > 0) {
    const int len = Utf8SequenceLength(p, left);
    if (len <= 0) return false;
    p += len;
    left -= static_cast<size_t>(len);
  }
  return true;
}

bool TakeLine(std::string_view text, size_t* pos, size_t limit, std::string_view* line) {
  if (*pos >= text.size()) return false;
  const size_t nl = text.find('\n', *pos);
  const size_t end = nl == std::string_view::npos ? text.size() : nl;
  std::string_view l = text.substr(*pos, end - *pos);
  if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
  if (l.size() > limit) return false;
  *line = l;
  *pos = nl == std::string_view::npos ? text.size() : nl + 1;
  return true;
}

bool ReadLine(std::FILE* file, size_t limit, std::string* line) {
  line->clear();
  bool any = false;
  int c;
  while ((c = std::getc(file)) != EOF) {
    any = true;
    if (c == '\n') break;
    // One byte of slack for the CR that belongs to the line end.
    if (line->size() > limit) return false;
    line->push_back(static_cast<char>(c));
  }
  if (!any) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return line->size() <= limit;
}

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string SizeText(long long bytes) {
  if (bytes < 1024) return std::to_string(bytes < 0 ? 0 : bytes) + " B";
  static const char* const units[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1024.0;
  size_t unit = 0;
  while (value >= 1024.0 && unit + 1 < sizeof units / sizeof units[0]) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

}  // namespace mireva
