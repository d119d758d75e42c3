#pragma once
// The results page: the list on show written as a small Shift_JIS HTML page.
//
//   <HTML><HEAD><TITLE>検索結果</TITLE></HEAD><BODY>\r\n
//   <a href="URL">URL</a> description<BR>\r\n      (one line per entry)
//   </BODY></HTML>                                   (no line break after it)
//
// Entries stop being appended once the text passes 15,360 bytes, so the page
// stays below 16,384 bytes; the closing tags are always written.
#include <string>

#include "searchresults/engine_results.h"

namespace mireva {

constexpr size_t kResultsPageStopBytes = 15360;
constexpr size_t kResultsPageBufferBytes = 16384;

std::string BuildResultsPage(const EngineResults& results);

// Writes the page for `results` as `fileName` (Shift_JIS, a name in the
// current folder or a path) through a temporary file and a rename, so an
// earlier page is replaced whole or not at all. False when it cannot be written.
bool WriteResultsPage(const EngineResults& results, const std::string& fileName);

}  // namespace mireva
