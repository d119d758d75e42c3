#pragma once
// The bookmark settings dialog (オプション > ブックマークの設定): one row per
// source (Netscape bookmark file, Firefox profile, Chromium profile, Opera
// hotlist), each a path field with a "参照..." button. The fields start with
// `settings`; OK writes the fields back into it and returns true.
#include <wx/window.h>

#include "bookmarks/bookmark_sources.h"

namespace mireva {

bool ShowBookmarkSettingsDialog(wxWindow* parent, BookmarkSettings& settings);

}  // namespace mireva
