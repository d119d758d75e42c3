#pragma once
// Turns the saved result page of a supported search engine into an
// EngineResults: at most 32 links with descriptions and the match count the
// page reports. Each engine has its own rule of markers (plain, case-sensitive
// substring search over the page's Shift_JIS bytes; the rules sit beside the
// engines' data in engine_table.cpp), a scanner that cuts the text into one
// chunk per result, and an extractor that takes the address and description
// from a chunk. Nothing is parsed as an HTML tree.
//
// The parser's buffers are allocated once and reused for every chunk; one
// parser serves one page at a time.
#include <string>
#include <string_view>

#include "searchresults/engine_results.h"

namespace mireva {

enum class TagState { Outside, Inside };

// How the address and description are taken from one chunk.
enum class ChunkExtractor {
  Anchor,      // address from "http" to '"' (else '>'); description: the chunk without tags
  Text,        // address from "http" to the next space in the text without tags
  QuotedHref,  // address from "http" to '"'; description: the rest of the chunk
  UrlParam,    // address from "URL=" to '"'; description: the chunk without tags
};
// What a chunk longer than the chunk buffer does: it ends the scan or is cut.
enum class LongChunk { EndScan, Cut };

class ResultPageParser;

// The page being parsed, as an engine's rule sees it. Positions are byte
// offsets into the page; npos stands for a marker that was not found, and a
// step given npos does nothing.
class ResultPageScan {
 public:
  static constexpr size_t npos = std::string_view::npos;

  // The first `marker` at or after `from`; npos when there is none.
  size_t Find(std::string_view marker, size_t from = 0) const;
  size_t Size() const { return text_.size(); }

  // Chunks from `open` to the next `close` (searched from `closeFrom` bytes
  // past the open mark), from `start` on, each one read by `extractor`.
  void Scan(size_t start, std::string_view open, std::string_view close, size_t closeFrom,
            ChunkExtractor extractor, LongChunk longChunk);
  // Chunks from one `mark` anchor to the next, read as anchors; a chunk too
  // long for the buffer ends the scan.
  void ScanAnchors(size_t start, std::string_view mark);
  // The hit count written at `pos` (see ResultPageParser::ReadHitCount).
  void ReadHitsAt(size_t pos);
  // Ends the page at `pos`, with a NUL in the caller's buffer as well.
  void CutAt(size_t pos);

 private:
  friend class ResultPageParser;
  ResultPageScan(ResultPageParser& parser, char* page);

  ResultPageParser& parser_;
  char* page_;
  std::string_view text_;
};

class ResultPageParser {
 public:
  static constexpr size_t kChunkBytes = 2048;     // a chunk in the chunk buffer
  static constexpr size_t kAddressBytes = 655;    // the address buffer's capacity
  static constexpr size_t kCombinedBytes = 641;   // the combined-string buffer's capacity

  ResultPageParser();

  // Parses `page` (NUL-terminated, writable) by the rule of `engine`. For
  // goo (1) and InfoNavigater (4) a NUL is written into the page at the end
  // marker. The result stays valid until the next parse.
  const EngineResults& Parse(int engine, char* page);

  // Parses and stores the result in the store's slot of `engine`; an index
  // without a slot is parsed as an empty page and stores nothing.
  void ParseInto(int engine, char* page, EngineResultStore& store);

  // The text without markup: control bytes dropped, each tag replaced by one
  // space where it opens. `start` says whether the text begins inside a tag.
  static std::string StripTags(std::string_view text, TagState start);

  // The match count written in at most 126 bytes from the start of `text`,
  // before the first "件": the first run of ASCII digits, 0 when none.
  static int32_t ReadHitCount(std::string_view text);

  // Adds "address description" as one entry: dropped when 32 are filled, when
  // there is no space or when the address is longer than 126 bytes; an
  // address is cut before its first "("; the description keeps its leading
  // space and is cut to 511 bytes at a character boundary.
  void AddEntry(std::string_view combined);

  const EngineResults& Results() const { return results_; }
  void Reset();

 private:
  friend class ResultPageScan;

  // Cuts [open .. next close) chunks starting at `start` and feeds each one
  // through `extractor`; `closeFrom` is how far past an open mark the close
  // mark is searched. Stops when a mark is missing; a chunk longer than the
  // chunk buffer ends the scan or is cut to it.
  void Scan(std::string_view text, size_t start, std::string_view open, std::string_view close,
            size_t closeFrom, ChunkExtractor extractor, LongChunk longChunk);
  void Extract(std::string_view chunk, ChunkExtractor extractor);
  bool LinkFromAnchor(std::string_view chunk);
  bool LinkFromText(std::string_view chunk);
  bool LinkFromQuotedHref(std::string_view chunk);
  bool LinkFromUrlParam(std::string_view chunk);
  void SetCombined(std::string_view a, std::string_view b, std::string_view c, size_t limit);

  // Runs the rule of `engine` over the page; an engine without one yields
  // no results.
  void ApplyRule(int engine, char* page);

  std::string chunk_;
  std::string stripped_;
  std::string address_;
  std::string combined_;
  EngineResults results_;
};

}  // namespace mireva
