#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "app/app_options.h"
#include "app/cache_move.h"
#include "core/command_router.h"
#include "core/command_table.h"
#include "app/start_address.h"
#include "app/view_commands.h"
#include "tests/support/fake_view_context.h"
#include "tests/support/test_server.h"

namespace mireva {
namespace {

using testing::FakeViewContext;
using testing::MakeTempFolder;
using testing::ReadFile;
using testing::RemoveFolder;
using testing::WriteFile;

// ---- start address -------------------------------------------------------

TEST(StartAddress, FollowsTheCommandLineRule) {
  const std::string dflt = "https://portal.example.jp/";
  struct Row {
    const char* line;
    const char* expected;
  } rows[] = {
      {"", ""},
      {"http://a.example/x.html", "http://a.example/x.html"},  // no blank: whole text
      {"Default.htm http://a.example/p?q=1", "http://a.example/p?q=1"},
      {"-x http://a.example/", "http://a.example/"},
      {"-x  see http://a.example/", "http://a.example/"},       // from "http" to the end
      {"-x file:///home/u/page.html", "///home/u/page.html"},   // 5 after "file"
      {"-x somewords", "https://portal.example.jp/"},
      {"-x HTTP://A.EXAMPLE/", "https://portal.example.jp/"},   // case-sensitive
      {"-x http://a.example/file/x.html", "http://a.example/file/x.html"},  // http wins
      {"-x file", ""},                                          // nothing after "file"
  };
  for (size_t i = 0; i < std::size(rows); ++i)
    EXPECT_EQ(StartAddressFromCommandLine(rows[i].line, dflt), rows[i].expected) << "row " << i;
}

TEST(StartAddress, LongAddressesKeepTheAddressCapacity) {
  std::string longAddress = "http://a.example/" + std::string(400, 'x');
  std::string got = StartAddressFromCommandLine("Default.htm " + longAddress);
  EXPECT_EQ(got.size(), kAddressCapacity - 1);
  EXPECT_EQ(got, longAddress.substr(0, kAddressCapacity - 1));
  // A 60-byte address is never cut to a small fixed area.
  std::string medium = "http://a.example/" + std::string(43, 'y');
  EXPECT_EQ(StartAddressFromCommandLine("x " + medium), medium);
  // The default start page itself is kept whole.
  EXPECT_EQ(StartAddressFromCommandLine("x y"), kDefaultStartPage);
}

TEST(StartAddress, AddressesWithoutSchemeAreWebAddressesExistingFilesStayFiles) {
  std::string dir = MakeTempFolder();
  WriteFile(dir + "/page.html", "<p>x</p>");
  WriteFile(dir + "/my page.html", "<p>y</p>");
  const std::string dflt = "https://portal.example.jp/";
  struct Row {
    std::vector<std::string> words;
    std::string expected;
  } rows[] = {
      {{}, ""},
      {{"example.jp/x.html"}, "http://example.jp/x.html"},
      {{"127.0.0.1:8765/a.html"}, "http://127.0.0.1:8765/a.html"},
      {{"localhost:8765"}, "http://localhost:8765"},           // a port, no scheme
      {{"https://a.example/"}, "https://a.example/"},
      {{"about:blank"}, "about:blank"},
      {{"Default.htm", "http://a.example/p"}, "http://a.example/p"},
      {{"Default.htm", "example.jp/x.html"}, dflt},           // the rule keeps its default page
      {{"Default.htm", "file:///tmp/x.html"}, "///tmp/x.html"},
      {{"page.html"}, dir + "/page.html"},                    // relative to the start folder
      {{dir + "/page.html"}, dir + "/page.html"},
      {{dir + "/my page.html"}, dir + "/my page.html"},       // one word, blanks and all
      {{"my page.html"}, dir + "/my page.html"},
      {{"missing.html"}, "http://missing.html"},
  };
  for (size_t i = 0; i < std::size(rows); ++i)
    EXPECT_EQ(StartAddressFromWords(rows[i].words, dir, dflt), rows[i].expected) << "row " << i;
  // "http://" never pushes an address past the capacity.
  std::string longHost = "example.jp/" + std::string(300, 'x');
  EXPECT_EQ(StartAddressFromWords({longHost}, dir).size(), kAddressCapacity - 1);
  RemoveFolder(dir);
}

// ---- options -------------------------------------------------------------

TEST(AppOptions, TakesOwnOptionsOffTheCommandLine) {
  // --headless takes no value: the word after it stays part of the address.
  AppOptions o = ParseAppOptions({"--command", "2201", "--headless", "Default.htm", "--command",
                                  "3302", "http://a.example/", "--quit-after-patrol"});
  EXPECT_TRUE(o.error.empty());
  EXPECT_EQ(o.commands, (std::vector<int>{2201, 3302}));
  EXPECT_TRUE(o.quitAfterPatrol);
  EXPECT_TRUE(o.headless);
  EXPECT_FALSE(ParseAppOptions({"Default.htm"}).headless);
  EXPECT_EQ(o.commandLine, "Default.htm http://a.example/");
}

TEST(AppOptions, RejectsMalformedCommandsAndUnknownOptions) {
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"--command"}, {"--command", "abc"}, {"--command", "0"}, {"--command", "70000"},
           {"--command="}, {"--bogus"}, {"-x", "http://a.example/"},
           {"http://a.example/", "--bogus=1"}, {"--help=yes"}, {"--headless=1"}}) {
    AppOptions o = ParseAppOptions(args);
    EXPECT_FALSE(o.error.empty()) << args[0];
    EXPECT_EQ(o.error.find('\n'), std::string::npos) << o.error;  // one line
    EXPECT_TRUE(o.commandLine.empty()) << args[0];               // nothing is opened
  }
  EXPECT_NE(ParseAppOptions({"--bogus"}).error.find("--bogus"), std::string::npos);
  EXPECT_TRUE(ParseAppOptions({"--help"}).help);
  EXPECT_NE(AppUsage().find("--command N"), std::string::npos);
  EXPECT_NE(AppUsage().find("--headless"), std::string::npos);
}

