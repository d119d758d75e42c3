// The results page, the results dialog's logic and the launch of a link.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "searchresults/browser_launch.h"
#include "searchresults/engine_table.h"
#include "searchresults/result_list_model.h"
#include "searchresults/result_page_parser.h"
#include "searchresults/results_page.h"
#include "tests/support/test_server.h"

namespace mireva {
namespace {

const std::string kHeader = "<HTML><HEAD><TITLE>検索結果</TITLE></HEAD><BODY>\r\n";
const std::string kFooter = "</BODY></HTML>";

EngineResults TwoResults() {
  EngineResults r;
  r.count = 2;
  r.hits = 1234;
  r.entries[0] = {"http://a.example/1", " 一つ目"};
  r.entries[1] = {"http://b.example/2", " 二つ目"};
  return r;
}

// Runs a test in a fresh current folder, where the results pages land.
class InTempFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = std::filesystem::current_path();
    folder_ = testing::MakeTempFolder("quandex-test");
    std::filesystem::current_path(folder_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    testing::RemoveFolder(folder_);
  }
  std::filesystem::path old_;
  std::string folder_;
};

TEST(ResultsPage, IsWrittenByteForByte) {
  EXPECT_EQ(BuildResultsPage(EngineResults{}), kHeader + kFooter);
  EXPECT_EQ(BuildResultsPage(TwoResults()),
            kHeader +
                "<a href=\"http://a.example/1\">http://a.example/1</a> 一つ目<BR>\r\n"
                "<a href=\"http://b.example/2\">http://b.example/2</a> 二つ目<BR>\r\n" +
                kFooter);
}

TEST(ResultsPage, StopsAppendingPast15360BytesAndAlwaysCloses) {
  EngineResults r;
  r.count = kMaxResults;
  for (int i = 0; i < kMaxResults; ++i) {
    std::string url = "http://long.example/" + std::string(100, 'a' + (i % 26));
    r.entries[static_cast<size_t>(i)] = {url.substr(0, kMaxUrlBytes), " " + std::string(510, 'd')};
  }
  std::string page = BuildResultsPage(r);
  EXPECT_LT(page.size(), kResultsPageBufferBytes);
  ASSERT_GE(page.size(), kFooter.size());
  EXPECT_EQ(page.substr(page.size() - kFooter.size()), kFooter);
  // The last piece took the text past 15,360 bytes; the one before had not.
  std::string body = page.substr(0, page.size() - kFooter.size());
  EXPECT_GT(body.size(), kResultsPageStopBytes);
  size_t lastPiece = body.rfind("<a href=");
  EXPECT_LE(lastPiece, kResultsPageStopBytes);
  size_t pieces = 0;
  for (size_t p = body.find("<BR>\r\n"); p != std::string::npos; p = body.find("<BR>\r\n", p + 1))
    ++pieces;
  EXPECT_LT(pieces, static_cast<size_t>(kMaxResults));
}

TEST(ResultsPage, FileNamesFollowTheEngineIndex) {
  const char* names[] = {"yahoo.html", "goo.html", "excite.html", "infoseek.html",
                         "InfoNavigater.html", "LYCOS.html", "NETPLAZA.html", "CSJ.html",
                         "Fresheye.html", "nifty.html", "Dragon.html", "JOY.html",
                         "DOKODA.html", "WEBGATE.html"};
  for (int i = 0; i <= 13; ++i) EXPECT_EQ(ResultsFileName(i), names[i]) << i;
  EXPECT_EQ(ResultsFileName(21), "Mixed.html");
  EXPECT_EQ(ResultsFileName(16), "Google.html");
  EXPECT_EQ(ResultsFileName(14), "");
  EXPECT_EQ(ResultsFileName(-3), "");
}

TEST_F(InTempFolder, SaveReplacesAnEarlierFileWhole) {
  EngineResultStore store;
  store.slots[1] = TwoResults();
  ResultListModel model(store, 1);
  model.Refresh(1);
  testing::WriteFile("goo.html", std::string(50000, 'o'));
  EXPECT_EQ(model.SaveResultsPage(), SaveOutcome::Written);
  EXPECT_EQ(testing::ReadFile("goo.html"), BuildResultsPage(TwoResults()));

  // A second save of another list replaces the page; no temporary is left.
  store.slots[1] = EngineResults{};
  model.ShowEngine(1);
  EXPECT_EQ(model.SaveResultsPage(), SaveOutcome::Written);
  EXPECT_EQ(testing::ReadFile("goo.html"), kHeader + kFooter);
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1u);
}

