#pragma once
// Turns menu models (core/menu_model.h) into wx menus: the main menu bar and
// the favorites and bookmark menus are all built here. Captions are converted
// from Shift_JIS, and an item without a caption shows its address instead.
#include "core/menu_model.h"

#include <wx/menu.h>
#include <wx/string.h>

#include <functional>

namespace mireva {

// How a model's captions are read.
enum class MenuCaptions {
  // Shown as they are (the menus made from the user's files): "&" is doubled
  // so it is not taken as a mnemonic, and a tab (which would start an
  // accelerator) becomes a blank.
  Literal,
  // The program's own captions: "&" marks the mnemonic.
  WithMnemonics,
};

// The wx id an item issuing a command id gets; an empty one keeps the id.
using WxMenuId = std::function<int(int commandId)>;

// Removes every item of `menu` (destroying sub-menus) and appends the model's
// items. Notices and items marked disabled are appended disabled.
void FillMenu(wxMenu& menu, const MenuModel& model, MenuCaptions captions = MenuCaptions::Literal,
              const WxMenuId& wxId = {});

// A new menu bar (owned by the caller until a frame takes it) with one menu for
// each item of `model`, in order: its caption and, filled as FillMenu does, its
// children.
wxMenuBar* MakeMenuBar(const MenuModel& model, MenuCaptions captions, const WxMenuId& wxId = {});

// A caption as the menu shows it.
wxString MenuCaption(const MenuItem& item, MenuCaptions captions = MenuCaptions::Literal);

}  // namespace mireva
