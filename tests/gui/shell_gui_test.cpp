// The main window for real: the program under the test display, driven by its
// command ids, against pages of the loopback test server.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/gui_driver.h"
#include "tests/support/test_server.h"

namespace mireva::testing {
namespace {

const char* kRoutes = R"({"routes": {
  "/page.html": {"body": "<html><head><meta charset=\"utf-8\"><title>\u30c6\u30b9\u30c8</title></head><body><h1>Mireva</h1><a href=\"/two.html\">two</a></body></html>"},
  "/two.html": {"body": "<html><head><title>Two</title></head><body>second page</body></html>"},
  "/three.html": {"body": "<html><head><title>Three</title></head><body>third page</body></html>"}
}})";

class ShellGui : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!DisplayAvailable()) GTEST_SKIP() << "no display";
    ASSERT_TRUE(server.Running());
  }
  TestServer server{kRoutes};
};

TEST_F(ShellGui, TitleReachesTheCaptionAndCompletionWritesTheAddress) {
  GuiOptions o;
  o.args = {server.Url("/page.html")};
  std::string shot = server.Folder() + "/main.png";
  o.script = {"wait-complete 30000", "sleep 300", "screenshot " + shot, "log-address", "quit"};
  GuiRun run = RunMireva(o);
  ASSERT_FALSE(run.timedOut) << run.Dump();
  EXPECT_EQ(run.exitCode, 0) << run.Dump();
  EXPECT_TRUE(run.Has("complete", server.Url("/page.html"))) << run.Dump();
  EXPECT_TRUE(run.Has("caption", "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88 - Mireva")) << run.Dump();
  EXPECT_EQ(run.Values("address").back(), server.Url("/page.html"));
  EXPECT_GT(std::filesystem::file_size(shot), 1000u);
  RemoveFolder(run.home);
}

TEST_F(ShellGui, EnterAndOkNavigateBackAndForwardWork) {
  GuiOptions o;
  o.args = {server.Url("/page.html")};
  o.script = {"wait-complete 30000",
              "enter-address " + server.Url("/two.html"), "wait-complete 20000",
              "address " + server.Url("/three.html"), "command 1001", "wait-complete 20000",
              "command 301", "wait-complete 20000", "log-address",
              "command 302", "wait-complete 20000", "log-address", "quit"};
  GuiRun run = RunMireva(o);
  ASSERT_FALSE(run.timedOut) << run.Dump();
  auto completes = run.Values("complete");
  ASSERT_EQ(completes.size(), 5u) << run.Dump();
  EXPECT_EQ(completes[1], server.Url("/two.html"));
  EXPECT_EQ(completes[2], server.Url("/three.html"));
  EXPECT_EQ(completes[3], server.Url("/two.html"));    // back
  EXPECT_EQ(completes[4], server.Url("/three.html"));  // forward
  EXPECT_FALSE(run.Has("timeout", "wait-complete")) << run.Dump();
  RemoveFolder(run.home);
}

TEST_F(ShellGui, PasteTextSizeAndDisabledCommands) {
  GuiOptions o;
  o.args = {server.Url("/page.html")};
  std::string pasted = server.Url("/two.html");
  o.script = {"wait-complete 30000",
              "clipboard " + pasted, "command 1002", "log-address", "log-clipboard",
              "sleep 500",
              "command 3302", "command 3302", "log-textsize",
              "state 57606", "state 3111", "state 300", "state 57600", "state 301",
              "command 57606", "quit"};
  GuiRun run = RunMireva(o);
  ASSERT_FALSE(run.timedOut) << run.Dump();
  EXPECT_EQ(run.Values("address").back(), pasted);
  EXPECT_EQ(run.Values("clipboard").back(), "");
  // Paste never navigates: the only completed page is the first.
  EXPECT_EQ(run.Values("complete").size(), 1u) << run.Dump();
  EXPECT_TRUE(run.Has("textsize", "3")) << run.Dump();
  EXPECT_TRUE(run.Has("state", "57606 disabled"));
  EXPECT_TRUE(run.Has("state", "3111 disabled"));
  EXPECT_TRUE(run.Has("state", "300 disabled"));
  EXPECT_TRUE(run.Has("state", "57600 disabled"));
  EXPECT_TRUE(run.Has("state", "301 enabled"));
  EXPECT_TRUE(run.Has("command", "57606 disabled"));
  RemoveFolder(run.home);
}

