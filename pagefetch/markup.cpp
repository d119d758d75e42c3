#include "pagefetch/markup.h"

#include <array>
#include <cstring>
#include <string>

namespace mireva::hovrel {
namespace {

std::string Upper(const char* s) {
  std::string u(s);
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return u;
}

// Finds the first occurrence of either spelling of a pattern at or after a
// position. Each spelling's next hit is remembered, so a long text is scanned
// once per spelling rather than once per removal.
class PatternFinder {
 public:
  PatternFinder(const char* text, size_t length, const char* pattern)
      : end_(text + length), spellings_{{{pattern}, {Upper(pattern)}}} {}

  const char* Find(const char* from) {
    const char* best = nullptr;
    for (Spelling& s : spellings_) {
      const char* hit = s.NextFrom(from, end_);
      if (hit && (!best || hit < best)) best = hit;
    }
    return best;
  }
  size_t Length() const { return spellings_[0].text.size(); }

 private:
  struct Spelling {
    std::string text;
    const char* hit = nullptr;
    bool exhausted = false;
    const char* NextFrom(const char* from, const char* end) {
      if (exhausted) return nullptr;
      if (hit && hit >= from) return hit;
      const void* h = memmem(from, static_cast<size_t>(end - from), text.data(), text.size());
      hit = static_cast<const char*>(h);
      exhausted = hit == nullptr;
      return hit;
    }
  };
  const char* end_;
  std::array<Spelling, 2> spellings_;
};

}  // namespace

void RemoveAllMarkup(char* text) {
  bool inTag = false;
  char* out = text;
  for (const char* p = text; *p; ++p) {
    if (inTag) {
      if (*p == '>') inTag = false;
    } else if (*p == '<') {
      inTag = true;
    } else {
      *out++ = *p;
    }
  }
  *out = '\0';
}

// Both primitives compact the text in one pass: `r` reads the original
// bytes, `w` writes the kept ones. The text's bytes are not modified before
// `r` has passed them, so the finder may search the original in place.
void StripTagOpenings(char* text, const char* pattern) {
  size_t length = std::strlen(text);
  PatternFinder finder(text, length, pattern);
  const char* end = text + length;
  const char* r = text;
  char* w = text;
  for (;;) {
    const char* hit = finder.Find(r);
    if (!hit) break;
    size_t keep = static_cast<size_t>(hit - r);
    std::memmove(w, r, keep);
    w += keep;
    const char* close =
        static_cast<const char*>(std::memchr(hit, '>', static_cast<size_t>(end - hit)));
    if (!close) {
      // An unfinished tag: it and everything after it go.
      *w = '\0';
      return;
    }
    r = close + 1;
  }
  size_t rest = static_cast<size_t>(end - r);
  std::memmove(w, r, rest);
  w[rest] = '\0';
}

void StripElements(char* text, const char* open, const char* close) {
  size_t length = std::strlen(text);
  PatternFinder opening(text, length, open);
  PatternFinder closing(text, length, close);
  const char* end = text + length;
  const char* r = text;
  char* w = text;
  for (;;) {
    const char* hit = opening.Find(r);
    if (!hit) break;
    const char* last = closing.Find(hit);
    if (!last) break;
    size_t keep = static_cast<size_t>(hit - r);
    std::memmove(w, r, keep);
    w += keep;
    r = last + closing.Length();
  }
  size_t rest = static_cast<size_t>(end - r);
  std::memmove(w, r, rest);
  w[rest] = '\0';
}

void ApplyTagTable(char* text) {
  StripTagOpenings(text, "<font");
  StripTagOpenings(text, "</font>");
  StripTagOpenings(text, "<div");
  StripTagOpenings(text, "</div>");
  StripTagOpenings(text, "<img");
  StripTagOpenings(text, "<embed");
  StripElements(text, "<select", "</select>");
  StripElements(text, "<script", "</script>");
  StripTagOpenings(text, "<input");
  StripTagOpenings(text, "<table");
  StripTagOpenings(text, "</table>");
  StripTagOpenings(text, "<tr");
  StripTagOpenings(text, "</tr>");
  StripTagOpenings(text, "<td");
  StripTagOpenings(text, "</td>");
}

}  // namespace mireva::hovrel