TEST(AppOptions, ValuesAfterEqualsAndWordsAfterTheEndOfOptions) {
  AppOptions o = ParseAppOptions({"--command=2201", "--", "-x", "--help"});
  EXPECT_TRUE(o.error.empty()) << o.error;
  EXPECT_EQ(o.commands, (std::vector<int>{2201}));
  EXPECT_NE(ParseAppOptions({"--script", "s.txt"}).error.find("--script"), std::string::npos);
  EXPECT_FALSE(o.help);
  EXPECT_EQ(o.words, (std::vector<std::string>{"-x", "--help"}));
  EXPECT_EQ(o.commandLine, "-x --help");
  EXPECT_EQ(ParseAppOptions({"-"}).commandLine, "-");  // a lone dash is a word
}

// ---- cache move ----------------------------------------------------------

TEST(CacheMove, MovesMosaicsButNeverReplacesAFile) {
  std::string dir = MakeTempFolder();
  std::filesystem::create_directories(dir + "/Cache");
  std::filesystem::create_directories(dir + "/DownLoad");
  WriteFile(dir + "/Cache/mosaic1.jpg", "new1");
  WriteFile(dir + "/Cache/mosaic2.jpg", "new2");
  WriteFile(dir + "/Cache/other.jpg", "other");
  WriteFile(dir + "/Cache/mosaic3.png", "png");
  WriteFile(dir + "/DownLoad/mosaic2.jpg", "old2");
  EXPECT_EQ(MoveMosaicImages(dir), 1);
  EXPECT_EQ(ReadFile(dir + "/DownLoad/mosaic1.jpg"), "new1");
  EXPECT_EQ(ReadFile(dir + "/DownLoad/mosaic2.jpg"), "old2");
  EXPECT_TRUE(std::filesystem::exists(dir + "/Cache/mosaic2.jpg"));
  EXPECT_TRUE(std::filesystem::exists(dir + "/Cache/other.jpg"));
  EXPECT_TRUE(std::filesystem::exists(dir + "/Cache/mosaic3.png"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/Cache/mosaic1.jpg"));
  RemoveFolder(dir);
}

TEST(CacheMove, MissingFoldersAreNoError) {
  std::string dir = MakeTempFolder();
  EXPECT_EQ(MoveMosaicImages(dir), 0);
  std::filesystem::create_directories(dir + "/Cache");
  WriteFile(dir + "/Cache/mosaic1.jpg", "x");
  EXPECT_EQ(MoveMosaicImages(dir), 0);  // no DownLoad folder: stays in Cache
  EXPECT_TRUE(std::filesystem::exists(dir + "/Cache/mosaic1.jpg"));
  RemoveFolder(dir);
}

// ---- command table and routing -------------------------------------------

TEST(CommandTable, EveryMenuItemHasItsHandlerEntry) {
  std::set<int> handlerIds;
  for (const CommandInfo& c : kCommandHandlerTable) {
    EXPECT_TRUE(handlerIds.insert(c.id).second) << "duplicate " << c.id;
  }
  std::function<void(const MenuModel&)> walk = [&](const MenuModel& nodes) {
    for (const MenuItem& n : nodes) {
      if (n.kind == MenuItem::Kind::Submenu) {
        EXPECT_FALSE(n.caption.empty());
        walk(n.children);
      } else if (n.kind != MenuItem::Kind::Separator && n.id != 1501 && n.id != 1502) {
        EXPECT_TRUE(handlerIds.count(n.id)) << "menu item " << n.id << " has no entry";
        EXPECT_FALSE(n.caption.empty());
      }
    }
  };
  walk(MainMenu());
  for (const ToolButton& b : MainToolbar()) {
    if (b.id) {
      EXPECT_TRUE(handlerIds.count(b.id)) << "button " << b.id;
    }
  }
  for (const Accelerator& a : MainAccelerators())
    EXPECT_TRUE(handlerIds.count(a.id)) << "key for " << a.id;
}

TEST(CommandTable, CaptionsAreTheProgramsOwn) {
  ASSERT_EQ(MainMenu().size(), 9u);
  EXPECT_EQ(MainMenu()[0].caption, "ファィル(&F)");
  EXPECT_EQ(MainMenu()[3].caption, "お気に入り");
  EXPECT_EQ(FindMenuItem(2201)->caption, "巡回実行");
  EXPECT_EQ(FindMenuItem(2103)->caption, "リンク（内部)");
  EXPECT_EQ(FindMenuItem(712)->caption, "ひまわり　赤外");
  EXPECT_EQ(FindMenuItem(57665)->caption, "(&x)終了");
  EXPECT_EQ(FindMenuItem(59392)->kind, MenuItem::Kind::Check);
  EXPECT_EQ(FindMenuItem(9999), nullptr);
  EXPECT_EQ(MainToolbar()[11].tooltip, "Go back");
}

TEST(CommandRouter, RoutesViewFirstAndDisablesUnhandled) {
  CommandRouter r;
  std::vector<std::string> calls;
  r.Add(10, CommandTarget::Application, [&] { calls.push_back("app"); });
  r.Add(10, CommandTarget::View, [&] { calls.push_back("view"); });
  r.Add(11, CommandTarget::Frame, [&] { calls.push_back("frame"); }, [] { return false; });
  r.AddRange(100, 199, CommandTarget::View, [&](int id) { calls.push_back(std::to_string(id)); });
  EXPECT_TRUE(r.Dispatch(10));
  EXPECT_FALSE(r.Dispatch(11));      // its enable rule says no
  EXPECT_FALSE(r.Dispatch(57606));   // nobody handles it
  EXPECT_FALSE(r.IsEnabled(57606));
  EXPECT_TRUE(r.Dispatch(150));
  EXPECT_FALSE(r.Handles(200));
  EXPECT_EQ(calls, (std::vector<std::string>{"view", "150"}));
  CommandTarget t;
  ASSERT_TRUE(r.TargetOf(10, &t));
  EXPECT_EQ(t, CommandTarget::View);
}

// ---- the view's own commands -----------------------------------------------

class FakeClipboard : public Clipboard {
 public:
  std::string text;
  std::string Text() override { return text; }
  void Clear() override { text.clear(); }
};

class ViewCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OwnPages pages{"<html>guide</html>", "file:///w/", "file:///w/home.html"};
    module = MakeViewCommands(ctx, clipboard, pages);
    module->Register(router);
  }
  FakeViewContext ctx;
  FakeClipboard clipboard;
  CommandRouter router;
  std::unique_ptr<CommandModule> module;
};

