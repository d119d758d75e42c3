#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "bookmarks/favorites.h"
#include "bookmarks/sjis_text.h"
#include "platform/text_encoding.h"
#include "tests/support/test_server.h"

namespace mireva {
namespace {

namespace fs = std::filesystem;
using testing::MakeTempFolder;
using testing::RemoveFolder;
using testing::WriteFile;

class FavoritesTest : public ::testing::Test {
 protected:
  void SetUp() override { root = MakeTempFolder("mireva-favorites"); }
  void TearDown() override { RemoveFolder(root); }

  // A shortcut file at `rel` (UTF-8 relative path) pointing to `url`.
  void Shortcut(const std::string& rel, const std::string& url) {
    fs::create_directories(fs::path(root + "/" + rel).parent_path());
    WriteFile(root + "/" + rel, "[DEFAULT]\r\nBASEURL=" + url + "\r\n[InternetShortcut]\r\nURL=" + url +
                                    "\r\nIDList=\r\n");
  }
  void Folder(const std::string& rel) { fs::create_directories(root + "/" + rel); }

  std::string root;
};

std::vector<std::string> Captions(const MenuModel& menu) {
  std::vector<std::string> out;
  for (const MenuItem& i : menu) out.push_back(i.caption);
  return out;
}

TEST_F(FavoritesTest, SortsTitlesCaseInsensitively) {
  Shortcut("b.url", "http://b.example/");
  Shortcut("A.url", "http://a.example/");
  Shortcut("c.url", "http://c.example/");
  FavoritesMenu fav = BuildFavoritesMenu(root);
  ASSERT_EQ(Captions(fav.menu), (std::vector<std::string>{"A", "b", "c"}));
  // Ids follow the sorted order and each leads to its own address.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(fav.menu[static_cast<size_t>(i)].id, kFavoriteFirstId + i);
    EXPECT_EQ(fav.addresses[static_cast<size_t>(i)], fav.menu[static_cast<size_t>(i)].address);
  }
  EXPECT_EQ(fav.addresses[0], "http://a.example/");
  EXPECT_EQ(fav.addresses[2], "http://c.example/");
  EXPECT_FALSE(fav.truncated);
}

TEST_F(FavoritesTest, LeavesOutFoldersWithoutShortcutsAndShowsDeepChains) {
  Folder("Empty/x/y");
  Folder("Empty/z");
  Shortcut("Deep/L2/L3/deep.url", "http://deep.example/");
  Folder("Deep/L2/nothing");
  FavoritesMenu fav = BuildFavoritesMenu(root);
  ASSERT_EQ(fav.menu.size(), 1u);
  const MenuItem& deep = fav.menu[0];
  EXPECT_EQ(deep.kind, MenuItem::Kind::Submenu);
  EXPECT_EQ(deep.caption, "Deep");
  ASSERT_EQ(deep.children.size(), 1u);
  EXPECT_EQ(deep.children[0].caption, "L2");
  ASSERT_EQ(deep.children[0].children.size(), 1u);
  const MenuItem& l3 = deep.children[0].children[0];
  EXPECT_EQ(l3.caption, "L3");
  ASSERT_EQ(l3.children.size(), 1u);
  EXPECT_EQ(l3.children[0].caption, "deep");
  EXPECT_EQ(l3.children[0].id, kFavoriteFirstId);
  EXPECT_EQ(fav.addresses, (std::vector<std::string>{"http://deep.example/"}));
}

TEST_F(FavoritesTest, TakesOnlyLowerCaseUrlFiles) {
  Shortcut("x.URL", "http://upper.example/");
  Shortcut("y.Url", "http://mixed.example/");
  WriteFile(root + "/readme.txt", "[InternetShortcut]\nURL=http://txt.example/\n");
  WriteFile(root + "/.url", "[InternetShortcut]\nURL=http://empty-title.example/\n");
  Shortcut("ok.url", "http://ok.example/");
  FavoritesMenu fav = BuildFavoritesMenu(root);
  // ".url" alone is hidden on this system (leading dot), so only ok remains.
  EXPECT_EQ(Captions(fav.menu), (std::vector<std::string>{"ok"}));
}

TEST_F(FavoritesTest, SkipsHiddenShortcutsButWalksHiddenFolders) {
  Shortcut(".secret.url", "http://hidden.example/");
  Shortcut(".private/inside.url", "http://inside.example/");
  FavoritesMenu fav = BuildFavoritesMenu(root);
  ASSERT_EQ(fav.menu.size(), 1u);
  EXPECT_EQ(fav.menu[0].caption, ".private");
  ASSERT_EQ(fav.menu[0].children.size(), 1u);
  EXPECT_EQ(fav.menu[0].children[0].caption, "inside");
  EXPECT_EQ(fav.addresses, (std::vector<std::string>{"http://inside.example/"}));
}

TEST_F(FavoritesTest, SkipsSpecialFilesAndBrokenLinks) {
  ASSERT_EQ(mkfifo((root + "/pipe.url").c_str(), 0600), 0);
  ASSERT_EQ(symlink("/nonexistent/target.url", (root + "/broken.url").c_str()), 0);
  Shortcut("real.url", "http://real.example/");
  // Far too large for a shortcut: not read at all.
  WriteFile(root + "/huge.url", "[InternetShortcut]\nURL=http://huge.example/\n" + std::string(2 << 20, ';'));
  ASSERT_EQ(symlink((root + "/real.url").c_str(), (root + "/linked.url").c_str()), 0);
  FavoritesMenu fav = BuildFavoritesMenu(root);
  EXPECT_EQ(Captions(fav.menu), (std::vector<std::string>{"linked", "real"}));
}

TEST_F(FavoritesTest, SurvivesFolderLinkCycles) {
  Shortcut("Sub/a.url", "http://a.example/");
  ASSERT_EQ(symlink("..", (root + "/Sub/loop").c_str()), 0);
  FavoritesMenu fav = BuildFavoritesMenu(root);
  ASSERT_EQ(fav.menu.size(), 1u);
  EXPECT_EQ(fav.menu[0].caption, "Sub");
  EXPECT_EQ(fav.menu[0].children.size(), 1u);
  EXPECT_EQ(fav.addresses.size(), 1u);
}

TEST_F(FavoritesTest, NumbersInWalkOrderAndPutsPopupsFirst) {
  Shortcut("z.url", "http://z.example/");
  Shortcut("beta/b1.url", "http://b1.example/");
  Shortcut("Alpha/a2.url", "http://a2.example/");
  Shortcut("Alpha/a1.url", "http://a1.example/");
  FavoritesMenu fav = BuildFavoritesMenu(root);
  ASSERT_EQ(Captions(fav.menu), (std::vector<std::string>{"Alpha", "beta", "z"}));
  // The folder's own shortcut first, then the sub-folders' contents.
  EXPECT_EQ(fav.menu[2].id, kFavoriteFirstId);
  EXPECT_EQ(fav.menu[0].children[0].caption, "a1");
  EXPECT_EQ(fav.menu[0].children[0].id, kFavoriteFirstId + 1);
  EXPECT_EQ(fav.menu[0].children[1].id, kFavoriteFirstId + 2);
  EXPECT_EQ(fav.menu[1].children[0].id, kFavoriteFirstId + 3);
  EXPECT_EQ(fav.addresses, (std::vector<std::string>{"http://z.example/", "http://a1.example/",
                                                     "http://a2.example/", "http://b1.example/"}));
}

TEST_F(FavoritesTest, StopsAtTheLastCommandOfTheRange) {
  for (int i = 0; i < 280; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "s%03d.url", i);
    Shortcut(name, "http://s.example/" + std::to_string(i));
  }
  for (int i = 0; i < 20; ++i) Shortcut("More/m" + std::to_string(i) + ".url", "http://m.example/");
  FavoritesMenu fav = BuildFavoritesMenu(root);
  EXPECT_TRUE(fav.truncated);
  EXPECT_EQ(fav.addresses.size(), 256u);
  EXPECT_EQ(CountCommands(fav.menu), 256u);
  std::set<int> ids;
  for (const MenuItem& i : fav.menu)
    if (i.kind == MenuItem::Kind::Command) ids.insert(i.id);
  EXPECT_EQ(*ids.begin(), kFavoriteFirstId);
  EXPECT_EQ(*ids.rbegin(), kFavoriteFirstId + 255);
  // A folder whose shortcuts were all left out does not appear; the last item says so.
  EXPECT_EQ(fav.menu.front().kind, MenuItem::Kind::Command);
  EXPECT_EQ(fav.menu.back().kind, MenuItem::Kind::Notice);
  EXPECT_FALSE(fav.menu.back().enabled);
  EXPECT_EQ(fav.menu.back().caption, kFavoritesTruncatedNotice);
}

