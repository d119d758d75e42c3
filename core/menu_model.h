#pragma once
// A menu as plain data, the one form of every menu of the program: the main
// menu bar (command_table.h) and the favorites and bookmark menus (made by the
// favorites walk and the bookmark readers). The GUI turns it into real menus
// with one builder (bookmarks/wx/menu_builder.h). Captions are Shift_JIS; in the
// program's own menus "&" marks the mnemonic, in menus made from the user's
// files the builder shows them literally.
#include <cstddef>
#include <string>
#include <vector>

namespace mireva {

struct MenuItem {
  enum class Kind {
    Command,    // a plain item issuing `id`
    Check,      // an item issuing `id` that shows a check mark (the bars' toggles)
    Submenu,    // a popup holding `children`; the menus of a menu bar are these
    Separator,
    Notice,     // a disabled item that only informs (no command)
  };
  Kind kind = Kind::Command;
  std::string caption;
  int id = 0;                // 0 for separators, submenus and notices
  bool enabled = true;
  std::string address;       // the address behind a bookmark, for display and tests
  std::vector<MenuItem> children;

  static MenuItem Command(std::string caption, int id, std::string address = {});
  static MenuItem Check(std::string caption, int id);
  static MenuItem Submenu(std::string caption, std::vector<MenuItem> children);
  static MenuItem Separator();
  static MenuItem Notice(std::string caption);
};

using MenuModel = std::vector<MenuItem>;

// Number of items issuing a command (Command and Check) in the model and all
// its sub-menus.
size_t CountCommands(const MenuModel& menu);

// The first item issuing `id` anywhere in the model; nullptr if there is none.
const MenuItem* FindMenuItem(const MenuModel& menu, int id);

}  // namespace mireva
