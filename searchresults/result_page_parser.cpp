#include "searchresults/result_page_parser.h"

#include <climits>
#include <cstring>

#include "platform/text_helpers.h"
#include "searchresults/engine_table.h"

namespace mireva {
namespace {

constexpr size_t npos = std::string_view::npos;
constexpr size_t kHitCountWindow = 126;

size_t FindMarker(std::string_view text, std::string_view marker, size_t from) {
  if (from == npos || from > text.size()) return npos;
  return text.find(marker, from);
}

}  // namespace

ResultPageParser::ResultPageParser() {
  // Allocated once: every chunk reuses these.
  chunk_.reserve(kChunkBytes + 2);
  stripped_.reserve(kChunkBytes + 2);
  address_.reserve(kAddressBytes + 1);
  combined_.reserve(kCombinedBytes + 1);
}

void ResultPageParser::Reset() {
  results_.count = 0;
  results_.hits = 0;
  results_.entries[0].text.clear();
}

std::string ResultPageParser::StripTags(std::string_view text, TagState start) {
  std::string out;
  out.reserve(text.size());
  bool inTag = start == TagState::Inside;
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20) continue;
    if (!inTag) {
      if (c == '<') {
        out += ' ';
        inTag = true;
      } else {
        out += c;
      }
    } else if (c == '>') {
      inTag = false;
    }
  }
  return out;
}

int32_t ResultPageParser::ReadHitCount(std::string_view text) {
  std::string_view window = text.substr(0, kHitCountWindow);
  if (size_t ken = window.find("件"); ken != npos) window = window.substr(0, ken);
  std::string digits = StripTags(window, TagState::Outside);
  for (char& c : digits)
    if (c < '0' || c > '9') c = ' ';
  size_t i = 0;
  while (i < digits.size() && digits[i] == ' ') ++i;
  // Up to 126 digits would overflow; a count that large is shown as the largest.
  int64_t value = 0;
  for (; i < digits.size() && digits[i] != ' '; ++i) {
    value = value * 10 + (digits[i] - '0');
    if (value > INT32_MAX) return INT32_MAX;
  }
  return static_cast<int32_t>(value);
}

void ResultPageParser::AddEntry(std::string_view combined) {
  if (results_.count >= kMaxResults) return;
  size_t space = combined.find(' ');
  if (space == npos) return;
  std::string_view address = combined.substr(0, space);
  if (address.size() > kMaxUrlBytes) return;
  if (size_t paren = address.find('('); paren != npos) address = address.substr(0, paren);
  ResultEntry& entry = results_.entries[static_cast<size_t>(results_.count)];
  entry.url.assign(address);
  std::string_view text = combined.substr(space);
  entry.text.assign(text.substr(0, SjisCutLength(text, kMaxTextBytes)));
  ++results_.count;
}

void ResultPageParser::SetCombined(std::string_view a, std::string_view b, std::string_view c,
                                   size_t limit) {
  // The parts never overrun the buffer: whatever lies past `limit` is cut.
  combined_.clear();
  auto append = [&](std::string_view part) {
    size_t room = limit - combined_.size();
    combined_.append(part.substr(0, room));
  };
  append(a);
  append(" ");
  append(b);
  if (!c.empty()) {
    append(" ");
    append(c);
  }
}

// Description: the chunk without tags. Address: from the first "http" to the
// first '"' after it, else to the first '>'.
bool ResultPageParser::LinkFromAnchor(std::string_view chunk) {
  stripped_ = StripTags(chunk, TagState::Outside);
  size_t h = chunk.find("http");
  if (h == npos) return false;
  size_t end = chunk.find('"', h);
  if (end == npos) end = chunk.find('>', h);
  if (end == npos) return false;
  if (end - h > kAddressBytes) return false;  // too long for the address buffer, and for an entry
  address_.assign(chunk.substr(h, end - h));
  SetCombined(address_, stripped_, {}, kCombinedBytes);
  return true;
}

// The address is taken from the stripped text up to the first space; the
// combined string is "address title rest" where the title is the text before
// the address and the rest runs from that space on.
bool ResultPageParser::LinkFromText(std::string_view chunk) {
  stripped_ = StripTags(chunk, TagState::Outside);
  if (stripped_.empty()) return false;
  std::string_view s = stripped_;
  size_t h = s.find("http");
  if (h == npos) return false;
  size_t space = s.find(' ', h);
  if (space == npos) return false;
  if (space - h > kAddressBytes) return false;
  address_.assign(s.substr(h, space - h));
  SetCombined(address_, s.substr(0, h), s.substr(space), kCombinedBytes);
  return true;
}

