#include "searchresults/results_page.h"

#include <algorithm>

#include "platform/file_util.h"

namespace mireva {

std::string BuildResultsPage(const EngineResults& results) {
  std::string page;
  page.reserve(kResultsPageBufferBytes);
  page += "<HTML><HEAD><TITLE>検索結果</TITLE></HEAD><BODY>\r\n";
  int count = std::clamp(results.count, 0, kMaxResults);
  for (int i = 0; i < count; ++i) {
    const ResultEntry& e = results.entries[static_cast<size_t>(i)];
    page += "<a href=\"";
    page += e.url;
    page += "\">";
    page += e.url;
    page += "</a>";
    page += e.text;
    page += "<BR>\r\n";
    if (page.size() > kResultsPageStopBytes) break;
  }
  page += "</BODY></HTML>";
  return page;
}

bool WriteResultsPage(const EngineResults& results, const std::string& fileName) {
  if (fileName.empty()) return false;
  return WriteFileAtomically(fileName, BuildResultsPage(results));
}

}  // namespace mireva
