// The page-fetch code converter: every entry, converting into a separate area
// and in place, with capacities from none to more than the text needs. The
// two ways must give the same bytes, and neither may write past its area.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "pagefetch/code_converter.h"
#include "pagefetch/host.h"

using namespace mireva::hovrel;

namespace {

using Entry = size_t (*)(size_t, const char*, char*, size_t);

size_t Legacy(size_t length, const char* in, char* out, size_t capacity) {
  return ConvertToShiftJis(' ', length, in, out, capacity);
}

using mireva::fuzz::Check;

// Converts separately (an area of exactly `capacity` bytes) and in place (an
// area of max(length, capacity) bytes); compares the two.
void ConvertBothWays(Entry entry, const std::string& text, size_t capacity) {
  std::unique_ptr<char[]> separate(new char[capacity ? capacity : 1]);
  const size_t a = entry(text.size(), text.data(), separate.get(), capacity);
  if (capacity == 0) {
    Check(a == 0);
  } else {
    Check(a < capacity && separate[a] == '\0');
  }

  const size_t area = std::max(text.size(), capacity);
  std::unique_ptr<char[]> inPlace(new char[area ? area : 1]);
  std::memcpy(inPlace.get(), text.data(), text.size());
  const size_t b = entry(text.size(), inPlace.get(), inPlace.get(), capacity);
  Check(a == b);
  if (capacity > 0) Check(std::memcmp(separate.get(), inPlace.get(), a + 1) == 0);
  // Bytes beyond the capacity are the caller's and stay as they were.
  for (size_t i = capacity; i < text.size(); ++i) Check(inPlace[i] == text[i]);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  testing::SetPausesEnabled(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const uint8_t choice = in.ConsumeIntegral<uint8_t>();
  const size_t capacity = in.ConsumeIntegralInRange<size_t>(0, size * 3 + 64);
  const std::string text = in.ConsumeRemainingBytesAsString();

  (void)IsUtf8Text(text);
  switch (choice % 3) {
    case 0:
      ConvertBothWays(Legacy, text, capacity);
      break;
    case 1:
      ConvertBothWays(Utf8ToShiftJis, text, capacity);
      break;
    default: {
      // The page as the library holds it: NUL-terminated inside an area of
      // exactly `capacity` bytes.
      if (capacity == 0) break;
      std::unique_ptr<char[]> page(new char[capacity]);
      const size_t length = std::min(text.size(), capacity - 1);
      std::memcpy(page.get(), text.data(), length);
      page[length] = '\0';
      NormalizePageText(page.get(), capacity);
      Check(strnlen(page.get(), capacity) < capacity);
      break;
    }
  }
  return 0;
}
