#include "bookmarks/menu_model.h"

#include <utility>

namespace mireva {

MenuItem MenuItem::Command(std::string caption, int id, std::string address) {
  MenuItem item;
  item.kind = Kind::Command;
  item.caption = std::move(caption);
  item.id = id;
  item.address = std::move(address);
  return item;
}

MenuItem MenuItem::Submenu(std::string caption, std::vector<MenuItem> children) {
  MenuItem item;
  item.kind = Kind::Submenu;
  item.caption = std::move(caption);
  item.children = std::move(children);
  return item;
}

MenuItem MenuItem::Separator() {
  MenuItem item;
  item.kind = Kind::Separator;
  return item;
}

MenuItem MenuItem::Notice(std::string caption) {
  MenuItem item;
  item.kind = Kind::Notice;
  item.caption = std::move(caption);
  item.enabled = false;
  return item;
}

size_t CountCommands(const MenuModel& menu) {
  size_t n = 0;
  for (const MenuItem& item : menu) {
    if (item.kind == MenuItem::Kind::Command) ++n;
    if (item.kind == MenuItem::Kind::Submenu) n += CountCommands(item.children);
  }
  return n;
}

}  // namespace mireva
