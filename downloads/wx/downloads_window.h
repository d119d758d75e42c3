#pragma once
// The downloads window (command 2120, "ダウンロード履歴"): the engine's running
// work, live, above the download history with its filters and the actions on
// one entry. One window at a time, not modal, owned by `parent`.
#include <memory>

#include "core/command_router.h"
#include "core/view_context.h"

class wxWindow;

namespace mireva {

std::unique_ptr<CommandModule> MakeDownloadsCommands(ViewContext& ctx, wxWindow* parent);

}  // namespace mireva
