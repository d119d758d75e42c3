#pragma once
// Saving the current page and showing its source through the page-fetch
// library (libHovrel.so): commands 400 "保存(html)", 401 "保存(txt)",
// 402 "保存(ページ)" (the browser's own save) and 801 "ソース表示".
// The library is bound by name at first use through the view's
// DownloadEngine and stays loaded as long as the view; its messages and
// password prompt are routed to the view's Interaction.
#include <functional>
#include <memory>
#include <string>

#include "app/command_router.h"
#include "app/view_context.h"

namespace mireva {

// Opens a file (host path) in the user's text editor; false when none starts.
using OpenEditorFn = std::function<bool(const std::string& hostPath)>;

std::unique_ptr<CommandModule> MakePageSaveCommands(ViewContext& ctx);
// The same, with the editor start replaced (tests).
std::unique_ptr<CommandModule> MakePageSaveCommands(ViewContext& ctx, OpenEditorFn openEditor);

// The one way the view (and the frame analysis) fetches a page into a file:
// mode 'D' lets the library write `target` itself (save mode); any other mode
// fetches at most 49998 bytes of text (markup removed when `option` is 'S')
// and writes them to `target`, then shows "Hovrel complate". Returns false
// when the library could not be bound (message shown) or, in save mode, when
// the library could not create the file.
bool FetchToFile(ViewContext& ctx, const std::string& address, const std::string& target,
                 char option, char mode);

}  // namespace mireva
