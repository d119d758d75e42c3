#pragma once
// Reader of the "Bookmarks" file of Chromium-family browsers (JSON with
// "roots" -> "bookmark_bar", "other", "synced"; nodes of "type" "url" or
// "folder" with "name", "url" and "children"). Each non-empty root becomes a
// folder of the tree. Nothing when the text is not such a file.
#include <optional>
#include <string_view>
#include <vector>

#include "bookmarks/bookmark_tree.h"

namespace mireva {

std::optional<std::vector<BookmarkNode>> ParseChromiumBookmarks(std::string_view json);

}  // namespace mireva
