#pragma once
// A menu as plain data, built by the favorites walk and the bookmark readers
// and turned into a real menu by the GUI (wx_menu_builder.h). Captions are
// Shift_JIS and shown as they are (no mnemonic or accelerator syntax).
#include <string>
#include <vector>

namespace mireva {

// The command ranges of the three menus, 256 ids each.
constexpr int kFavoriteFirstId = 3584;
constexpr int kNetscapeFirstId = 3840;
constexpr int kOperaFirstId = 4096;
constexpr int kBookmarkRangeSize = 256;

struct MenuItem {
  enum class Kind {
    Command,    // a plain item issuing `id`
    Submenu,    // a popup holding `children`
    Separator,
    Notice,     // a disabled item that only informs (no command)
  };
  Kind kind = Kind::Command;
  std::string caption;
  int id = 0;
  bool enabled = true;
  std::string address;  // the address behind a Command, for display and tests
  std::vector<MenuItem> children;

  static MenuItem Command(std::string caption, int id, std::string address = {});
  static MenuItem Submenu(std::string caption, std::vector<MenuItem> children);
  static MenuItem Separator();
  static MenuItem Notice(std::string caption);
};

using MenuModel = std::vector<MenuItem>;

// Number of Command items in the model and all its sub-menus.
size_t CountCommands(const MenuModel& menu);

}  // namespace mireva