TEST_F(ViewCommandsTest, PasteTakesTheAddressEmptiesTheClipboardAndDoesNotNavigate) {
  clipboard.text = "http://a.example/page.html";
  EXPECT_TRUE(router.Dispatch(1002));
  EXPECT_EQ(ctx.address, "http://a.example/page.html");
  EXPECT_EQ(clipboard.text, "");
  EXPECT_TRUE(ctx.browser.log.empty());
}

TEST_F(ViewCommandsTest, PasteWithoutTextChangesNothingAndLongTextIsCut) {
  ctx.address = "kept";
  EXPECT_TRUE(router.Dispatch(1002));
  EXPECT_EQ(ctx.address, "kept");
  // 258 ASCII bytes and a double-byte character across the 259-byte limit.
  clipboard.text = std::string(258, 'a') + "あ";
  router.Dispatch(1002);
  EXPECT_EQ(ctx.address, std::string(258, 'a'));
}

TEST_F(ViewCommandsTest, GoReadsTheFieldAsABrowserReadsTypedText) {
  ctx.address = " www.example.jp ";
  router.Dispatch(1001);
  ctx.address = "https://a.example/x y";
  router.Dispatch(1001);
  ctx.address = "localhost:8080";
  router.Dispatch(1001);
  // Words that can name no host are not sent anywhere: the user is told.
  for (const char* words : {"こんにちは 世界", "こんにちは　世界", "memo", "a b.jp"}) {
    ctx.address = words;
    router.Dispatch(1001);
  }
  EXPECT_EQ(ctx.browser.log, (std::vector<std::string>{"navigate:http://www.example.jp",
                                                       "navigate:https://a.example/x y",
                                                       "navigate:http://localhost:8080"}));
  ASSERT_EQ(ctx.ui.messages.size(), 4u);
  EXPECT_EQ(ctx.ui.messages[0].rfind("「こんにちは 世界」はアドレスではないため開けません。", 0), 0u);
}

