#pragma once
// The menu commands of the favorites and bookmark menus:
//  - 3584-3839 (view): open favorite n; the address goes into the address
//    field first, then the view navigates;
//  - 3840-4095 and 4096-4351 (view): open Netscape / Opera entry n; the view
//    navigates without setting the address field first;
//  - 3101 and 3312 (frame): edit the Netscape / Opera working copy in the text
//    editor, wait for it, re-read the copy (the menu is rebuilt through
//    BookmarkMenus::onChanged);
//  - 3102 (view): show the Netscape bookmark path in the address field and
//    open it.
// An id beyond the filled part of a list is refused (nothing happens).
#include <memory>

#include "core/command_router.h"
#include "core/view_context.h"
#include "bookmarks/bookmark_menus.h"

namespace mireva {

std::unique_ptr<CommandModule> MakeBookmarkCommands(ViewContext& ctx, BookmarkMenus& menus);

// A local path as a "file://" address (bytes outside the URL's unreserved set
// percent-encoded); any other text is returned as it is.
std::string PathToFileAddress(const std::string& sjisPath);

}  // namespace mireva
