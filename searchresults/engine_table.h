#pragma once
// The search engines Quandex knows, by engine index, and the rows of engine
// radio buttons in the results dialog (some rows name no engine).
#include <span>
#include <string>

namespace mireva {

constexpr int kGoogleEngine = 16;
constexpr int kMixedResultsIndex = 21;  // names a results file only; no parser fills it

struct EngineInfo {
  int index;
  int radioId;
  const char* caption;
  int markId;
  int logoId;              // 0: no logo; the row keeps the logo shown before
  const char* homeHost;    // nullptr: no home page
  const char* homePath;
  const char* resultsFile; // nullptr: no file name of its own
};

// One engine radio of the results dialog, in id order. `engine` is -1 for the
// rows that stand for no engine ("Not Use" and the row without a caption).
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
