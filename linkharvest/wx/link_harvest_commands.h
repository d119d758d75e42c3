#pragma once
// The link and frame-analysis commands with their windows: the frame dialog
// and the engine's progress window, both owned by `parent`.
#include <memory>

#include "core/command_router.h"
#include "core/view_context.h"

class wxWindow;

namespace mireva {

std::unique_ptr<CommandModule> MakeLinkHarvestCommands(ViewContext& ctx, wxWindow* parent);

}  // namespace mireva
