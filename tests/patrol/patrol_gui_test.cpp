// A patrol in the real program under the test display: the browser view, the
// watcher tollick that the program starts, the type dialog library answered by
// script, and the recording test engine in place of the real one.
#include <gtest/gtest.h>

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/text_encoding.h"
#include "tests/support/gui_driver.h"
#include "tests/support/test_server.h"

namespace mireva::testing {
namespace {

namespace fs = std::filesystem;

const char kPngHex[] =
    "89504e470d0a1a0a0000000d4948445200000008000000080806000000c40fbe8b000000124944415478"
    "9c63382127f71f1f6618190a00534680c1d49fa6f60000000049454e44ae426082";
const char kGifHex[] =
    "47494638396101000100800000ff000000000021f90401000000002c00000000010001000002024401003b";

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::string Routes() {
  auto page = [](const std::string& title, const std::string& body) {
    return "{\"body\": \"<html><head><title>" + title + "</title></head><body>" + body +
           "</body></html>\"}";
  };
  const std::string cache = "\"headers\": {\"Cache-Control\": \"max-age=3600\"}";
  return std::string("{\"routes\": {") + "\"/start.html\": " + page("Start", "start") + "," +
         "\"/site/a/\": " + page("A", "<img src='/img/red.png'>") + "," +
         "\"/site/a/page2.html\": " + page("A2", "<img src='/img/dot.gif'>") + "," +
         "\"/top.html\": " + page("Top", "top") + "," + "\"/other/\": " + page("Other", "other") +
         "," + "\"/img/red.png\": {\"body_hex\": \"" + kPngHex +
         "\", \"content_type\": \"image/png\", " + cache + "}," +
         "\"/img/dot.gif\": {\"body_hex\": \"" + kGifHex + "\", \"content_type\": \"image/gif\", " +
         cache + "}" + "}}";
}

bool WaitFor(const std::function<bool()>& done, int ms) {
  for (int waited = 0; waited < ms; waited += 100) {
    if (done()) return true;
    timespec t{0, 100 * 1000000L};
    nanosleep(&t, nullptr);
  }
  return done();
}

class PatrolGui : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!DisplayAvailable()) GTEST_SKIP() << "no display";
    ASSERT_TRUE(server.Running());
    home = MakeTempFolder("patrol-gui");
    program = MakeTempFolder("patrol-gui-bin");
  }
  void TearDown() override {
    // The watcher outlives the program; its lock file names it.
    const std::string lock = home + "/.test/run/mireva/WebTollickApp.lock";
    if (fs::exists(lock)) {
      int pid = std::atoi(ReadFile(lock).c_str());
      if (pid > 0) ::kill(pid, SIGTERM);
    }
    RemoveFolder(home);
    RemoveFolder(program);
  }
  // The build's programs and libraries, with the recording engine in place
  // of the real one, and without the watcher when `withWatcher` is false.
  void MakeProgramFolder(bool withWatcher) {
    for (const auto& e : fs::directory_iterator(BinDir())) {
      std::string name = e.path().filename().string();
      if (name == "libDownLoad.so" || (!withWatcher && name == "tollick")) continue;
      fs::create_symlink(e.path(), program + "/" + name);
    }
    fs::create_symlink(std::string(PATROL_TEST_ENGINES) + "/engine_full/libDownLoad.so",
                       program + "/libDownLoad.so");
  }
  GuiOptions Options() {
    GuiOptions o;
    o.home = home;
    o.args = {server.Url("/start.html")};
    o.env = {{"MIREVA_PROGRAM_DIR", program},
             {"MIREVA_TEST_ENGINE_LOG", home + "/engine.log"},
             {"MIREVA_TEST_TYPE_DIALOG", "ok PNG GIF"}};
    return o;
  }
  void WriteList() {
    WriteFile(home + "/Patrol.lst",
              "start patrol;\r\nindex page;\r\n" + server.Url("/site/a/") +
                  "\r\nsub page;\r\npage2.html\r\n../../top.html\r\nindex page;\r\n" +
                  server.Url("/other/") + "\r\nend patrol;\r\n");
  }

  TestServer server{Routes()};
  std::string home, program;
};

TEST_F(PatrolGui, VisitsEveryPageWhileEngineAndWatcherFollow) {
  MakeProgramFolder(true);
  WriteList();
  GuiOptions o = Options();
  o.script = {"wait-complete 30000", "command 2250", "command 2201",
              "sleep 6000",          "log-address",  "quit"};
  GuiRun run = RunMireva(o);
  ASSERT_FALSE(run.timedOut) << run.Dump();
  EXPECT_TRUE(run.Values("message").empty()) << run.Dump();

  // Every page in order (a page loaded again after a download shows twice).
  std::vector<std::string> visits;
  for (const auto& c : run.Values("complete"))
    if (visits.empty() || visits.back() != c) visits.push_back(c);
  const std::vector<std::string> pages = {server.Url("/start.html"), server.Url("/site/a/"),
                                          server.Url("/site/a/page2.html"), server.Url("/top.html"),
                                          server.Url("/other/")};
  EXPECT_EQ(visits, pages) << run.Dump();
  EXPECT_EQ(run.Values("address").back(), server.Url("/other/"));

  // "ALoad" per page, the enabled types in table order (GIF before PNG).
  std::string want;
  for (size_t i = 1; i < pages.size(); ++i)
    want += "ALoad\t" + pages[i] + "\tgif\nALoad\t" + pages[i] + "\tpng\n";
  EXPECT_EQ(ReadFile(home + "/engine.log"), want);

  // The watcher's log: the types, then the start of the patrol in order.
  const std::string log = ReadFile(home + "/Tollick.log");
  size_t set = log.find("\tnotice\tdownload set\n");
  size_t off = log.find("\tnotice\toff\n");
  size_t brk = log.find("\tnotice\tdownload break\n");
  size_t start = log.find("\tnotice\tdownload start\n");
  ASSERT_NE(start, std::string::npos) << log;
  EXPECT_TRUE(set < off && off < brk && brk < start) << log;

  // The images the pages showed reach "Cache" from the browser's cache.
  auto collected = [&](const std::string& ext, const std::string& bytes) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(home + "/Cache", ec))
      if (e.path().extension() == ext && ReadFile(e.path().string()) == bytes) return true;
    return false;
  };
  EXPECT_TRUE(WaitFor(
      [&] { return collected(".png", FromHex(kPngHex)) && collected(".gif", FromHex(kGifHex)); },
      15000))
      << ReadFile(home + "/Tollick.log");
}

