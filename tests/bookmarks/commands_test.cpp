#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/command_router.h"
#include "bookmarks/bookmark_commands.h"
#include "bookmarks/bookmark_menus.h"
#include "platform/text_encoding.h"
#include "tests/support/fake_view_context.h"
#include "tests/support/test_server.h"

namespace mireva {
namespace {

namespace fs = std::filesystem;
using testing::MakeTempFolder;
using testing::ReadFile;
using testing::RemoveFolder;
using testing::WriteFile;

// The shared fake view, also logging the address field next to the browser's
// calls, so the order of "field" and "navigate" can be checked.
class FakeView : public testing::FakeViewContext {
 public:
  void SetAddressField(const std::string& a) override {
    FakeViewContext::SetAddressField(a);
    browser.log.push_back("field:" + a);
  }
};

class BookmarkCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    work = MakeTempFolder("mireva-bookmark-work");
    BookmarkMenus::Hooks hooks;
    hooks.editFile = [this](const std::string& path, std::function<void(bool)> closed) {
      edited.push_back(path);
      if (editorEdit) editorEdit(path);
      closed(editorStarts);
    };
    hooks.netscapePath = [this] { return netscapeSource; };
    hooks.operaPath = [this] { return operaSource; };
    menus = std::make_unique<BookmarkMenus>(work, hooks);
    menus->onChanged = [this](BookmarkMenuKind k) { changes.push_back(k); };
    module = MakeBookmarkCommands(view, *menus);
    module->Register(router);
  }
  void TearDown() override { RemoveFolder(work); }

  std::string work;
  std::string netscapeSource, operaSource;
  bool editorStarts = true;
  std::function<void(const std::string&)> editorEdit;
  std::vector<std::string> edited;
  std::vector<BookmarkMenuKind> changes;
  FakeView view;
  std::unique_ptr<BookmarkMenus> menus;
  std::unique_ptr<CommandModule> module;
  CommandRouter router;
};

TEST_F(BookmarkCommandsTest, RoutesEachCommandToItsTarget) {
  CommandTarget t;
  ASSERT_TRUE(router.TargetOf(3101, &t));
  EXPECT_EQ(t, CommandTarget::Frame);
  ASSERT_TRUE(router.TargetOf(3312, &t));
  EXPECT_EQ(t, CommandTarget::Frame);
  for (int id : {3102, 3584, 3839, 3840, 4095, 4096, 4351}) {
    ASSERT_TRUE(router.TargetOf(id, &t)) << id;
    EXPECT_EQ(t, CommandTarget::View) << id;
  }
  EXPECT_FALSE(router.Handles(3583));
  EXPECT_FALSE(router.Handles(4352));
  EXPECT_FALSE(router.Handles(3111));  // "登録" has no handler and shows disabled
}

TEST_F(BookmarkCommandsTest, FavoriteFillsTheAddressFieldBeforeNavigating) {
  fs::create_directories(work + "/Favorites");
  WriteFile(work + "/Favorites/site.url", "[InternetShortcut]\nURL=http://127.0.0.1:1/page.html\n");
  menus->BuildFavorites(work + "/Favorites");
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0], BookmarkMenuKind::Favorites);
  ASSERT_TRUE(router.Dispatch(3584));
  EXPECT_EQ(view.browser.log, (std::vector<std::string>{"field:http://127.0.0.1:1/page.html",
                                                        "navigate:http://127.0.0.1:1/page.html"}));
  // An id beyond the list is refused.
  view.browser.log.clear();
  router.Dispatch(3585);
  router.Dispatch(3839);
  EXPECT_TRUE(view.browser.log.empty());
}

TEST_F(BookmarkCommandsTest, EditNetscapeCopiesWaitsAndReads) {
  netscapeSource = work + "/source.html";
  WriteFile(netscapeSource, "<DT><A HREF=\"http://one.example/?x\">One</A>\n<DT><A HREF=\"http://two.example/\">Two</A>\n");
  ASSERT_TRUE(router.Dispatch(3101));
  ASSERT_EQ(edited, (std::vector<std::string>{work + "/bookmark.html"}));
  EXPECT_EQ(ReadFile(work + "/bookmark.html"), ReadFile(netscapeSource));
  EXPECT_TRUE(view.ui.messages.empty());
  MenuModel menu = menus->BookmarksModel();
  ASSERT_EQ(menu.size(), 5u);
  EXPECT_EQ(menu[0].id, 3111);
  EXPECT_FALSE(menu[0].enabled);
  EXPECT_EQ(menu[1].id, 3312);
  EXPECT_EQ(menu[2].kind, MenuItem::Kind::Separator);
  EXPECT_EQ(menu[3].caption, "One");
  EXPECT_EQ(menu[4].id, 3841);
  // Bookmark entries navigate without touching the address field.
  ASSERT_TRUE(router.Dispatch(3840));
  EXPECT_EQ(view.browser.log, (std::vector<std::string>{"navigate:http://one.example/"}));
  EXPECT_EQ(view.address, "");
  router.Dispatch(3842);  // beyond the list
  EXPECT_EQ(view.Visits().size(), 1u);

  // A second edit replaces the section instead of adding a copy; what the
  // user saved in the editor is what is read.
  editorEdit = [](const std::string& path) {
    WriteFile(path, "<DT><A HREF=\"http://three.example/\">Three</A>\n");
  };
  router.Dispatch(3101);
  menu = menus->BookmarksModel();
  ASSERT_EQ(menu.size(), 4u);
  EXPECT_EQ(menu[3].caption, "Three");
  EXPECT_EQ(menus->NetscapeAddress(3840), "http://three.example/");
  EXPECT_FALSE(menus->NetscapeAddress(3841));
  EXPECT_EQ(changes.size(), 2u);
}

