#include "searchresults/result_page_parser.h"

#include <climits>
#include <cstring>

namespace mireva {
namespace {

constexpr size_t npos = std::string_view::npos;
constexpr size_t kHitCountWindow = 126;

size_t Find(std::string_view text, std::string_view marker, size_t from = 0) {
  if (from == npos || from > text.size()) return npos;
  return text.find(marker, from);
}

bool IsSjisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

}  // namespace

std::string_view CutSjis(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t i = 0;
  while (i < text.size()) {
    size_t len = IsSjisLead(static_cast<unsigned char>(text[i])) ? 2 : 1;
    if (i + len > maxBytes) break;
    i += len;
  }
  return text.substr(0, i);
}

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
  entry.text.assign(CutSjis(combined.substr(space), kMaxTextBytes));
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

void ResultPageParser::Extract(std::string_view chunk, Extractor extractor) {
  bool found = false;
  switch (extractor) {
    case Extractor::Anchor: found = LinkFromAnchor(chunk); break;
    case Extractor::Text: found = LinkFromText(chunk); break;
    case Extractor::QuotedHref: found = LinkFromQuotedHref(chunk); break;
    case Extractor::UrlParam: found = LinkFromUrlParam(chunk); break;
  }
  if (found) AddEntry(combined_);
}

void ResultPageParser::Scan(std::string_view text, size_t start, std::string_view open,
                            std::string_view close, size_t closeFrom, Extractor extractor,
                            LongChunk longChunk) {
  size_t pos = start;
  while (pos < text.size()) {
    size_t a = Find(text, open, pos);
    if (a == npos) break;
    size_t b = Find(text, close, a + closeFrom);
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
  std::string_view text(page, std::strlen(page));
  // Over "<a"/"<A" anchors a chunk runs to the next anchor, searched from 4
  // bytes on; definitions run "<DT>" to "</DL>", list items "<LI>" to "<LI>",
  // rules "<HR>" to "<HR>".
  auto anchors = [&](size_t start, std::string_view mark) {
    if (start != npos) Scan(text, start, mark, mark, 4, Extractor::Anchor, LongChunk::EndScan);
  };
  auto hitsAt = [&](size_t pos) {
    if (pos != npos && pos <= text.size()) results_.hits = ReadHitCount(text.substr(pos));
  };
  // Cuts the page at an end marker, in the caller's buffer as well.
  auto cutAt = [&](size_t pos) {
    if (pos == npos) return;
    page[pos] = '\0';
    text = text.substr(0, pos);
  };

  switch (engine) {
    case 0: {  // yahoo
      size_t start = Find(text, "登録サイトとの一致");
      if (start == npos) start = Find(text, "カテゴリとの一致");
      if (start == npos) start = Find(text, "登録ページとの一致");
      if (start == npos) start = Find(text, "<ul>", Find(text, "goo 検索結果"));
      anchors(start, "<a");
      hitsAt(Find(text, "検索結果"));
      break;
    }
    case 1: {  // goo
      size_t start = Find(text, "検索結果");
      if (start != npos) {
        cutAt(Find(text, "RESULT BODY TABLE/", start));
        Scan(text, start, "<a", "<a", 4, Extractor::Text, LongChunk::Cut);
      }
      hitsAt(Find(text, "検索結果"));
      break;
    }
    case 2: {  // excite
      anchors(Find(text, "ウェブ検索", Find(text, "検索結果")), "<A");
      size_t ken = Find(text, "件", Find(text, "ウェブサーチ結果"));
      if (ken != npos) hitsAt(ken + 2);
      break;
    }
    case 3:  // infoseek
      anchors(Find(text, "-- START RESULT LIST --", Find(text, "インフォシーク")), "<a");
      break;
    case 4: {  // InfoNavigater
      size_t start = Find(text, "<!-- #results -->");
      cutAt(Find(text, "<!-- #resultsend -->"));
      if (start != npos && start < text.size())
        Scan(text, start, "<DT>", "</DL>", 0, Extractor::QuotedHref, LongChunk::Cut);
      hitsAt(Find(text, "表示"));
      break;
    }
    case 5:  // LYCOS
      anchors(Find(text, "検索結果", Find(text, "<BODY")), "<a");
      break;
    case 6: {  // BIGLOBE
      size_t start = Find(text, "ページ検索結果");
      if (start != npos) {
        if (Find(text, "KIDSPLAZA", start) != npos) {
          size_t ul = Find(text, "<UL>", start);
          if (ul != npos) Scan(text, ul, "<HR>", "<HR>", 3, Extractor::UrlParam, LongChunk::Cut);
        } else {
          anchors(start, "<A");
        }
      }
      size_t of = Find(text, "の検索結果");
      if (of != npos) hitsAt(of + 8);
      break;
    }
    case 7: {  // iNET Guide
      size_t start = Find(text, "国内検索一覧");
      if (start != npos) Scan(text, start, "<LI>", "<LI>", 4, Extractor::QuotedHref, LongChunk::Cut);
      size_t matched = Find(text, "件一致しました");
      if (matched != npos) hitsAt(matched < 8 ? 0 : matched - 8);
      break;
    }
    case 8:  // Fresheye
      anchors(Find(text, "新着順", Find(text, "の検索結果")), "<A");
      hitsAt(Find(text, "良いもの順"));
      break;
    case 9:  // nifty
      anchors(Find(text, "<A", Find(text, "件表示", Find(text, "該当件数"))), "<A");
      break;
    case 10:  // DragonNext
      anchors(Find(text, "<A", Find(text, "ヒット件数")), "<A");
      break;
    case 11:  // J.O.Y.
      anchors(Find(text, "<a", Find(text, "NETJOY")), "<a");
      break;
    case 12:  // DoKoDa
      anchors(Find(text, "<a", Find(text, "Found")), "<a");
      break;
    case 16:  // Google
      anchors(Find(text, "<a", Find(text, "<body")), "<a");
      break;
    default:  // 13 WebGate, 14, 15 and anything else: no results
      break;
  }
}

}  // namespace mireva
