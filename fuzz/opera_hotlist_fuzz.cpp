// The Opera hotlist reader and the menu section built from it.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "bookmarks/opera_hotlist.h"

using namespace mireva;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  OperaHotlist got = ParseOperaHotlist(std::string_view(reinterpret_cast<const char*>(data), size));
  if (got.addresses.size() > 256) std::abort();
  (void)OperaMenuSection(got);
  return 0;
}
