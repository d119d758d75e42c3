// The wx menus made from a model: captions shown literally, ids and enabled
// states as in the model, and a refill replacing the old items; a menu bar with
// mnemonics, check items and mapped ids. Needs a display (GTK); skips without one.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/menu.h>

#include <cstdlib>
#include <memory>

#include "bookmarks/wx/menu_builder.h"
#include "tests/support/gtk_leak_suppressions.h"
#include "platform/text_encoding.h"

namespace mireva {
namespace {

bool wxReady = false;

TEST(WxMenuBuilder, FillsAndRefillsAMenu) {
  if (!wxReady) GTEST_SKIP() << "no display";
  MenuModel model;
  MenuItem enter = MenuItem::Command("登録", 3111);
  enter.enabled = false;
  model.push_back(enter);
  model.push_back(MenuItem::Separator());
  model.push_back(MenuItem::Command("Tom & Jerry\tTV", 3840, "http://tj/"));
  model.push_back(MenuItem::Command("", 3841, "http://untitled.example/"));
  model.push_back(MenuItem::Submenu("フォルダ", {MenuItem::Command("中", 4096, "http://in/")}));
  model.push_back(MenuItem::Notice("notice"));

  wxMenu menu;
  menu.Append(1501, "xx");
  menu.Append(1502, "xx");
  FillMenu(menu, model);
  ASSERT_EQ(menu.GetMenuItemCount(), model.size());
  EXPECT_EQ(menu.FindItem(1501), nullptr);
  wxMenuItem* first = menu.FindItemByPosition(0);
  EXPECT_EQ(first->GetId(), 3111);
  EXPECT_FALSE(first->IsEnabled());
  EXPECT_EQ(first->GetItemLabelText().utf8_str(), SjisToUtf8("登録"));
  EXPECT_TRUE(menu.FindItemByPosition(1)->IsSeparator());
  wxMenuItem* tj = menu.FindItemByPosition(2);
  EXPECT_EQ(tj->GetId(), 3840);
  EXPECT_EQ(tj->GetItemLabelText(), "Tom & Jerry TV");
  EXPECT_EQ(tj->GetItemLabel(), "Tom && Jerry TV");
  EXPECT_EQ(menu.FindItemByPosition(3)->GetItemLabelText(), "http://untitled.example/");
  wxMenuItem* folder = menu.FindItemByPosition(4);
  ASSERT_TRUE(folder->IsSubMenu());
  EXPECT_EQ(folder->GetSubMenu()->FindItemByPosition(0)->GetId(), 4096);
  EXPECT_FALSE(menu.FindItemByPosition(5)->IsEnabled());

  FillMenu(menu, {MenuItem::Command("only", 3584)});
  ASSERT_EQ(menu.GetMenuItemCount(), 1u);
  EXPECT_EQ(menu.FindItemByPosition(0)->GetId(), 3584);
  FillMenu(menu, {});
  EXPECT_EQ(menu.GetMenuItemCount(), 0u);
}

TEST(WxMenuBuilder, BuildsAMenuBarWithMnemonicsCheckItemsAndMappedIds) {
  if (!wxReady) GTEST_SKIP() << "no display";
  const MenuModel model = {MenuItem::Submenu(
      "表示(&V)", {MenuItem::Check("(&T)ツールバー", 59392), MenuItem::Separator(),
                   MenuItem::Command("ソース表示", 801)})};
  std::unique_ptr<wxMenuBar> bar(MakeMenuBar(model, MenuCaptions::WithMnemonics,
                                             [](int id) { return id == 59392 ? 6100 : id; }));
  ASSERT_EQ(bar->GetMenuCount(), 1u);
  EXPECT_EQ(bar->GetMenuLabelText(0).utf8_str(), SjisToUtf8("表示(V)"));
  wxMenu* view = bar->GetMenu(0);
  ASSERT_EQ(view->GetMenuItemCount(), 3u);
  wxMenuItem* toolbar = view->FindItemByPosition(0);
  EXPECT_EQ(toolbar->GetId(), 6100);
  EXPECT_TRUE(toolbar->IsCheckable());
  EXPECT_EQ(toolbar->GetItemLabelText().utf8_str(), SjisToUtf8("(T)ツールバー"));
  EXPECT_TRUE(view->FindItemByPosition(1)->IsSeparator());
  EXPECT_EQ(view->FindItemByPosition(2)->GetId(), 801);
  EXPECT_FALSE(view->FindItemByPosition(2)->IsCheckable());
}

}  // namespace
}  // namespace mireva

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* display = std::getenv("DISPLAY");
  if (display && *display) {
    wxApp::SetInstance(new wxApp);
    mireva::wxReady = wxEntryStart(argc, argv);
  }
  int rc = RUN_ALL_TESTS();
  if (mireva::wxReady) wxEntryCleanup();
  return rc;
}
