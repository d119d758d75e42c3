#pragma once
// Turns a menu model (menu_model.h) into a wxMenu. Captions are converted from
// Shift_JIS and shown literally: "&" is doubled so it is not taken as a
// mnemonic, a tab (which would start an accelerator) becomes a blank, and an
// item without a caption shows its address instead.
#include <wx/menu.h>
#include <wx/string.h>

#include "bookmarks/menu_model.h"

namespace mireva {

// Removes every item of `menu` (destroying sub-menus) and appends the model's
// items. Notices and items marked disabled are appended disabled.
void FillMenu(wxMenu& menu, const MenuModel& model);

// A caption as the menu shows it.
wxString MenuCaption(const MenuItem& item);

}  // namespace mireva
