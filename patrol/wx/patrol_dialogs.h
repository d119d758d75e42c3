#pragma once
// The patrol commands with their windows: the patrol-list editor and the
// catalogue dialogs, owned by `parent`. The result is a PatrolCommands (see
// PatrolCommands::From).
#include <memory>

#include "core/command_router.h"
#include "core/view_context.h"

class wxWindow;

namespace mireva {

std::unique_ptr<CommandModule> MakePatrolCommands(ViewContext& ctx, wxWindow* parent);

}  // namespace mireva
