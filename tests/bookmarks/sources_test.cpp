#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>

#include "bookmarks/bookmark_sources.h"
#include "bookmarks/bookmark_tree.h"
#include "bookmarks/chromium_bookmarks.h"
#include "bookmarks/firefox_places.h"
#include "bookmarks/netscape_bookmarks.h"
#include "bookmarks/opera_hotlist.h"
#include "platform/text_encoding.h"
#include "tests/support/test_server.h"

namespace mireva {
namespace {

namespace fs = std::filesystem;
using testing::MakeTempFolder;
using testing::ReadFile;
using testing::RemoveFolder;
using testing::SourceDir;
using testing::WriteFile;

std::string Fixture(const std::string& name) {
  return ReadFile(SourceDir() + "/tests/data/bookmarks/" + name);
}

void Exec(sqlite3* db, const std::string& sql) {
  char* err = nullptr;
  ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
}

// A places database with Firefox's tables and roots. Titles are UTF-8.
sqlite3* MakePlaces(const std::string& path, bool wal) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  if (wal) {
    Exec(db, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
  }
  Exec(db,
       "CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR,"
       " rev_host LONGVARCHAR, visit_count INTEGER DEFAULT 0, guid TEXT);"
       "CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL,"
       " parent INTEGER, position INTEGER, title LONGVARCHAR, keyword_id INTEGER,"
       " folder_type TEXT, dateAdded INTEGER, lastModified INTEGER, guid TEXT UNIQUE,"
       " syncStatus INTEGER NOT NULL DEFAULT 0, syncChangeCounter INTEGER NOT NULL DEFAULT 1);"
       "INSERT INTO moz_bookmarks (id,type,parent,position,title,guid) VALUES"
       " (1,2,0,0,'','root________'),(2,2,1,0,'menu','menu________'),"
       " (3,2,1,1,'toolbar','toolbar_____'),(4,2,1,2,'tags','tags________'),"
       " (5,2,1,3,'unfiled','unfiled_____'),(6,2,1,4,'mobile','mobile______');");
  return db;
}

void AddBookmarks(sqlite3* db) {
  std::string nihon = SjisToUtf8("日本語のページ");
  std::string folder = SjisToUtf8("趣味");
  Exec(db,
       "INSERT INTO moz_places (id,url,title) VALUES"
       " (1,'https://www.example.jp/','x'),(2,'https://second.example/?q=1','x'),"
       " (3,'place:sort=8&maxResults=10','x'),(4,'https://tagged.example/','x'),"
       " (5,'https://toolbar.example/','x');"
       "INSERT INTO moz_bookmarks (id,type,fk,parent,position,title,guid) VALUES"
       " (10,1,1,2,1,'" + nihon + "','b1'),"
       " (11,3,NULL,2,2,NULL,'sep'),"
       " (12,2,NULL,2,3,'" + folder + "','f1'),"
       " (13,1,2,12,0,'Second & more','b2'),"
       " (14,1,3,2,4,'Most visited','q1'),"
       " (15,2,NULL,4,0,'tagname','t1'),(16,1,4,15,0,NULL,'t2'),"
       " (17,1,5,3,0,'Toolbar','b3'),"
       " (9,1,1,2,0,'First','b0');");
}

TEST(FirefoxPlaces, ReadsBookmarksInMenuOrder) {
  std::string dir = MakeTempFolder("mireva-places");
  sqlite3* db = MakePlaces(dir + "/places.sqlite", false);
  AddBookmarks(db);
  sqlite3_close(db);
  auto tree = ReadFirefoxPlaces(dir + "/places.sqlite");
  ASSERT_TRUE(tree);
  // Menu and toolbar roots; tags, the place: query and the separator are left out.
  ASSERT_EQ(tree->size(), 2u);
  const BookmarkNode& menu = (*tree)[0];
  EXPECT_EQ(menu.title, SjisToUtf8("ブックマークメニュー"));
  ASSERT_EQ(menu.children.size(), 3u);
  EXPECT_EQ(menu.children[0].title, "First");
  EXPECT_EQ(menu.children[1].title, SjisToUtf8("日本語のページ"));
  EXPECT_TRUE(menu.children[2].folder);
  EXPECT_EQ(menu.children[2].children[0].url, "https://second.example/?q=1");
  EXPECT_EQ((*tree)[1].children[0].title, "Toolbar");
  // The profile's database is left as it was.
  EXPECT_FALSE(fs::exists(dir + "/places.sqlite-wal"));
  RemoveFolder(dir);
}

TEST(FirefoxPlaces, SeesChangesStillInTheWriteAheadLog) {
  std::string dir = MakeTempFolder("mireva-places");
  sqlite3* db = MakePlaces(dir + "/places.sqlite", true);
  AddBookmarks(db);
  // The writer stays open, as a running Firefox does: the rows live in the -wal file.
  ASSERT_TRUE(fs::exists(dir + "/places.sqlite-wal"));
  auto tree = ReadFirefoxPlaces(dir + "/places.sqlite");
  sqlite3_close(db);
  ASSERT_TRUE(tree);
  EXPECT_EQ(CountBookmarks(*tree), 4u);
  RemoveFolder(dir);
}

TEST(FirefoxPlaces, ACraftedDatabaseCannotMultiplyOrLoopTheFolders) {
  // Without a primary key a folder can be listed twice under its parent at
  // every level (doubling at each of 20 levels) or sit under itself.
  std::string dir = MakeTempFolder("mireva-places");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dir + "/places.sqlite").c_str(), &db), SQLITE_OK);
  std::string sql =
      "BEGIN; CREATE TABLE moz_places (id INTEGER, url TEXT);"
      "CREATE TABLE moz_bookmarks (id INTEGER, type INTEGER, fk INTEGER, parent INTEGER,"
      " position INTEGER, title TEXT, guid TEXT);"
      "INSERT INTO moz_places VALUES (1,'https://deep.example/'),(2,'https://loop.example/');"
      "INSERT INTO moz_bookmarks VALUES (1,2,NULL,0,0,'','root________'),"
      " (2,2,NULL,1,0,'menu','menu________'),"
      " (30,2,NULL,2,1,'self',''),(30,2,NULL,30,0,'self',''),(31,1,2,30,1,'loop','');";
  for (int level = 0; level < 20; ++level)
    for (int twice = 0; twice < 2; ++twice)
      sql += "INSERT INTO moz_bookmarks VALUES (" + std::to_string(100 + level) + ",2,NULL," +
             std::to_string(level == 0 ? 2 : 99 + level) + ",0,'f','');";
  sql += "INSERT INTO moz_bookmarks VALUES (200,1,1,119,0,'deep',''); COMMIT;";
  Exec(db, sql);
  sqlite3_close(db);
  auto tree = ReadFirefoxPlaces(dir + "/places.sqlite");
  ASSERT_TRUE(tree);
  EXPECT_EQ(CountBookmarks(*tree), 2u);  // each folder once: "deep" and "loop"
  RemoveFolder(dir);
}

