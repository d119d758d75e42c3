// Tag adjustment and markup removal on a page: the fifteen passes of the tag
// table, the removal of every tag, and the pattern passes with patterns taken
// from the input. Removal never lengthens the text or leaves its area.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "pagefetch/markup.h"
#include "platform/text_helpers.h"

using namespace mireva::hovrel;

namespace {

// The text in an area of exactly its length plus the NUL.
std::unique_ptr<char[]> Area(const std::string& text) {
  std::unique_ptr<char[]> area(new char[text.size() + 1]);
  std::memcpy(area.get(), text.c_str(), text.size() + 1);
  return area;
}

void CheckShorter(const char* after, const std::string& before) {
  if (std::strlen(after) > std::strlen(before.c_str())) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  // Patterns as the passes write them: a "<" and a few bytes.
  const std::string open = "<" + in.ConsumeRandomLengthString(8);
  const std::string close = "<" + in.ConsumeRandomLengthString(8);
  const size_t cut = in.ConsumeIntegral<uint16_t>();
  const std::string text = in.ConsumeRemainingBytesAsString();

  auto table = Area(text);
  ApplyTagTable(table.get());
  CheckShorter(table.get(), text);
  // The copy into the caller's area cuts on a character boundary.
  const size_t length = std::strlen(table.get());
  if (mireva::SjisCutLength(table.get(), cut) > std::min(cut, length)) std::abort();

  auto all = Area(text);
  RemoveAllMarkup(all.get());
  CheckShorter(all.get(), text);

  auto openings = Area(text);
  StripTagOpenings(openings.get(), open.c_str());
  CheckShorter(openings.get(), text);

  auto elements = Area(text);
  StripElements(elements.get(), open.c_str(), close.c_str());
  CheckShorter(elements.get(), text);
  return 0;
}
