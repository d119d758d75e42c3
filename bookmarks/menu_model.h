#pragma once
// The favorites and bookmark menus are menu models (core/menu_model.h) made by
// the favorites walk and the bookmark readers, their captions shown as they are
// (no mnemonic or accelerator syntax). Their items issue ids of these ranges.
#include "core/command_ids.h"
#include "core/menu_model.h"

namespace mireva {

// The command ranges of the three menus, 256 ids each.
constexpr int kFavoriteFirstId = kFavoritesFirst;
constexpr int kNetscapeFirstId = kNetscapeFirst;
constexpr int kOperaFirstId = kOperaFirst;
constexpr int kBookmarkRangeSize = kFavoritesLast - kFavoritesFirst + 1;

}  // namespace mireva
