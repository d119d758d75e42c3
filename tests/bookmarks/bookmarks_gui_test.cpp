// The favorites and bookmark menus in the real program under the test
// display: choosing an item opens its page from the loopback server.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/gui_driver.h"
#include "tests/support/test_server.h"

namespace mireva::testing {
namespace {

const char* kRoutes = R"({"routes": {
  "/start.html": {"body": "<html><head><title>Start</title></head><body>start</body></html>"},
  "/favorite.html": {"body": "<html><head><title>Favorite</title></head><body>favorite</body></html>"},
  "/netscape.html": {"body": "<html><head><title>Netscape</title></head><body>netscape</body></html>"},
  "/opera.html": {"body": "<html><head><title>Opera</title></head><body>opera</body></html>"}
}})";

class BookmarksGui : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!DisplayAvailable()) GTEST_SKIP() << "no display";
    ASSERT_TRUE(server.Running());
    home = MakeTempFolder("mireva-bookmarks-gui");
  }
  void TearDown() override {
    if (!home.empty()) RemoveFolder(home);
  }
  TestServer server{kRoutes};
  std::string home;
};

TEST_F(BookmarksGui, ChoosingAFavoriteFillsTheAddressAndOpensThePage) {
  std::filesystem::create_directories(home + "/Favorites/Sub");
  WriteFile(home + "/Favorites/Sub/zz.url", "[InternetShortcut]\r\nURL=" + server.Url("/start.html") + "\r\n");
  WriteFile(home + "/Favorites/page.url", "[InternetShortcut]\r\nURL=" + server.Url("/favorite.html") + "\r\n");
  GuiOptions o;
  o.home = home;
  o.args = {server.Url("/start.html")};
  // page.url is the top folder's own shortcut, so it has the first command.
  o.script = {"wait-complete 30000", "command 3584", "log-address", "wait-complete 20000",
              "log-address", "quit"};
  GuiRun run = RunMireva(o);
  ASSERT_FALSE(run.timedOut) << run.Dump();
  // The favorite's address is in the field when the command returns, before
  // the page has loaded (the view writes it again when the page completes).
  const std::string favorite = server.Url("/favorite.html");
  size_t field = run.log.size(), done = run.log.size(), complete = run.log.size();
  for (size_t i = 0; i < run.log.size(); ++i) {
    const auto& [kind, value] = run.log[i];
    if (kind == "address" && value == favorite && field == run.log.size()) field = i;
    if (kind == "command" && value == "3584 done") done = i;
    if (kind == "complete" && value == favorite) complete = i;
  }
  EXPECT_LT(field, done) << run.Dump();
  EXPECT_LT(done, complete) << run.Dump();
  EXPECT_LT(complete, run.log.size()) << run.Dump();
  bool served = false;
  for (const LoggedRequest& r : server.Requests()) served |= r.path == "/favorite.html";
  EXPECT_TRUE(served);
}

TEST_F(BookmarksGui, EditedBookmarkFilesBecomeMenuCommands) {
  std::string netscape = home + "/exported.html";
  WriteFile(netscape, "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
                      "<DL><p>\n<DT><A HREF=\"" + server.Url("/netscape.html") + "?drop=1\">\xE6\x97\xA5\xE6\x9C\xAC</A>\n</DL>\n");
  std::string hotlist = home + "/hot.adr";
  WriteFile(hotlist, "Opera Hotlist version 2.0\nOptions: encoding = utf8, version=3\n\n#URL\n\tID=1\n\tNAME=Opera\n\tURL=" +
                         server.Url("/opera.html") + "\n\n");
  GuiOptions o;
  o.home = home;
  o.args = {server.Url("/start.html")};
  // The "editor" ends at once, as when the user closes it without saving.
  o.env = {{"VISUAL", "true"}, {"MIREVA_NETSCAPE_BOOKMARKS", netscape}, {"MIREVA_OPERA_HOTLIST", hotlist}};
  o.script = {"wait-complete 30000", "command 3101", "command 3312",
              "command 3840", "wait-complete 20000",
              "command 4096", "wait-complete 20000", "quit"};
  GuiRun run = RunMireva(o);
  ASSERT_FALSE(run.timedOut) << run.Dump();
  EXPECT_TRUE(run.Values("message").empty()) << run.Dump();
  auto completes = run.Values("complete");
  ASSERT_EQ(completes.size(), 3u) << run.Dump();
  EXPECT_EQ(completes[1], server.Url("/netscape.html"));
  EXPECT_EQ(completes[2], server.Url("/opera.html"));
  EXPECT_TRUE(std::filesystem::exists(home + "/bookmark.html"));
  EXPECT_TRUE(std::filesystem::exists(home + "/operabook.txt"));
}

}  // namespace
}  // namespace mireva::testing
