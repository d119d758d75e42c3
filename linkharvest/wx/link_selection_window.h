#pragma once
// The link-selection window "リンクの選択" (ダウンロード > リンクを選んでダウンロード...,
// Ctrl+Shift+D) and the command that opens it.
#include <memory>

#include <wx/window.h>

#include "core/command_router.h"
#include "core/view_context.h"

namespace mireva {

std::unique_ptr<CommandModule> MakeLinkSelectionCommands(ViewContext& ctx, wxWindow* parent);

}  // namespace mireva