TEST_F(ShellGui, OwnPagesAndCommandLineCommands) {
  GuiOptions o;
  // --command runs once the window is up; 3000 shows the release page.
  o.args = {"--command", "3000", server.Url("/page.html")};
  o.script = {"wait-complete 30000", "sleep 500", "quit"};
  GuiRun run = RunMireva(o);
  ASSERT_FALSE(run.timedOut) << run.Dump();
  EXPECT_FALSE(run.Has("timeout", "wait-complete")) << run.Dump();
  EXPECT_TRUE(run.Has("command", "3000 done")) << run.Dump();
  bool guide = false;
  for (const auto& t : run.Values("title")) guide |= t.find("Mireva") != std::string::npos;
  EXPECT_TRUE(guide) << run.Dump();
  // The shipped data seeded the working folder and the shortcut maker ran.
  EXPECT_TRUE(std::filesystem::exists(run.home + "/home.html"));
  EXPECT_TRUE(std::filesystem::is_directory(run.home + "/DownLoad/Weather"));
  RemoveFolder(run.home);
}

TEST_F(ShellGui, EmptyCommandLineOpensTheHomePage) {
  GuiOptions o;
  o.script = {"wait-complete 30000", "log-address", "quit"};
  GuiRun run = RunMireva(o);
  ASSERT_FALSE(run.timedOut) << run.Dump();
  ASSERT_FALSE(run.Values("complete").empty()) << run.Dump();
  EXPECT_NE(run.Values("complete")[0].find("/home.html"), std::string::npos) << run.Dump();
  RemoveFolder(run.home);
}

}  // namespace
}  // namespace mireva::testing

namespace mireva::testing {
namespace {

// A patrol run from the command line, as from a timer: the program visits the
// list, the engine downloads the enabled type, and the program ends by itself.
TEST(CommandLinePatrol, RunsTheListDownloadsAndEnds) {
  if (!DisplayAvailable()) GTEST_SKIP() << "no display";
  // A 1x1 GIF.
  const char* gif = "47494638396101000100800000000000ffffff21f90401000000002c00000000010001000002024401003b";
  TestServer server(std::string(R"({"routes": {
    "/a.html": {"body": "<html><head><title>A</title></head><body><a href=\"pic.gif\">pic</a></body></html>"},
    "/b.html": {"body": "<html><head><title>B</title></head><body>b</body></html>"},
    "/pic.gif": {"content_type": "image/gif", "body_hex": ")") + gif + R"("}
  }})");
  ASSERT_TRUE(server.Running());
  std::string home = MakeTempFolder("mireva-cron");
  WriteFile(home + "/Patrol.lst", "start patrol;\r\nindex page;\r\n" + server.Url("/a.html") +
                                      "\r\nindex page;\r\n" + server.Url("/b.html") +
                                      "\r\nend patrol;\r\n");
  WriteFile(home + "/TollickApp.ini", "[TollickApp]\r\nGIF=on\r\n");
  GuiOptions o;
  o.home = home;
  o.args = {"--command", "2201", "--quit-after-patrol"};
  o.timeoutSeconds = 90;
  GuiRun run = RunMireva(o);
  ASSERT_FALSE(run.timedOut) << run.Dump();
  EXPECT_EQ(run.exitCode, 0) << run.Dump();
  EXPECT_TRUE(run.Values("message").empty()) << run.Dump();
  EXPECT_TRUE(run.Has("complete", server.Url("/a.html"))) << run.Dump();
  EXPECT_TRUE(run.Has("complete", server.Url("/b.html"))) << run.Dump();
  EXPECT_EQ(ReadFile(home + "/DownLoad/127.0.0.1/pic.gif").size(), 43u) << run.Dump();
  RemoveFolder(home);
}

}  // namespace
}  // namespace mireva::testing
