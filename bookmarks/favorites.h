#pragma once
// The favorites menu: every Internet shortcut (".url") of the favorites folder
// and its sub-folders as a menu item, every sub-folder that holds one (at any
// depth) as a sub-menu. Each level lists its sub-folder popups first (ascending
// names), then its shortcuts (ascending titles); the comparison is the
// case-insensitive multibyte one of CompareNoCaseMb.
//
// Mapping of the folder walk onto Linux:
//  - hidden entries are names with a leading dot; "system" entries are the
//    special files (FIFOs, sockets, devices). The shortcut pass skips both,
//    the sub-folder pass takes hidden folders as well;
//  - ".url" is compared exactly, so "x.URL" is not a shortcut;
//  - a directory is listed in name order (NTFS lists its folders that way),
//    so the command ids come out the same on every run;
//  - a symbolic link counts as what it points to; a broken one is skipped,
//    and a folder already on the path being walked (a link cycle) is skipped.
// Command ids are given in the order of the walk: a folder's own shortcuts
// first, then the contents of its sub-folders. The range holds 256 commands;
// shortcuts beyond the 256th are left out and a last disabled item says so.
#include <string>
#include <vector>

#include "bookmarks/menu_model.h"

namespace mireva {

struct FavoritesMenu {
  MenuModel menu;
  std::vector<std::string> addresses;  // entry n is the address behind kFavoriteFirstId + n
  bool truncated = false;              // shortcuts were left out at the 256th command
};

// The caption of the last, disabled item when shortcuts were left out.
extern const char* const kFavoritesTruncatedNotice;

// The favorites folder as a host path: $MIREVA_FAVORITES, else the folder
// "Favorites" in the working folder.
std::string FavoritesFolder();

// Walks `hostFolder` (a UTF-8 host path). A missing or empty folder gives an
// empty menu; unreadable entries are skipped; a shortcut without a "URL"
// value gives an item with an empty address.
FavoritesMenu BuildFavoritesMenu(const std::string& hostFolder);

}  // namespace mireva
