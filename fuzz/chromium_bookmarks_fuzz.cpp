// The Chromium "Bookmarks" JSON reader; a tree it returns is written as a
// Netscape file and a hotlist, which the menus' readers must take back.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "bookmarks/bookmark_tree.h"
#include "bookmarks/chromium_bookmarks.h"
#include "bookmarks/netscape_bookmarks.h"
#include "bookmarks/opera_hotlist.h"

using namespace mireva;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto tree = ParseChromiumBookmarks(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!tree) return 0;
  const size_t count = CountBookmarks(*tree);
  NetscapeBookmarks html = ParseNetscapeBookmarks(WriteNetscapeHtml(*tree));
  if (html.entries.size() > count) std::abort();
  OperaHotlist hotlist = ParseOperaHotlist(WriteOperaHotlist(*tree));
  if (hotlist.addresses.size() > count) std::abort();
  return 0;
}
