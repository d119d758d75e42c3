#pragma once
// The collectors' menu commands as one command module of the browser view:
// 700-705 (topographic maps), 712-717 (weather satellite), 721-727 (sky survey).
#include <ctime>
#include <functional>
#include <memory>

#include "core/command_router.h"
#include "core/view_context.h"
#include "collectors/animated_gif_builder.h"

namespace mireva {

std::unique_ptr<CommandModule> MakeCollectorCommands(ViewContext& ctx);

// For tests: a fixed clock for the weather commands and options of the
// animated-GIF builder (converter, pause).
std::unique_ptr<CommandModule> MakeCollectorCommands(ViewContext& ctx,
                                                     std::function<std::time_t()> clock,
                                                     AnimatedGifBuilder::Options gifOptions);

}  // namespace mireva