// Address from "http" to the next '"'; the description is the rest of the
// chunk from that quote on, read as if inside the tag. At most 639 bytes.
bool ResultPageParser::LinkFromQuotedHref(std::string_view chunk) {
  size_t h = chunk.find("http");
  if (h == npos) return false;
  size_t quote = chunk.find('"', h);
  if (quote == npos) return false;
  if (quote - h > kAddressBytes) return false;
  address_.assign(chunk.substr(h, quote - h));
  stripped_ = StripTags(chunk.substr(quote), TagState::Inside);
  SetCombined(address_, stripped_, {}, 639);
  return true;
}

// Address from just after "URL=" to the next '"'; the description is the
// chunk without tags, read as if it began inside one.
bool ResultPageParser::LinkFromUrlParam(std::string_view chunk) {
  stripped_ = StripTags(chunk, TagState::Inside);
  size_t u = chunk.find("URL=");
  if (u == npos) return false;
  size_t start = u + 4;
  size_t quote = chunk.find('"', start);
  if (quote == npos) return false;
  if (quote - start > kAddressBytes) return false;
  address_.assign(chunk.substr(start, quote - start));
  SetCombined(address_, stripped_, {}, kCombinedBytes);
  return true;
}

void ResultPageParser::Extract(std::string_view chunk, ChunkExtractor extractor) {
  bool found = false;
  switch (extractor) {
    case ChunkExtractor::Anchor: found = LinkFromAnchor(chunk); break;
    case ChunkExtractor::Text: found = LinkFromText(chunk); break;
    case ChunkExtractor::QuotedHref: found = LinkFromQuotedHref(chunk); break;
    case ChunkExtractor::UrlParam: found = LinkFromUrlParam(chunk); break;
  }
  if (found) AddEntry(combined_);
}

void ResultPageParser::Scan(std::string_view text, size_t start, std::string_view open,
                            std::string_view close, size_t closeFrom,
                            ChunkExtractor extractor, LongChunk longChunk) {
  size_t pos = start;
  while (pos < text.size()) {
    size_t a = FindMarker(text, open, pos);
    if (a == npos) break;
    size_t b = FindMarker(text, close, a + closeFrom);
    if (b == npos) break;  // the last item, which nothing follows, is lost
    size_t len = b - a;
    if (len > kChunkBytes) {
      if (longChunk == LongChunk::EndScan) break;
      len = kChunkBytes;
    }
    chunk_.assign(text.substr(a, len));
    Extract(chunk_, extractor);
    pos = b;
  }
}

const EngineResults& ResultPageParser::Parse(int engine, char* page) {
  Reset();
  if (page) ApplyRule(engine, page);
  return results_;
}

void ResultPageParser::ParseInto(int engine, char* page, EngineResultStore& store) {
  const EngineResults& r = Parse(engine, page);
  if (EngineResultStore::HasSlot(engine)) store.slots[static_cast<size_t>(engine)] = r;
}

void ResultPageParser::ApplyRule(int engine, char* page) {
  const EngineInfo* info = FindEngine(engine);
  if (!info || !info->rule) return;
  ResultPageScan scan(*this, page);
  info->rule(scan);
}

ResultPageScan::ResultPageScan(ResultPageParser& parser, char* page)
    : parser_(parser), page_(page), text_(page, std::strlen(page)) {}

size_t ResultPageScan::Find(std::string_view marker, size_t from) const {
  return FindMarker(text_, marker, from);
}

void ResultPageScan::Scan(size_t start, std::string_view open, std::string_view close,
                          size_t closeFrom, ChunkExtractor extractor, LongChunk longChunk) {
  parser_.Scan(text_, start, open, close, closeFrom, extractor, longChunk);
}

void ResultPageScan::ScanAnchors(size_t start, std::string_view mark) {
  // A chunk runs to the next anchor, searched from 4 bytes on.
  if (start != npos) Scan(start, mark, mark, 4, ChunkExtractor::Anchor, LongChunk::EndScan);
}

void ResultPageScan::ReadHitsAt(size_t pos) {
  if (pos != npos && pos <= text_.size())
    parser_.results_.hits = ResultPageParser::ReadHitCount(text_.substr(pos));
}

void ResultPageScan::CutAt(size_t pos) {
  if (pos == npos) return;
  page_[pos] = '\0';
  text_ = text_.substr(0, pos);
}

}  // namespace mireva