TEST(FirefoxPlaces, RefusesWhatIsNotAPlacesDatabase) {
  std::string dir = MakeTempFolder("mireva-places");
  WriteFile(dir + "/places.sqlite", "not a database at all");
  EXPECT_FALSE(ReadFirefoxPlaces(dir + "/places.sqlite"));
  EXPECT_FALSE(ReadFirefoxPlaces(dir + "/missing.sqlite"));
  sqlite3* db = nullptr;
  sqlite3_open((dir + "/other.sqlite").c_str(), &db);
  Exec(db, "CREATE TABLE t (x);");
  sqlite3_close(db);
  EXPECT_FALSE(ReadFirefoxPlaces(dir + "/other.sqlite"));
  RemoveFolder(dir);
}

TEST(ChromiumBookmarks, ReadsTheJsonFile) {
  auto tree = ParseChromiumBookmarks(Fixture("chromium_Bookmarks.json"));
  ASSERT_TRUE(tree);
  ASSERT_EQ(tree->size(), 2u);  // the empty "other" root is left out
  const BookmarkNode& bar = (*tree)[0];
  EXPECT_EQ(bar.title, SjisToUtf8("ブックマーク バー"));
  EXPECT_EQ(bar.children[0].title, SjisToUtf8("天気予報 & ニュース"));
  ASSERT_TRUE(bar.children[1].folder);
  EXPECT_EQ(bar.children[1].children[0].title,
            SjisToUtf8("日本語で") + " \"quoted\" \xF0\x9F\x98\x80");
  EXPECT_EQ((*tree)[1].children[0].url, "https://m.example.jp/");
}

