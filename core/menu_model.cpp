#include "core/menu_model.h"

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

MenuItem MenuItem::Check(std::string caption, int id) {
  MenuItem item = Command(std::move(caption), id);
  item.kind = Kind::Check;
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

namespace {

bool IssuesCommand(const MenuItem& item) {
  return item.kind == MenuItem::Kind::Command || item.kind == MenuItem::Kind::Check;
}

}  // namespace

size_t CountCommands(const MenuModel& menu) {
  size_t n = 0;
  for (const MenuItem& item : menu) {
    if (IssuesCommand(item)) ++n;
    if (item.kind == MenuItem::Kind::Submenu) n += CountCommands(item.children);
  }
  return n;
}

const MenuItem* FindMenuItem(const MenuModel& menu, int id) {
  for (const MenuItem& item : menu) {
    if (IssuesCommand(item) && item.id == id) return &item;
    if (const MenuItem* inner = FindMenuItem(item.children, id)) return inner;
  }
  return nullptr;
}

}  // namespace mireva