TEST_F(ViewCommandsTest, PrintWithoutAPrinterSaysSo) {
  ctx.browser.hasPrinter = false;
  router.Dispatch(200);
  ASSERT_EQ(ctx.ui.messages.size(), 1u);
  EXPECT_NE(ctx.ui.messages[0].find("プリンタが見つからない"), std::string::npos);
}

TEST_F(ViewCommandsTest, TextSizesAreAbsolute) {
  router.Dispatch(3302);
  router.Dispatch(3302);
  EXPECT_EQ(ctx.browser.textSize, 3);
  router.Dispatch(3305);
  EXPECT_EQ(ctx.browser.textSize, 0);
  router.Dispatch(3301);
  EXPECT_EQ(ctx.browser.textSize, 4);
  router.Dispatch(3303);
  EXPECT_EQ(ctx.browser.textSize, 2);
}

TEST_F(ViewCommandsTest, NavigationPrintPagesAndOpenFile) {
  router.Dispatch(301);
  router.Dispatch(302);
  router.Dispatch(303);
  router.Dispatch(200);
  router.Dispatch(3000);
  router.Dispatch(3001);
  router.Dispatch(57601);  // cancelled: nothing
  ctx.ui.fileAnswers.push_back(std::string("/tmp/x.html"));
  router.Dispatch(57601);
  EXPECT_EQ(ctx.browser.log,
            (std::vector<std::string>{"back", "forward", "stop", "print", "own:file:///w/",
                                      "navigate:file:///w/home.html", "navigate:/tmp/x.html"}));
  EXPECT_NE(ctx.ui.log[0].find("HTML Files|*.htm;*.html"), std::string::npos);
}

TEST_F(ViewCommandsTest, EditCommandsFollowTheBrowsersState) {
  EXPECT_FALSE(router.IsEnabled(57634));  // the fake reports nothing to copy
  EXPECT_FALSE(router.Dispatch(57637));
}

TEST(ControlPanel, FailedStartShowsTheMessage) {
  FakeInteraction ui;
  CommandRouter r;
  auto m = MakeControlPanelCommands(ui);
  m->Register(r);
  // No settings tool is reachable on an empty PATH, and none is built beside
  // the program.
  std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", "/nonexistent", 1);
  EXPECT_TRUE(r.Dispatch(405));
  setenv("PATH", oldPath.c_str(), 1);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], "CPlApplet　の起動に失敗しました。");
  EXPECT_FALSE(SettingsToolsFor(404).empty());
}

TEST(StartAddress, OnlyWebAddressesGoToTheDesktopBrowser) {
  for (const char* web : {"http://a.example/", "HTTPS://a.example/x", "Http://127.0.0.1:8/"})
    EXPECT_TRUE(IsWebAddress(web)) << web;
  for (const char* other : {"file:///etc/passwd", "javascript:alert(1)", "mailto:a@b", "ftp://a/",
                            "http:/a", "", "xhttp://a/", "apt:firefox"})
    EXPECT_FALSE(IsWebAddress(other)) << other;
}

}  // namespace
}  // namespace mireva