TEST(ChromiumBookmarks, RefusesBrokenJson) {
  EXPECT_FALSE(ParseChromiumBookmarks(""));
  EXPECT_FALSE(ParseChromiumBookmarks("{\"roots\": {"));
  EXPECT_FALSE(ParseChromiumBookmarks("[1,2]"));
  EXPECT_FALSE(ParseChromiumBookmarks("{\"roots\": {}} trailing"));
  EXPECT_FALSE(ParseChromiumBookmarks("{\"roots\": \"\\u12\"}"));
  EXPECT_FALSE(ParseChromiumBookmarks(std::string(100000, '[')));  // nesting bound, no stack overflow
  auto empty = ParseChromiumBookmarks("{\"roots\": {\"bookmark_bar\": {\"children\": [], \"type\": \"folder\"}}}");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());
}

TEST(BookmarkTree, WrittenFilesReadBackThroughTheMenuReaders) {
  std::vector<BookmarkNode> roots{
      {true, SjisToUtf8("フォルダ"), {}, {{false, SjisToUtf8("日本 <&> \"x\""), "https://a.example/p?q=1&r=2", {}},
                                          {false, "line\nbreak", "https://b.example/", {}}}},
      {false, "Top", "https://top.example/", {}}};
  NetscapeBookmarks n = ParseNetscapeBookmarks(WriteNetscapeHtml(roots));
  ASSERT_EQ(n.entries.size(), 3u);
  EXPECT_EQ(n.entries[0].title, "日本 <&> \"x\"");
  EXPECT_EQ(n.entries[0].address, "https://a.example/p");
  EXPECT_EQ(n.entries[1].title, "line break");
  OperaHotlist o = ParseOperaHotlist(WriteOperaHotlist(roots));
  ASSERT_EQ(o.items.size(), 2u);
  EXPECT_EQ(o.items[0].caption, "フォルダ");
  EXPECT_EQ(o.items[0].children[0].caption, "日本 <&> \"x\"");
  EXPECT_EQ(o.addresses[0], "https://a.example/p?q=1&r=2");
  EXPECT_EQ(o.items[1].caption, "Top");
}

class BookmarkSourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base = MakeTempFolder("mireva-sources");
    f.home = base + "/home";
    f.configHome = f.home + "/.config";
    f.workingFolder = base + "/work";
    fs::create_directories(f.home);
    fs::create_directories(f.workingFolder);
    unsetenv("MIREVA_NETSCAPE_BOOKMARKS");
    unsetenv("MIREVA_OPERA_HOTLIST");
  }
  void TearDown() override {
    unsetenv("MIREVA_NETSCAPE_BOOKMARKS");
    unsetenv("MIREVA_OPERA_HOTLIST");
    RemoveFolder(base);
  }
  void Put(const std::string& path, const std::string& data, int ageSeconds = 0) {
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, data);
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(ageSeconds));
  }
  std::string base;
  BookmarkSourceFolders f;
};

TEST_F(BookmarkSourcesTest, NothingFoundGivesEmptyPaths) {
  EXPECT_EQ(FindNetscapeBookmarks(f), "");
  EXPECT_EQ(FindOperaHotlist(f), "");
}

TEST_F(BookmarkSourcesTest, TakesTheNewestExport) {
  Put(f.home + "/bookmarks.html", "old", 3600);
  Put(f.home + "/Downloads/bookmarks_6_1_24.html", "newest", 10);
  Put(f.home + "/Downloads/bookmarks-2024-01-01.html", "older", 100);
  Put(f.home + "/Downloads/notbookmarks.html", "no", 0);
  EXPECT_EQ(FindNetscapeBookmarks(f), f.home + "/Downloads/bookmarks_6_1_24.html");
  // The desktop's own download folder, named in user-dirs.dirs.
  std::string dl = f.home + "/" + SjisToUtf8("ダウンロード");
  Put(f.configHome + "/user-dirs.dirs", "# comment\nXDG_DOWNLOAD_DIR=\"$HOME/" + SjisToUtf8("ダウンロード") + "\"\n");
  Put(dl + "/bookmarks.html", "newer still", 1);
  EXPECT_EQ(FindNetscapeBookmarks(f), dl + "/bookmarks.html");
}

