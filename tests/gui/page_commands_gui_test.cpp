// The page commands in the real program: saving the page on show as HTML and
// as text through the page-fetch library, the source view, and the batch
// download of a page's images through the download engine.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/gui_driver.h"
#include "tests/support/test_server.h"

namespace mireva::testing {
namespace {

// A 1x1 GIF.
const char kGif[] = "47494638396101000100800000000000ffffff21f90401000000002c00000000010001000002024401003b";

std::string Routes() {
  return std::string(R"({"routes": {
    "/page.html": {"body": "<html><head><title>P</title></head><body><b>Bold</b> text<img src=\"img/a.gif\"><img src=\"/b.gif?x=1\"></body></html>"},
    "/img/a.gif": {"content_type": "image/gif", "body_hex": ")") + kGif + R"("},
    "/b.gif": {"content_type": "image/gif", "body_hex": ")" + kGif + R"("},
    "/private.html": {"auth": "ann:pw", "realm": "R", "body": "<p>inside</p>"},
    "/frames.html": {"body": "<html><head><title>F</title></head><frameset cols=\"50%,50%\"><frame src=\"menu.html\"><frame src='sub/main.html'></frameset></html>"},
    "/menu.html": {"body": "<html><body>menu</body></html>"},
    "/sub/main.html": {"body": "<html><body><img src=\"../img/a.gif\"></body></html>"}
  }})";
}

class PageCommandsGui : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!DisplayAvailable()) GTEST_SKIP() << "no display";
    ASSERT_TRUE(server.Running());
  }
  TestServer server{Routes()};
};

TEST_F(PageCommandsGui, SavesHtmlTextAndSourceOfThePageOnShow) {
  std::string out = server.Folder();
  GuiOptions o;
  o.args = {server.Url("/page.html")};
  o.env = {{"VISUAL", "true"}};
  o.script = {"wait-complete 30000",
              "command 401",                                  // text
              "address " + server.Url("/private.html"),
              "command 400",                                  // HTML behind a password
              "command 801",                                  // source into temp.html
              "quit"};
  // The source view fetches again and is asked for the password again.
  o.answers = {"file " + out + "/page.txt", "file " + out + "/private.html", "password ann pw",
               "password ann pw"};
  GuiRun run = RunMireva(o);
  ASSERT_FALSE(run.timedOut) << run.Dump();
  // Markup stripped: the title's text, then the body's.
  EXPECT_EQ(ReadFile(out + "/page.txt"), "PBold text") << run.Dump();
  EXPECT_EQ(ReadFile(out + "/private.html"), "<p>inside</p>") << run.Dump();
  EXPECT_TRUE(run.Has("password", "127.0.0.1")) << run.Dump();
  EXPECT_EQ(run.Values("message"), (std::vector<std::string>{"Hovrel complate", "Hovrel complate"}))
      << run.Dump();
  EXPECT_EQ(ReadFile(run.home + "/temp.html"), "<p>inside</p>") << run.Dump();
  RemoveFolder(run.home);
}

TEST_F(PageCommandsGui, ImagesOfThePageLandInTheSitesFolder) {
  GuiOptions o;
  o.args = {server.Url("/page.html")};
  o.script = {"wait-complete 30000", "command 2104", "quit"};
  GuiRun run = RunMireva(o);
  ASSERT_FALSE(run.timedOut) << run.Dump();
  EXPECT_TRUE(run.Values("message").empty()) << run.Dump();
  std::string site = run.home + "/DownLoad/127.0.0.1";
  EXPECT_EQ(ReadFile(site + "/a.gif").size(), 43u) << run.Dump();
  EXPECT_EQ(ReadFile(site + "/b.gif").size(), 43u) << run.Dump();
  // The page itself went to "temp.html" first, as the engine reads it there.
  EXPECT_TRUE(std::filesystem::exists(run.home + "/temp.html"));
  RemoveFolder(run.home);
}

TEST_F(PageCommandsGui, FramesetOffersItsFramesAndAnalysesTheChosenOne) {
  GuiOptions o;
  o.args = {server.Url("/frames.html")};
  o.script = {"wait-complete 30000", "command 2104", "command 2104", "quit"};
  o.answers = {"cancel", "analyse 1"};
  GuiRun run = RunMireva(o);
  ASSERT_FALSE(run.timedOut) << run.Dump();
  // Offered twice (cancelled the first time), both frames each time.
  auto frames = run.Values("frame");
  ASSERT_EQ(frames.size(), 4u) << run.Dump();
  EXPECT_NE(frames[1].find("sub/main.html"), std::string::npos) << run.Dump();
  EXPECT_EQ(ReadFile(run.home + "/DownLoad/127.0.0.1/a.gif").size(), 43u) << run.Dump();
  RemoveFolder(run.home);
}

}  // namespace
}  // namespace mireva::testing
