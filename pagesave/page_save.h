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

#include "core/command_router.h"
#include "core/view_context.h"

namespace mireva {

// Opens a file (host path) in the user's text editor; false when none starts
// (the source view then says what it tried).
using OpenEditorFn = std::function<bool(const std::string& hostPath)>;

std::unique_ptr<CommandModule> MakePageSaveCommands(ViewContext& ctx);
// The same, with the editor start replaced (tests).
std::unique_ptr<CommandModule> MakePageSaveCommands(ViewContext& ctx, OpenEditorFn openEditor);

// The page as command 400 writes it: Hovrel delivers Shift_JIS but cuts the
// page's EUC-JP or UTF-8 label, so a browser would guess the encoding. Every
// charset declaration (meta charset, http-equiv Content-Type, the XML
// declaration's encoding) is made to name Shift_JIS, and one is put at the
// start of the head when the page has none near its start. An empty text (a
// failed download) stays empty.
std::string DeclareShiftJis(const std::string& html);

// The name offered for the browser's own save (402): the page title with "/",
// "\" and control characters made "_", walked character by character so the
// second byte of a double-byte character is never touched; "page" for an empty
// title; the extension ".mhtml".
std::string SavePageFileName(const std::string& title);

// The one way the view (and the frame analysis) fetches a page into a file:
// mode 'D' lets the library write `target` itself (save mode); any other mode
// fetches at most 49998 bytes of text (markup removed when `option` is 'S')
// and writes them to `target`, then shows "Hovrel complate". Either way the
// target is replaced whole (a temporary file renamed over it) and a failed
// download leaves it as it was. The library works on the engine's worker
// while the window stays live, one call at a time with the engine's own.
// Returns false when the library could not be bound (message shown) or, in
// save mode, when the library could not create the file or the engine was
// busy (message shown).
bool FetchToFile(ViewContext& ctx, const std::string& address, const std::string& target,
                 char option, char mode);

}  // namespace mireva