TEST_F(FavoritesTest, ReadsJapaneseNamesAndMissingAddresses) {
  Shortcut(SjisToUtf8("天気予報.url"), "http://weather.example/");
  WriteFile(root + "/noaddress.url", "[InternetShortcut]\r\nIconIndex=0\r\n");
  WriteFile(root + "/long.url", "[InternetShortcut]\nURL=http://l.example/" + std::string(600, 'a') + "\n");
  FavoritesMenu fav = BuildFavoritesMenu(root);
  ASSERT_EQ(fav.menu.size(), 3u);
  EXPECT_EQ(fav.menu[0].caption, "long");
  EXPECT_EQ(fav.addresses[0].size(), 511u);  // the 512-byte buffer of the profile read
  EXPECT_EQ(fav.menu[1].caption, "noaddress");
  EXPECT_EQ(fav.addresses[1], "");
  EXPECT_EQ(fav.menu[2].caption, "天気予報");  // Shift_JIS in the program
}

TEST_F(FavoritesTest, MissingOrEmptyFolderGivesEmptyMenu) {
  EXPECT_TRUE(BuildFavoritesMenu(root + "/none").menu.empty());
  EXPECT_TRUE(BuildFavoritesMenu(root).menu.empty());
  EXPECT_TRUE(BuildFavoritesMenu("").menu.empty());
}

