// The Netscape bookmark file reader and the menu section built from it.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "bookmarks/netscape_bookmarks.h"

using namespace mireva;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NetscapeBookmarks got =
      ParseNetscapeBookmarks(std::string_view(reinterpret_cast<const char*>(data), size));
  if (got.entries.size() > 256) std::abort();
  (void)NetscapeMenuSection(got);
  return 0;
}
