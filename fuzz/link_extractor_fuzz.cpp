// Link extraction from a page: the page's address and the limit come from the
// input as well. Every link is an absolute http(s) address without fragment,
// listed once, and there are never more than the limit.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "companions/download_engine/link_extractor.h"

using namespace mireva::dl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const size_t limit = in.ConsumeIntegralInRange<size_t>(0, 64);
  const bool oddBase = in.ConsumeBool();
  const std::string base =
      oddBase ? in.ConsumeRandomLengthString(64) : "http://www.example.jp/dir/page.html";
  const std::string html = in.ConsumeRemainingBytesAsString();

  ExtractedLinks got = ExtractLinks(html, base, limit);
  if (got.links.size() > limit) std::abort();
  std::set<std::string> seen;
  for (const Link& link : got.links) {
    const bool http = link.url.starts_with("http://") || link.url.starts_with("https://");
    if (!http || link.url.find('#') != std::string::npos || link.kinds == 0 ||
        (link.kinds & ~kAnyLink) != 0 || !seen.insert(link.url).second)
      std::abort();
  }
  return 0;
}
