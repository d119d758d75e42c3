#include "bookmarks/wx/menu_builder.h"

#include "platform/text_encoding.h"

namespace mireva {

wxString MenuCaption(const MenuItem& item, MenuCaptions captions) {
  std::string text = item.caption.empty() ? item.address : item.caption;
  std::string escaped;
  if (captions == MenuCaptions::WithMnemonics) {
    escaped = text;
  } else {
    for (char c : text) {
      if (c == '&') escaped.push_back('&');
      escaped.push_back(c == '\t' || c == '\r' || c == '\n' ? ' ' : c);
    }
  }
  // GTK refuses an empty label for a plain item.
  if (escaped.empty()) escaped.push_back(' ');
  return wxString::FromUTF8(SjisToUtf8(escaped));
}

void FillMenu(wxMenu& menu, const MenuModel& model, MenuCaptions captions, const WxMenuId& wxId) {
  while (menu.GetMenuItemCount() > 0) menu.Destroy(menu.FindItemByPosition(0));
  for (const MenuItem& item : model) {
    switch (item.kind) {
      case MenuItem::Kind::Separator:
        menu.AppendSeparator();
        break;
      case MenuItem::Kind::Submenu: {
        auto* sub = new wxMenu;
        FillMenu(*sub, item.children, captions, wxId);
        menu.AppendSubMenu(sub, MenuCaption(item, captions));
        break;
      }
      case MenuItem::Kind::Command:
      case MenuItem::Kind::Check:
      case MenuItem::Kind::Notice: {
        const bool notice = item.kind == MenuItem::Kind::Notice;
        const int id = notice ? wxID_ANY : wxId ? wxId(item.id) : item.id;
        const wxItemKind look = item.kind == MenuItem::Kind::Check ? wxITEM_CHECK : wxITEM_NORMAL;
        wxMenuItem* added = menu.Append(id, MenuCaption(item, captions), wxEmptyString, look);
        if (!item.enabled || notice) added->Enable(false);
        break;
      }
    }
  }
}

wxMenuBar* MakeMenuBar(const MenuModel& model, MenuCaptions captions, const WxMenuId& wxId) {
  auto* bar = new wxMenuBar;
  for (const MenuItem& top : model) {
    auto* menu = new wxMenu;
    FillMenu(*menu, top.children, captions, wxId);
    bar->Append(menu, MenuCaption(top, captions));
  }
  return bar;
}

}  // namespace mireva