TEST_F(BookmarkCommandsTest, ClosingTheEditorWithoutSavingStillRereads) {
  // No source path: the copy fails, the working copy stays as the user left it.
  WriteFile(work + "/operabook.txt", "#URL\n\tNAME=Kept\n\tURL=http://kept.example/\n");
  router.Dispatch(3312);
  EXPECT_EQ(edited, (std::vector<std::string>{work + "/operabook.txt"}));
  MenuModel menu = menus->BookmarksModel();
  ASSERT_EQ(menu.size(), 4u);
  EXPECT_EQ(menu[3].caption, "Kept");
  router.Dispatch(4096);
  EXPECT_EQ(view.Visits(), (std::vector<std::string>{"http://kept.example/"}));
  router.Dispatch(3312);
  EXPECT_EQ(menus->BookmarksModel().size(), 4u);
}

TEST_F(BookmarkCommandsTest, ReportsAnEditorThatCannotStart) {
  editorStarts = false;
  WriteFile(work + "/bookmark.html", "<DT><A HREF=\"http://x/\">X</A>\n");
  router.Dispatch(3101);
  router.Dispatch(3312);
  EXPECT_EQ(view.ui.messages, (std::vector<std::string>{"netscp6 faild.", "notepad faild."}));
  EXPECT_EQ(menus->BookmarksModel().size(), 2u);  // nothing was read
  EXPECT_TRUE(changes.empty());
}

TEST_F(BookmarkCommandsTest, ReportsAMissingWorkingCopy) {
  router.Dispatch(3101);
  router.Dispatch(3312);
  EXPECT_EQ(view.ui.messages, (std::vector<std::string>{"Netscape ブックマーク　ファイル が見つかりません",
                                                        "Opera ブックマーク　ファイルが見つかりません"}));
  EXPECT_EQ(menus->BookmarksModel().size(), 2u);
}

TEST_F(BookmarkCommandsTest, BothSectionsShareTheBookmarksMenu) {
  WriteFile(work + "/bookmark.html", "<DT><A HREF=\"http://n/\">N</A>\n");
  WriteFile(work + "/operabook.txt", "#FOLDER\n\tNAME=F\n#URL\n\tNAME=O\n\tURL=http://o/\n-\n");
  router.Dispatch(3101);
  router.Dispatch(3312);
  MenuModel menu = menus->BookmarksModel();
  ASSERT_EQ(menu.size(), 6u);
  EXPECT_EQ(menu[2].kind, MenuItem::Kind::Separator);
  EXPECT_EQ(menu[3].kind, MenuItem::Kind::Submenu);
  EXPECT_EQ(menu[3].children[0].id, 4096);
  EXPECT_EQ(menu[4].kind, MenuItem::Kind::Separator);
  EXPECT_EQ(menu[5].id, 3840);
}

TEST_F(BookmarkCommandsTest, ShowsTheNetscapePath) {
  router.Dispatch(3102);  // no path: an empty address, as before
  EXPECT_EQ(view.browser.log, (std::vector<std::string>{"field:", "navigate:"}));
  view.browser.log.clear();
  netscapeSource = work + "/" + SjisToUtf8("ブック") + " marks.html";
  WriteFile(netscapeSource, "x");
  menus = std::make_unique<BookmarkMenus>(work, BookmarkMenus::Hooks{nullptr, [this] { return netscapeSource; },
                                                                     [] { return std::string(); }});
  CommandRouter r2;
  auto m2 = MakeBookmarkCommands(view, *menus);
  m2->Register(r2);
  r2.Dispatch(3102);
  std::string expected = "file://" + work + "/%E3%83%96%E3%83%83%E3%82%AF%20marks.html";
  EXPECT_EQ(view.browser.log, (std::vector<std::string>{"field:" + expected, "navigate:" + expected}));
}

}  // namespace
}  // namespace mireva
