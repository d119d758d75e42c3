#pragma once
// The search engines Quandex knows, by engine index, each with the rule that
// parses its result pages, and the rows of engine radio buttons in the results
// dialog (some rows name no engine).
#include <span>
#include <string>

namespace mireva {

// The engine indices of the exported interface (Quandex's `engine` argument).
// 14 and 15 name no engine.
enum class EngineId : int {
  Yahoo = 0,
  Goo = 1,
  Excite = 2,
  Infoseek = 3,
  InfoNavigater = 4,
  Lycos = 5,
  Biglobe = 6,
  InetGuide = 7,
  Fresheye = 8,
  Nifty = 9,
  DragonNext = 10,
  Joy = 11,
  DoKoDa = 12,
  WebGate = 13,
  Google = 16,
};
constexpr int EngineIndex(EngineId id) { return static_cast<int>(id); }

constexpr int kNoEngine = -1;
constexpr int kMixedResultsIndex = 21;  // names a results file only; no parser fills it

class ResultPageScan;  // the page being parsed (searchresults/result_page_parser.h)
// Finds an engine's results in its page: where the list starts and ends, how
// it is cut into one chunk per result, and where the hit count stands.
using PageRule = void (*)(ResultPageScan& page);

struct EngineInfo {
  EngineId id;
  int radioId;
  const char* caption;
  int markId;
  int logoId;            // 0: no logo; the row keeps the logo shown before
  const char* homeHost;  // nullptr: no home page
  const char* homePath;
  const char* resultsFile;  // nullptr: no file name of its own
  PageRule rule;            // nullptr: its pages yield no results
};

// One engine radio of the results dialog, in id order. `engine` is kNoEngine
// for the rows that stand for no engine ("Not Use" and the row without a
// caption).
struct EngineRow {
  int radioId;
  const char* caption;
  int markId;
  int engine;
};

// The engine with this index, or nullptr (14, 15, 21 and anything above 16).
const EngineInfo* FindEngine(int index);
std::span<const EngineInfo> Engines();
std::span<const EngineRow> EngineRows();

// "http://host/path" for engines 0 to 11; empty for the others.
std::string HomeAddress(int index);

// The results page's file name for an index (no folder); empty when it has none.
std::string ResultsFileName(int index);

}  // namespace mireva
