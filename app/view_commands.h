#pragma once
// The browser view's own commands: back, forward, stop, reload, go, paste
// address, open file, print, text size, the page's encoding, release page,
// home page and the edit commands; and the frame's control-panel commands.
// (The standard save, Ctrl+S, is the page save's: pagesave/page_save.h.)
#include <memory>
#include <optional>
#include <string>

#include "core/command_router.h"
#include "core/view_context.h"

namespace mireva {

// The system clipboard as the paste-address command uses it.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // The clipboard's text (Shift_JIS); empty when it holds none.
  virtual std::string Text() = 0;
  virtual void Clear() = 0;
};

// The release page (a user's guide in Japanese, Shift_JIS) and the home page.
struct OwnPages {
  std::string releaseHtml;
  std::string releaseBase;  // base address for the release page's links
  std::string homeAddress;  // the maker's home page
};

std::unique_ptr<CommandModule> MakeViewCommands(ViewContext& ctx, Clipboard& clipboard,
                                                OwnPages pages);

// Paste address: at most 259 bytes of the clipboard text go into the address
// field (cut at a character boundary), the clipboard is emptied; nothing
// happens when it holds no text. Never navigates.
void PasteAddress(ViewContext& ctx, Clipboard& clipboard);

// The encoding a command of the view menu's encoding submenu reads the page
// in: "" for 自動 (kCmdEncodingAuto), "Shift_JIS", "EUC-JP", "ISO-2022-JP",
// "UTF-8"; nullptr for any other command.
const char* EncodingOfCommand(int command);

// The page shown in place of a page that could not be loaded: in Japanese,
// with the address, the reason and a link that tries the address again.
// Shift_JIS, as everything the view shows.
std::string LoadFailurePage(const std::string& address, LoadFailure reason);

// Control-panel commands 403 (dial-up), 404 (internet), 405 (modem): start the
// desktop's network or proxy settings tool; "CPlApplet　の起動に失敗しました。"
// when none can be started.
std::unique_ptr<CommandModule> MakeControlPanelCommands(Interaction& ui);

// The programs tried for each control-panel command, first found wins.
std::vector<std::vector<std::string>> SettingsToolsFor(int command);

}  // namespace mireva
