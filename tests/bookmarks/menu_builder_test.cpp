// The wx menu made from a model: captions shown literally, ids and enabled
// states as in the model, and a refill replacing the old items. Needs a
// display (GTK); skips without one.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/menu.h>

#include <cstdlib>

#include "bookmarks/wx_menu_builder.h"
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