TEST_F(InTempFolder, SaveIsNamedAfterTheEngineOnShow) {
  EngineResultStore store;
  store.slots[0] = TwoResults();
  ResultListModel model(store, 1);  // the dialog was made for goo
  model.Refresh(1);
  model.ShowEngine(0);
  EXPECT_EQ(model.SaveResultsPage(), SaveOutcome::Written);
  EXPECT_EQ(testing::ReadFile("yahoo.html"), BuildResultsPage(TwoResults()));
  EXPECT_FALSE(std::filesystem::exists("goo.html"));

  model.ShowEngine(15);  // no engine, no name: nothing is written
  EXPECT_EQ(model.SaveResultsPage(), SaveOutcome::NoFileName);
}

TEST_F(InTempFolder, SaveThatCannotWriteReportsFailure) {
  std::filesystem::create_directory("goo.html");  // a folder stands where the file goes
  EngineResultStore store;
  ResultListModel model(store, 1);
  model.Refresh(1);
  EXPECT_EQ(model.SaveResultsPage(), SaveOutcome::Failed);
}

TEST(ResultListModel, EmptyListShowsTheNoDataTextAndABlankCount) {
  EngineResultStore store;
  ResultListModel model(store, 3);
  model.Refresh(3);
  EXPECT_EQ(model.ShownCount(), 0);
  EXPECT_EQ(model.Description(), "一致するデータがありませんでした。");
  EXPECT_EQ(model.HitText(), " ");
  EXPECT_TRUE(model.Marked(3));
}

TEST(ResultListModel, SecondEngineSwitchesTheListAndKeepsEarlierMarks) {
  EngineResultStore store;
  store.slots[0] = TwoResults();
  ResultListModel model(store, 0);
  model.Refresh(0);
  EXPECT_EQ(model.HitText(), "1234 件");
  EXPECT_EQ(model.Description(), " 一つ目");  // the leading space stays
  EXPECT_EQ(model.HomeAddressText(), "http://www.yahoo.co.jp/");

  EngineResults goo;
  goo.count = 1;
  goo.entries[0] = {"http://goo.example/x", " ぐー"};
  store.slots[1] = goo;
  model.Refresh(1);
  EXPECT_EQ(model.EngineOnShow(), 1);
  EXPECT_EQ(model.OnShow().entries[0].url, "http://goo.example/x");
  EXPECT_EQ(model.HitText(), " ");
  EXPECT_TRUE(model.Marked(0));
  EXPECT_TRUE(model.Marked(1));
  EXPECT_FALSE(model.Marked(2));
  EXPECT_EQ(model.LogoEngine(), 1);

  // Google has no home page: logo and address stay goo's.
  const int google = EngineIndex(EngineId::Google);
  store.slots[google] = TwoResults();
  model.ShowEngine(google);
  EXPECT_EQ(model.ShownCount(), 2);
  EXPECT_EQ(model.LogoEngine(), 1);
  EXPECT_EQ(model.HomeAddressText(), "http://www.goo.ne.jp/");
  EXPECT_FALSE(model.Marked(google));

  // Back to yahoo: its list is still there.
  model.ShowEngine(0);
  EXPECT_EQ(model.ShownCount(), 2);
  EXPECT_EQ(model.HomeAddressText(), "http://www.yahoo.co.jp/");
}

class RecordingLauncher : public Launcher {
 public:
  std::vector<std::string> desktop;
  std::vector<std::vector<std::string>> started;
  bool OpenWithDesktop(const std::string& target) override {
    desktop.push_back(target);
    return true;
  }
  bool Start(const std::vector<std::string>& argv) override {
    started.push_back(argv);
    return true;
  }
};