TEST(FavoritesFolder, ComesFromTheEnvironmentOrTheWorkingFolder) {
  setenv("MIREVA_FAVORITES", "/some/where", 1);
  EXPECT_EQ(FavoritesFolder(), "/some/where");
  unsetenv("MIREVA_FAVORITES");
  setenv("MIREVA_HOME", "/work/home", 1);
  EXPECT_EQ(FavoritesFolder(), "/work/home/Favorites");
  unsetenv("MIREVA_HOME");
}

TEST(CompareNoCaseMb, ComparesCharactersNotBytes) {
  EXPECT_EQ(CompareNoCaseMb("abc", "ABC"), 0);
  EXPECT_LT(CompareNoCaseMb("a", "B"), 0);
  EXPECT_LT(CompareNoCaseMb("ab", "abc"), 0);
  // Lower-case folding puts "_" (0x5F) before letters, as the system's compare does.
  EXPECT_LT(CompareNoCaseMb("_x", "Ax"), 0);
  // Half-width katakana (one byte, 0xB1) is a smaller character value than
  // hiragana (0x82A0), although its byte is larger.
  EXPECT_LT(CompareNoCaseMb("\xB1", "\x82\xA0"), 0);
  // A trail byte 0x5C ("ソ" is 0x83 0x5C) is not a backslash, and a trail byte
  // that looks like a capital letter is not folded.
  EXPECT_GT(CompareNoCaseMb("ソ", "\\"), 0);
  EXPECT_NE(CompareNoCaseMb("\x83\x41", "\x83\x61"), 0);
}

}  // namespace
}  // namespace mireva
