#include "bookmarks/wx_menu_builder.h"

#include "platform/text_encoding.h"

namespace mireva {

wxString MenuCaption(const MenuItem& item) {
  std::string text = item.caption.empty() ? item.address : item.caption;
  std::string escaped;
  for (char c : text) {
    if (c == '&') escaped.push_back('&');
    escaped.push_back(c == '\t' || c == '\r' || c == '\n' ? ' ' : c);
  }
  // GTK refuses an empty label for a plain item.
  if (escaped.empty()) escaped.push_back(' ');
  return wxString::FromUTF8(SjisToUtf8(escaped));
}

void FillMenu(wxMenu& menu, const MenuModel& model) {
  while (menu.GetMenuItemCount() > 0) menu.Destroy(menu.FindItemByPosition(0));
  for (const MenuItem& item : model) {
    switch (item.kind) {
      case MenuItem::Kind::Separator:
        menu.AppendSeparator();
        break;
      case MenuItem::Kind::Submenu: {
        auto* sub = new wxMenu;
        FillMenu(*sub, item.children);
        menu.AppendSubMenu(sub, MenuCaption(item));
        break;
      }
      case MenuItem::Kind::Command:
      case MenuItem::Kind::Notice: {
        wxMenuItem* added =
            menu.Append(item.kind == MenuItem::Kind::Notice ? wxID_ANY : item.id, MenuCaption(item));
        if (!item.enabled || item.kind == MenuItem::Kind::Notice) added->Enable(false);
        break;
      }
    }
  }
}

}  // namespace mireva