TEST_F(PatrolGui, WithoutTheWatcherNothingIsVisited) {
  MakeProgramFolder(false);
  WriteList();
  GuiOptions o = Options();
  o.script = {"wait-complete 30000", "command 2201", "sleep 1500", "quit"};
  GuiRun run = RunMireva(o);
  ASSERT_FALSE(run.timedOut) << run.Dump();
  EXPECT_TRUE(run.Has("message", SjisToUtf8("Mailslot が使用できません。"))) << run.Dump();
  EXPECT_EQ(run.Values("complete"), std::vector<std::string>{server.Url("/start.html")})
      << run.Dump();
  EXPECT_FALSE(fs::exists(home + "/engine.log"));
}

TEST_F(PatrolGui, EditorBuildsAndSavesTheList) {
  MakeProgramFolder(false);
  GuiOptions o = Options();
  o.script = {"wait-complete 30000", "command 2202", "sleep 500", "quit"};
  o.answers = {"add " + server.Url("/site/a/index.html"),
               "add page2.html",
               "add",
               "add " + server.Url("/other/x.html"),
               "select 0",
               "add ../../top.html",
               "save",
               "close"};
  GuiRun run = RunMireva(o);
  ASSERT_FALSE(run.timedOut) << run.Dump();
  EXPECT_TRUE(run.Has("dialog", "132")) << run.Dump();
  // (The other message is the program's: it found no watcher to start.)
  EXPECT_TRUE(run.Has("message", SjisToUtf8("URL address　を入力して下さい"))) << run.Dump();
  // "../../top.html" went in before the selected first item.
  EXPECT_EQ(ReadFile(home + "/Patrol.lst"),
            "start patrol;\r\nindex page;\r\nsub page;\r\n../../top.html\r\nindex page;\r\n" +
                server.Url("/site/a/") + "\r\nsub page;\r\npage2.html\r\nindex page;\r\n" +
                server.Url("/other/") + "\r\nend patrol;\r\n");
}

TEST_F(PatrolGui, ShippedCatalogueIsShownAndCancelKeepsTheList) {
  MakeProgramFolder(false);
  WriteList();
  const std::string before = ReadFile(home + "/Patrol.lst");
  GuiOptions o = Options();
  o.script = {"wait-complete 30000", "command 710", "sleep 500", "quit"};
  o.answers = {"pick 1", "add", "cancel"};
  GuiRun run = RunMireva(o);
  ASSERT_FALSE(run.timedOut) << run.Dump();
  ASSERT_FALSE(run.Values("catalogue").empty()) << run.Dump();
  const std::string names = run.Values("catalogue").front();
  EXPECT_NE(names.find("tenki.jp"), std::string::npos) << names;
  EXPECT_NE(names.find(SjisToUtf8("気象庁")), std::string::npos) << names;
  EXPECT_NE(run.Values("list").back().find("https://www.jwa.or.jp/"), std::string::npos)
      << run.Dump();
  EXPECT_EQ(ReadFile(home + "/Patrol.lst"), before);
  EXPECT_EQ(run.Values("complete").size(), 1u);
}

TEST_F(PatrolGui, CatalogueOkSavesWithStructureAndStartsThePatrol) {
  MakeProgramFolder(true);
  WriteList();
  // A catalogue of the user's own (the shipped one never replaces it).
  WriteFile(home + "/NewsTV.lst",
            "Top " + server.Url("/top.html") + "\r\nOther " + server.Url("/other/") + "\r\n");
  GuiOptions o = Options();
  o.script = {"wait-complete 30000", "command 751", "sleep 5000", "quit"};
  o.answers = {"pick 0", "add", "ok"};
  GuiRun run = RunMireva(o);
  ASSERT_FALSE(run.timedOut) << run.Dump();
  EXPECT_TRUE(run.Values("message").empty()) << run.Dump();
  // The sub-page block keeps its end: "/other/" stays an index entry.
  EXPECT_EQ(ReadFile(home + "/Patrol.lst"),
            "start patrol;\r\nindex page;\r\n" + server.Url("/site/a/") +
                "\r\nsub page;\r\npage2.html\r\n../../top.html\r\nindex page;\r\n" +
                server.Url("/other/") + "\r\n" + server.Url("/top.html") + "\r\nend patrol;\r\n");
  std::vector<std::string> visits;
  for (const auto& c : run.Values("complete"))
    if (visits.empty() || visits.back() != c) visits.push_back(c);
  EXPECT_EQ(visits,
            (std::vector<std::string>{server.Url("/start.html"), server.Url("/site/a/"),
                                      server.Url("/site/a/page2.html"), server.Url("/top.html"),
                                      server.Url("/other/"), server.Url("/top.html")}))
      << run.Dump();
}

}  // namespace
}  // namespace mireva::testing
