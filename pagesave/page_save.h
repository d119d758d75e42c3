#pragma once
// Saving the current page and showing its source through the page-fetch
// library (libHovrel.so): commands 400 "保存(html)", 401 "保存(txt)",
// 402 "保存(ページ)" (the browser's own save), 801 "ソース表示" and the
// framework's standard save 57603 "上書き保存" (Ctrl+S): the page on show
// saved as 400 does, into the file it was last saved to from this window,
// asking for a name the first time (and for every other page).
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

// What FetchToFile does with the page's markup (text mode only).
enum class PageMarkup { Keep, Strip };
// How FetchToFile fetches: the page converted to Shift_JIS text by the
// library and written by the program, or the body saved by the library as
// it arrives, unconverted.
enum class FetchMode { Text, SaveFile };

// The text of one page a text-mode save keeps at most; past it the file holds
// the first kTextSaveLimit bytes and the user is told so.
inline constexpr unsigned kTextSaveLimit = 64u << 20;
// The area the library gets first; a page that fills it is fetched again
// into one kTextGrowth times larger, up to kTextSaveLimit.
inline constexpr unsigned kTextFirstSize = 1u << 20;
inline constexpr unsigned kTextGrowth = 16;

// The one way the view (and the frame analysis) fetches a page into a file.
// FetchMode::SaveFile lets the library write `target` itself. FetchMode::Text
// fetches the whole page as text (markup removed with PageMarkup::Strip),
// giving the library a larger area and fetching again while the page fills
// it, up to kTextSaveLimit; writes it to `target`, then shows "Hovrel
// complate", or, when the page was longer than the limit, writes its first
// kTextSaveLimit bytes and says so instead. Either way the target is replaced
// whole (a temporary file renamed over it) and a failed download leaves it
// as it was. The library works on the engine's worker while the window stays
// live, one call at a time with the engine's own. Returns false when the
// library could not be bound (message shown) or, in save mode, when the
// library could not create the file or the engine was busy (message shown).
bool FetchToFile(ViewContext& ctx, const std::string& address, const std::string& target,
                 PageMarkup markup, FetchMode mode);

}  // namespace mireva