TEST_F(BookmarkSourcesTest, UserSettingsComeFirst) {
  Put(f.home + "/bookmarks.html", "export");
  std::string mine = f.home + "/" + SjisToUtf8("私の") + "bookmarks.htm";
  Put(mine, "mine");
  // bookmarks.ini holds Shift_JIS text.
  Put(f.workingFolder + "/bookmarks.ini",
      "[Bookmarks]\r\nNetscape=" + Utf8ToSjis(mine) + "\r\nOpera=" + f.home + "/hot.adr\r\n");
  Put(f.home + "/hot.adr", "Opera Hotlist version 2.0\n");
  EXPECT_EQ(FindNetscapeBookmarks(f), mine);
  EXPECT_EQ(FindOperaHotlist(f), f.home + "/hot.adr");
  Put(base + "/env.html", "env");
  setenv("MIREVA_NETSCAPE_BOOKMARKS", (base + "/env.html").c_str(), 1);
  EXPECT_EQ(FindNetscapeBookmarks(f), base + "/env.html");
  // A setting that names no file is passed over.
  setenv("MIREVA_NETSCAPE_BOOKMARKS", (base + "/missing.html").c_str(), 1);
  EXPECT_EQ(FindNetscapeBookmarks(f), mine);
}

TEST_F(BookmarkSourcesTest, WritesFirefoxBookmarksWhenThereIsNoExport) {
  std::string profile = f.home + "/.mozilla/firefox/abcd1234.default-release";
  fs::create_directories(profile);
  sqlite3* db = MakePlaces(profile + "/places.sqlite", false);
  AddBookmarks(db);
  sqlite3_close(db);
  std::string path = FindNetscapeBookmarks(f);
  EXPECT_EQ(path, f.workingFolder + "/FirefoxBookmarks.html");
  NetscapeBookmarks b = ParseNetscapeBookmarks(ReadFile(path));
  ASSERT_EQ(b.entries.size(), 4u);
  EXPECT_EQ(b.entries[1].title, "日本語のページ");
  EXPECT_EQ(b.entries[2].title, "Second & more");
}

TEST_F(BookmarkSourcesTest, WritesChromiumBookmarksWhenThereIsNoFirefox) {
  Put(f.configHome + "/chromium/Default/Bookmarks", Fixture("chromium_Bookmarks.json"));
  // A second instance writing the same file at this moment holds a temporary
  // of its own; it never shares one with this one.
  fs::create_directories(f.workingFolder + "/ChromiumBookmarks.html.tmp");
  std::string path = FindNetscapeBookmarks(f);
  EXPECT_EQ(path, f.workingFolder + "/ChromiumBookmarks.html");
  NetscapeBookmarks b = ParseNetscapeBookmarks(ReadFile(path));
  ASSERT_EQ(b.entries.size(), 3u);
  EXPECT_EQ(b.entries[0].title, "天気予報 & ニュース");
  EXPECT_EQ(b.entries[1].title, "日本語で \"quoted\" ?");  // the emoji has no Shift_JIS form
}

TEST_F(BookmarkSourcesTest, SavedSettingsNameAProfileBeforeAnyExport) {
  Put(f.home + "/bookmarks.html", "export");
  BookmarkSettings found = ReadBookmarkSettings(f);
  EXPECT_FALSE(found.chosen);
  EXPECT_EQ(found.netscapeFile, f.home + "/bookmarks.html");
  // The user picks a Chromium profile elsewhere, and no Netscape file.
  std::string profile = base + "/" + SjisToUtf8("別の") + "Profile 1";
  Put(profile + "/Bookmarks", Fixture("chromium_Bookmarks.json"));
  BookmarkSettings chosen;
  chosen.chromiumProfile = profile;
  chosen.operaHotlist = f.home + "/hot.adr";
  ASSERT_TRUE(WriteBookmarkSettings(f, chosen));
  BookmarkSettings read = ReadBookmarkSettings(f);
  EXPECT_TRUE(read.chosen);
  EXPECT_EQ(read.netscapeFile, "");
  EXPECT_EQ(read.chromiumProfile, profile);
  EXPECT_EQ(read.operaHotlist, f.home + "/hot.adr");
  EXPECT_EQ(FindNetscapeBookmarks(f), f.workingFolder + "/ChromiumBookmarks.html");
}

TEST_F(BookmarkSourcesTest, FindsOperaHotlists) {
  Put(f.configHome + "/opera/Bookmarks", Fixture("chromium_Bookmarks.json"));
  std::string written = FindOperaHotlist(f);
  EXPECT_EQ(written, f.workingFolder + "/OperaHotlist.adr");
  OperaHotlist h = ParseOperaHotlist(ReadFile(written));
  EXPECT_EQ(h.addresses.size(), 3u);
  Put(f.home + "/.opera/opera6.adr", "old", 100);
  Put(f.home + "/.opera/bookmarks.adr", "new", 1);
  EXPECT_EQ(FindOperaHotlist(f), f.home + "/.opera/bookmarks.adr");
}

}  // namespace
}  // namespace mireva
