// Every search-result page rule over one page: the engine comes from the
// input, indices outside the table included, and the results stay within
// their documented bounds.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "searchresults/result_page_parser.h"

using namespace mireva;

namespace {

using mireva::fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int engine = in.ConsumeIntegralInRange<int>(-1, kEngineSlots + 5);
  const bool store = in.ConsumeBool();
  const std::string text = in.ConsumeRemainingBytesAsString();

  // The page as the export receives it: writable, NUL-terminated, no larger.
  std::unique_ptr<char[]> page(new char[text.size() + 1]);
  std::memcpy(page.get(), text.c_str(), text.size() + 1);

  static ResultPageParser parser;  // reused across pages, as the library does
  if (store) {
    EngineResultStore results;
    parser.ParseInto(engine, page.get(), results);
  } else {
    const EngineResults& r = parser.Parse(engine, page.get());
    Check(r.count >= 0 && r.count <= kMaxResults);
    for (int i = 0; i < r.count; ++i) {
      const ResultEntry& e = r.entries[static_cast<size_t>(i)];
      Check(e.url.size() <= kMaxUrlBytes && e.text.size() <= kMaxTextBytes + 1);
    }
  }
  (void)ResultPageParser::StripTags(text, TagState::Outside);
  (void)ResultPageParser::StripTags(text, TagState::Inside);
  Check(ResultPageParser::ReadHitCount(text) >= 0);
  return 0;
}
