#pragma once
// Where the Netscape bookmark path and the Opera hotlist path come from.
//
// Netscape bookmark path, the first that gives a file:
//  1. $MIREVA_NETSCAPE_BOOKMARKS;
//  2. "Netscape=" in the section [Bookmarks] of "bookmarks.ini" in the working folder;
//  3. the newest bookmark export: "bookmarks*.html" in the download folder
//     (XDG_DOWNLOAD_DIR of user-dirs.dirs, ~/Downloads, ~/ダウンロード), on
//     ~/Desktop, and ~/bookmarks.html;
//  4. the bookmarks of the newest Firefox profile (places.sqlite under
//     ~/.mozilla/firefox, the snap's and the flatpak's), written as
//     "FirefoxBookmarks.html" in the working folder;
//  5. the bookmarks of Chromium or Chrome ("Bookmarks" of the Default profile
//     under ~/.config/chromium, ~/.config/google-chrome, the snap's), written
//     as "ChromiumBookmarks.html" in the working folder.
// Opera hotlist path:
//  1. $MIREVA_OPERA_HOTLIST;
//  2. "Opera=" in [Bookmarks] of "bookmarks.ini";
//  3. the newest of ~/.opera/bookmarks.adr, ~/.opera/opera6.adr, ~/.opera/opera.adr;
//  4. the bookmarks of today's Opera (~/.config/opera/Bookmarks), written as
//     the hotlist "OperaHotlist.adr" in the working folder.
// The INI holds Shift_JIS paths; the environment UTF-8 ones. An entry that
// names no readable file is passed over. "" when nothing is found.
#include <string>

namespace mireva {

struct BookmarkSourceFolders {
  std::string home;           // the user's home folder
  std::string configHome;     // $XDG_CONFIG_HOME, else ~/.config
  std::string workingFolder;  // bookmarks.ini and the generated files
};

extern const char* const kBookmarkSettingsFile;  // "bookmarks.ini"

BookmarkSourceFolders DefaultSourceFolders(const std::string& workingFolder);

// The sources the bookmark settings dialog picks, host paths ("" for none): a
// Netscape bookmark file, a Firefox profile folder (its places.sqlite), a
// Chromium profile folder (its "Bookmarks"), an Opera hotlist. The menu's
// Netscape section comes from the first of the first three that is set.
struct BookmarkSettings {
  std::string netscapeFile, firefoxProfile, chromiumProfile, operaHotlist;
  // Saved by the user: the menus are filled from them at every start.
  bool chosen = false;
};

// The saved settings; where none are saved, the sources found in the usual
// places (the rules above, chosen false).
BookmarkSettings ReadBookmarkSettings(const BookmarkSourceFolders& folders);
// Writes them as [Bookmarks] Netscape=, Firefox=, Chromium=, Opera= and
// AtStart=1 into bookmarks.ini, replacing the file whole (Shift_JIS paths).
bool WriteBookmarkSettings(const BookmarkSourceFolders& folders, const BookmarkSettings& settings);

// Host paths, "" when there is none. Saved Firefox= and Chromium= profiles
// come after a saved Netscape= file and before the automatic search.
std::string FindNetscapeBookmarks(const BookmarkSourceFolders& folders);
std::string FindOperaHotlist(const BookmarkSourceFolders& folders);

}  // namespace mireva
