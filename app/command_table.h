#pragma once
// The program's menus, toolbar and accelerators as data: every command id with
// its caption and the object that handles it. The wx frame builds its menu bar
// and toolbar from this table; tests check it without a display.
// Captions are Shift_JIS.
#include <string>
#include <vector>

#include "app/command_router.h"

namespace mireva {

struct MenuNode {
  int id = 0;                  // 0 for separators and submenus
  std::string caption;         // empty for separators
  bool checkable = false;      // shows a check mark (the bar toggles)
  std::vector<MenuNode> children;  // non-empty for a submenu or top-level menu
  bool IsSeparator() const { return id == 0 && caption.empty(); }
};

struct ToolButton {
  int id = 0;                  // 0 for a gap
  std::string tooltip;
};

enum AccelModifier { kNoModifier = 0, kCtrl = 1, kShift = 2, kAlt = 4 };
struct Accelerator {
  int modifiers;
  int key;  // an ASCII letter, or one of the kKey* values below
  int id;
};
inline constexpr int kKeyBackspace = 8, kKeyDelete = 127, kKeyInsert = 0x1000, kKeyF6 = 0x1006,
                       kKeyEscape = 27;

// Command ids of the framework's standard commands.
enum StandardCommand {
  kCmdFileNew = 57600, kCmdFileOpen = 57601, kCmdFileSave = 57603, kCmdPrintSetup = 57606,
  kCmdEditCopy = 57634, kCmdEditCut = 57635, kCmdEditPaste = 57637, kCmdEditUndo = 57643,
  kCmdAppAbout = 57664, kCmdAppExit = 57665, kCmdNextPane = 57680, kCmdPrevPane = 57681,
  kCmdViewToolbar = 59392, kCmdViewStatusBar = 59393,
};

// The favorites and bookmark ranges.
inline constexpr int kFavoritesFirst = 3584, kFavoritesLast = 3839;
inline constexpr int kNetscapeFirst = 3840, kNetscapeLast = 4095;
inline constexpr int kOperaFirst = 4096, kOperaLast = 4351;

// Menu 130: the top-level menus in order, each with its items.
const std::vector<MenuNode>& MainMenu();
// Toolbar 128, left to right.
const std::vector<ToolButton>& MainToolbar();
// Accelerator table 128.
const std::vector<Accelerator>& MainAccelerators();
// Every command id that a menu item, button or key can issue, and the object
// that handles it (nullopt-like: `handled` false for those nobody handles).
struct CommandInfo {
  int id;
  bool handled;
  CommandTarget target;
};
const std::vector<CommandInfo>& CommandHandlers();

// Finds a menu item by id anywhere in MainMenu(); nullptr if there is none.
const MenuNode* FindMenuItem(int id);
// Whether `id` is a command of the table (or of the favorites and bookmark
// ranges). Only these are enabled or disabled by the update-UI rule: the frame,
// its panels, the address field and submenus keep their own state.
bool IsCommandId(int id);

}  // namespace mireva