TEST(ResultListModel, GoOpensTheSelectionInTheChosenBrowser) {
  EngineResultStore store;
  store.slots[0] = TwoResults();
  ResultListModel model(store, 0);
  model.Refresh(0);
  RecordingLauncher launcher;

  // Right after filling, GO opens the first entry with the desktop handler.
  EXPECT_TRUE(model.OpenSelected(launcher, "/opt/mireva"));
  EXPECT_EQ(launcher.desktop, std::vector<std::string>{"http://a.example/1"});

  model.Select(1);
  EXPECT_EQ(model.Description(), " 二つ目");
  model.SetBrowserChoice(BrowserChoice::Original);
  EXPECT_TRUE(model.OpenSelected(launcher, "/opt/mireva"));
  ASSERT_EQ(launcher.started.size(), 1u);
  EXPECT_EQ(launcher.started[0],
            (std::vector<std::string>{"/opt/mireva/mireva", "Default.htm", "http://b.example/2"}));

  EXPECT_TRUE(model.SetUserBrowser("\"/opt/my browser/web \""));
  EXPECT_EQ(model.Choice(), BrowserChoice::User);
  EXPECT_TRUE(model.OpenSelected(launcher, "/opt/mireva"));
  EXPECT_EQ(launcher.started[1],
            (std::vector<std::string>{"/opt/my browser/web", "http://b.example/2"}));

  // Too long a browser line is refused and the choice stays.
  model.SetBrowserChoice(BrowserChoice::Original);
  EXPECT_FALSE(model.SetUserBrowser("/" + std::string(127, 'p')));
  EXPECT_TRUE(model.SetUserBrowser("/" + std::string(126, 'p')));
  model.SetBrowserChoice(BrowserChoice::Original);
  EXPECT_FALSE(model.SetUserBrowser("/" + std::string(200, 'p')));
  EXPECT_EQ(model.Choice(), BrowserChoice::Original);

  // The logo opens the home page with the desktop handler, whatever the choice.
  EXPECT_TRUE(model.OpenHome(launcher));
  EXPECT_EQ(launcher.desktop.back(), "http://www.yahoo.co.jp/");
}

TEST(ResultListModel, GoWithAnEmptyListOpensNothing) {
  EngineResultStore store;
  ResultListModel model(store, 16);
  model.Refresh(16);
  RecordingLauncher launcher;
  EXPECT_FALSE(model.OpenSelected(launcher, "/x"));
  EXPECT_FALSE(model.OpenHome(launcher));  // no engine with a home page shown yet
  EXPECT_TRUE(launcher.desktop.empty());
  EXPECT_TRUE(launcher.started.empty());
}

TEST(BrowserLaunch, ProgramLinesSplitIntoWords) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitProgramLine("\"/usr/bin/web browser \""), V{"/usr/bin/web browser"});
  EXPECT_EQ(SplitProgramLine("firefox --new-window"), (V{"firefox", "--new-window"}));
  EXPECT_EQ(SplitProgramLine("  \" /a b \"  -x "), (V{"/a b", "-x"}));
  EXPECT_EQ(SplitProgramLine("   "), V{});
}

// The address reaches the program as one argument, whatever it holds: no
// shell ever sees it.
TEST(BrowserLaunch, AddressReachesTheUsersProgramWhole) {
  std::string folder = testing::MakeTempFolder("quandex-launch");
  std::string script = folder + "/record args";
  std::string out = folder + "/args.txt";
  testing::WriteFile(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                                 out + ".part\"\nmv \"" + out + ".part\" \"" + out + "\"\n");
  ::chmod(script.c_str(), 0755);
  const std::string url = "http://x.example/a;touch$IFS" + folder + "/pwned|`id`&$(id)'\"";
  ProcessLauncher launcher;
  ASSERT_TRUE(LaunchLink(launcher, BrowserChoice::User, "\"" + script + " \" --flag", folder, url));
  for (int i = 0; i < 100 && !std::filesystem::exists(out); ++i)
    ::usleep(50 * 1000);
  EXPECT_EQ(testing::ReadFile(out), "--flag\n" + url + "\n");
  EXPECT_FALSE(std::filesystem::exists(folder + "/pwned"));
  testing::RemoveFolder(folder);
}

}  // namespace
}  // namespace mireva
