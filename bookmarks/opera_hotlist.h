#pragma once
// Reader of Opera hotlists (text files of "#URL" and "#FOLDER" blocks) into a
// menu section with commands from kOperaFirstId.
//
// A block is the "#URL" or "#FOLDER" line and the field lines after it up to
// a blank line, the next "#" line or a "-" line; its fields are "NAME=" and
// "URL=" (after leading tabs or blanks). Older hotlists put NAME= straight
// after the "#URL" line, today's put "ID=" first: both are read. A block
// without a NAME is skipped; an entry without a URL has an empty address.
//
// Folders do not nest: a folder's content runs to the first line that is
// exactly "-"; only its "#URL" entries count, a "#FOLDER" inside it is ignored
// (its entries land in the same popup and its closing "-" ends the outer
// folder). A folder without entries is not shown. Folder popups stand where
// the folder stands in the file, among the top-level items. The running index
// continues across folders and top-level entries; entries beyond the 256th
// are left out and a last disabled item says so.
//
// The file is read as UTF-8 when its header declares "encoding = utf8" (as
// today's hotlists do), else in the detected encoding (UTF-8 or Shift_JIS).
#include <string>
#include <string_view>
#include <vector>

#include "bookmarks/menu_model.h"

namespace mireva {

struct OperaHotlist {
  MenuModel items;                     // top-level items and folder popups, in file order
  std::vector<std::string> addresses;  // entry n is the address behind kOperaFirstId + n
  bool truncated = false;
};

OperaHotlist ParseOperaHotlist(std::string_view fileBytes);

// The menu section: a separator (always, as the reader appends one even for
// an empty hotlist), the items, and a disabled notice when entries were left out.
MenuModel OperaMenuSection(const OperaHotlist& hotlist);

}  // namespace mireva
