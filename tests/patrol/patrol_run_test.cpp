#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/command_router.h"
#include "patrol/patrol_commands.h"
#include "platform/folders.h"
#include "platform/watcher_link.h"
#include "tests/support/fake_view_context.h"
#include "tests/support/test_server.h"
#include "tests/support/thread_runner.h"

namespace mireva {
namespace {

using testing::ReadFile;
using testing::WriteFile;
using FakeView = testing::FakeViewContext;
using testing::TestServer;

// Binds the watcher's notice socket in a private runtime folder and collects
// what arrives, as the watcher would.
class FakeNoticeListener {
 public:
  FakeNoticeListener() {
    ::mkdir(RuntimeFolder().c_str(), 0700);
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string path = NoticeSocketPath();
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    ::unlink(path.c_str());
    bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~FakeNoticeListener() {
    ::close(fd_);
    ::unlink(NoticeSocketPath().c_str());
  }
  bool Bound() const { return bound_; }
  std::vector<std::string> Received() {
    char buf[512];
    ssize_t n;
    while ((n = ::recv(fd_, buf, sizeof buf, 0)) >= 0)
      received_.emplace_back(buf, static_cast<size_t>(n));
    return received_;
  }

 private:
  int fd_ = -1;
  bool bound_ = false;
  std::vector<std::string> received_;
};

class FakeDialogs : public PatrolDialogs {
 public:
  void EditPatrolList(ViewContext&, const std::string& folder) override {
    calls.push_back("edit:" + folder);
  }
  bool ChooseNewsSites(ViewContext&, CatalogueKind kind, const std::string&) override {
    calls.push_back(std::string("news:") + InfoOf(kind).kind);
    return newsAnswer;
  }
  std::vector<std::string> calls;
  bool newsAnswer = false;
};

using testing::ThreadRunner;

class PatrolRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = testing::MakeTempFolder("patrol-run");
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    engineLog = dir + "/engine.log";
    setenv("MIREVA_TEST_ENGINE_LOG", engineLog.c_str(), 1);
    Build(std::string(PATROL_TEST_ENGINES) + "/engine_full");
  }
  void TearDown() override {
    commands.reset();
    view.reset();
    unsetenv("MIREVA_TEST_ENGINE_LOG");
    unsetenv("XDG_RUNTIME_DIR");
    testing::RemoveFolder(dir);
  }
  void Build(const std::string& engineFolder) {
    commands.reset();
    view = std::make_unique<FakeView>(engineFolder);
    auto fake = std::make_unique<FakeDialogs>();
    dialogs = fake.get();
    PatrolCommands::Options options;
    options.folder = dir;
    options.typeDialog = [this] {
      typeDialogCalls++;
      return typeDialogAnswer;
    };
    commands = std::make_unique<PatrolCommands>(*view, std::move(fake), options);
    commands->Register(router);
    commands->SetPatrolEndedHook([this] { endedCount++; });
    view->engine.SetRunner(&runner);
  }
  void EnableTypes(const std::string& ini) {
    WriteFile(dir + "/TollickApp.ini", "[TollickApp]\r\n" + ini);
    typeDialogAnswer = 1;
    ASSERT_TRUE(router.Dispatch(2250));
  }
  void WriteList(const std::string& body) {
    WriteFile(dir + "/Patrol.lst", "start patrol;\r\nindex page;\r\n" + body + "end patrol;\r\n");
  }
  std::string dir, engineLog;
  std::unique_ptr<FakeView> view;
  FakeDialogs* dialogs = nullptr;
  std::unique_ptr<PatrolCommands> commands;
  CommandRouter router;
  int typeDialogCalls = 0;
  int typeDialogAnswer = 0;
  int endedCount = 0;
  ThreadRunner runner;
};

TEST_F(PatrolRunTest, VisitsEveryEntryOnePerFinishedPage) {
  FakeNoticeListener watcher;
  ASSERT_TRUE(watcher.Bound());
  WriteFile(dir + "/Patrol.lst", ReadFile(PATROL_TEST_DATA "/two_sites.lst"));
  ASSERT_TRUE(router.Dispatch(2201));
  EXPECT_TRUE(commands->PatrolRunning());
  EXPECT_EQ(watcher.Received(), (std::vector<std::string>{"off", "download break"}));
  const std::vector<std::string> pages = {
      "http://nature.example/photo/", "http://nature.example/photo/Mountine/MtPage.html",
      "http://garden.example/book/", "http://garden.example/book/Flower/Flower.html",
      "http://garden.example/book/Insect/Insect.html"};
  for (size_t i = 0; i < pages.size(); ++i) {
    ASSERT_EQ(view->Visits().size(), i + 1);
    EXPECT_EQ(view->Visits()[i], pages[i]);
    EXPECT_EQ(view->address, pages[i]);  // the address field follows
    view->CompleteDocument(pages[i]);
  }
  EXPECT_FALSE(commands->PatrolRunning());
  // At the end the report of the run is shown.
  const std::string report = "file://" + dir + "/PatrolReport.html";
  ASSERT_EQ(view->Visits().size(), pages.size() + 1);
  EXPECT_EQ(view->Visits().back(), report);
  EXPECT_EQ(endedCount, 1);
  EXPECT_TRUE(view->ui.messages.empty());
  EXPECT_EQ(ReadFile(engineLog), "");  // no type enabled: the engine is bound, never called
  view->CompleteDocument(report);
  view->CompleteDocument("http://later/");     // an idle patrol ignores page events
  EXPECT_EQ(view->Visits().size(), pages.size() + 1);
}

// With the real engine: an entry without a trailing slash, one with a
// fragment and one that redirects each list the files they brought in,
// although the engine knows their pages by other addresses.
TEST_F(PatrolRunTest, EveryEntryListsItsFilesHoweverItsAddressIsWritten) {
  TestServer server(
      "{\"routes\": {\"/\": {\"body\": \"<img src='a.jpg'>\"},"
      " \"/a.jpg\": {\"body\": \"JPEG-A\", \"content_type\": \"image/jpeg\"},"
      " \"/p.html\": {\"body\": \"<img src='b.jpg'>\"},"
      " \"/b.jpg\": {\"body\": \"JPEG-B\", \"content_type\": \"image/jpeg\"},"
      " \"/old\": {\"status\": 302, \"headers\": {\"Location\": \"/new/index.html\"}},"
      " \"/new/index.html\": {\"body\": \"<img src='c.jpg'>\"},"
      " \"/new/c.jpg\": {\"body\": \"JPEG-C\", \"content_type\": \"image/jpeg\"}}}");
  FakeNoticeListener watcher;
  Build(testing::BinDir());
  EnableTypes("JPEG=on\r\n");
  const std::string top = server.Url("");
  const std::vector<std::string> entries = {top, top + "/p.html#top", top + "/old"};
  WriteList(entries[0] + "\r\n" + entries[1] + "\r\n" + entries[2] + "\r\n");
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);  // the engine works in the working folder
  commands->RunPatrol();
  for (const std::string& page : entries) view->CompleteDocument(page);
  ASSERT_EQ(chdir(cwd), 0);
  EXPECT_FALSE(commands->PatrolRunning());
  EXPECT_EQ(commands->Run().SummaryLines(),
            "new\t" + entries[0] + "\t1\n" + "new\t" + entries[1] + "\t1\n" + "new\t" +
                entries[2] + "\t1\n");
  EXPECT_EQ(ReadFile(dir + "/DownLoad/127.0.0.1/c.jpg"), "JPEG-C");
  const std::string report = ReadFile(dir + "/PatrolReport.html");
  for (const char* file : {"a.jpg", "b.jpg", "c.jpg"})
    EXPECT_NE(report.find(std::string("DownLoad/127.0.0.1/") + file), std::string::npos) << file;
}

// What a page played without the view keeping its bytes (an audio element)
// is fetched by the engine once the page has shown, and listed with the page.
TEST_F(PatrolRunTest, MediaThePageLoadedWithoutBytesAreFetchedForIt) {
  TestServer server(
      "{\"routes\": {\"/radio.html\": {\"body\": \"<audio src='/a/song.mp3' autoplay></audio>\"},"
      " \"/a/song.mp3\": {\"body\": \"ID3-SONG\", \"content_type\": \"audio/mpeg\"}}}");
  FakeNoticeListener watcher;
  Build(testing::BinDir());
  EnableTypes("MP3=on\r\n");
  const std::string page = server.Url("/radio.html");
  WriteList(page + "\r\n");
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);  // the engine works in the working folder
  commands->RunPatrol();
  view->media = {server.Url("/a/song.mp3")};
  view->CompleteDocument(page);
  ASSERT_EQ(chdir(cwd), 0);
  EXPECT_FALSE(commands->PatrolRunning());
  EXPECT_EQ(ReadFile(dir + "/DownLoad/127.0.0.1/song.mp3"), "ID3-SONG");
  EXPECT_EQ(commands->Run().SummaryLines(), "new\t" + page + "\t1\n");
}

TEST_F(PatrolRunTest, TheReportTellsNewChangedAndUnchangedPagesFromTheLastRun) {
  FakeNoticeListener watcher;
  WriteList("http://a/\r\nhttp://b/\r\nhttp://c/\r\n");
  auto patrol = [this](const std::vector<std::string>& texts) {
    commands->RunPatrol();
    for (size_t i = 0; i < texts.size(); ++i) {
      view->browser.text = texts[i];
      view->CompleteDocument("http://page/");
    }
  };
  patrol({"Alpha text", "Beta", "Gamma"});
  EXPECT_EQ(commands->Run().SummaryLines(),
            "new\thttp://a/\t0\nnew\thttp://b/\t0\nnew\thttp://c/\t0\n");
  // Reflowed text is the same page; other words are a change.
  patrol({"Alpha\n  text", "Beta!", "Gamma"});
  EXPECT_EQ(commands->Run().SummaryLines(),
            "unchanged\thttp://a/\t0\nchanged\thttp://b/\t0\nunchanged\thttp://c/\t0\n");
  const std::string html = ReadFile(dir + "/PatrolReport.html");
  EXPECT_NE(html.find("<a href=\"http://b/\">http://b/</a>"), std::string::npos);
  EXPECT_NE(html.find("変化あり 1"), std::string::npos);
  // Each run also left a dated copy; no more than 30 are kept.
  for (int i = 0; i < 40; ++i)
    WriteFile(dir + "/PatrolReport-20200101-0000" + std::to_string(10 + i) + ".html", "old");
  patrol({"Alpha", "Beta", "Gamma"});
  size_t dated = 0;
  DIR* folder = ::opendir(dir.c_str());
  ASSERT_NE(folder, nullptr);
  while (dirent* e = ::readdir(folder))
    if (std::string(e->d_name).rfind("PatrolReport-", 0) == 0) ++dated;
  ::closedir(folder);
  EXPECT_EQ(dated, 30u);
}

// The rest of the page time limit is tested through the program
// (tests/gui/test_headless.py); here only how the setting is read.
TEST(PageTimeLimit, SecondsFromTheSettingsWithDefaultAndBound) {
  const std::string dir = testing::MakeTempFolder("page-limit");
  const std::string ini = dir + "/TollickApp.ini";
  const std::pair<std::string, unsigned> rows[] = {
      {"", 60}, {"PageTimeLimit=5", 5}, {"PageTimeLimit=0", 60}, {"PageTimeLimit=-3", 60},
      {"PageTimeLimit=5s", 60}, {"PageTimeLimit=99999999999999999999", 86400}};
  for (size_t i = 0; i < std::size(rows); ++i) {
    WriteFile(ini, "[Patrol]\r\n" + rows[i].first + "\r\n");
    EXPECT_EQ(ReadPageTimeLimitSeconds(ini), rows[i].second) << "row " << i;
  }
  testing::RemoveFolder(dir);
}

TEST_F(PatrolRunTest, EnabledTypesAreLoadedForEveryPageInTableOrder) {
  FakeNoticeListener watcher;
  EnableTypes("ZIP=on\r\nJPEG=on\r\nGIF=On\r\n");
  EXPECT_EQ(watcher.Received(), std::vector<std::string>{"download set"});
  WriteList("http://a/\r\nhttp://b/\r\n");
  commands->RunPatrol();
  EXPECT_EQ(watcher.Received(),
            (std::vector<std::string>{"download set", "off", "download break", "download start"}));
  // The first page: navigated once, no renavigation after StartPatrol's calls.
  EXPECT_EQ(view->Visits(), std::vector<std::string>{"http://a/"});
  view->CompleteDocument("http://a/");
  // Each later page is navigated again after every "ALoad".
  EXPECT_EQ(view->Visits(),
            (std::vector<std::string>{"http://a/", "http://b/", "http://b/", "http://b/"}));
  view->CompleteDocument("http://b/");
  EXPECT_FALSE(commands->PatrolRunning());
  EXPECT_EQ(ReadFile(engineLog),
            "ALoad\thttp://a/\tjpg\nALoad\thttp://a/\tzip\nALoad\thttp://b/\tjpg\nALoad\thttp://b/"
            "\tzip\n");
}

TEST_F(PatrolRunTest, StopEndsThePatrolAndLaterPagesNeverResumeIt) {
  FakeNoticeListener watcher;
  WriteList("http://a/\r\nhttp://b/\r\nhttp://c/\r\n");
  ASSERT_TRUE(router.Dispatch(2201));
  view->CompleteDocument("http://a/");
  ASSERT_EQ(view->Visits().back(), "http://b/");
  view->UserStopped();  // the Stop button or Esc
  EXPECT_FALSE(commands->PatrolRunning());
  EXPECT_EQ(endedCount, 1);
  EXPECT_EQ(watcher.Received().back(), "download break");
  view->CompleteDocument("http://b/");
  view->CompleteDocument("http://mine/");  // a page the user opened afterwards
  EXPECT_EQ(view->Visits().size(), 2u);
  // The list was closed: a new run starts from the top.
  ASSERT_TRUE(router.Dispatch(2201));
  EXPECT_EQ(view->Visits().back(), "http://a/");
}

TEST_F(PatrolRunTest, PageEventsDuringADownloadNeitherSkipNorStallTheRun) {
  FakeNoticeListener watcher;
  EnableTypes("PNG=on\r\n");
  WriteList("http://a/\r\nhttp://b/\r\nhttp://c/\r\n");
  // The page's own load ends while the engine works on the worker thread.
  runner.whileWaiting = [this] { view->CompleteDocument("http://during/"); };
  commands->RunPatrol();
  // The first page had loaded during its downloads: the run went on to b at
  // once, and b's event during its download did not skip to c.
  EXPECT_EQ(view->Visits(), (std::vector<std::string>{"http://a/", "http://b/", "http://b/"}));
  EXPECT_FALSE(commands->Run().DownloadBusy());
  EXPECT_EQ(view->statusTexts.back(), "巡回中 2/3 ページ  ファイル 2/4  8.0 KB");
  runner.whileWaiting = nullptr;
  view->CompleteDocument("http://b/");
  EXPECT_EQ(view->Visits().back(), "http://c/");
  view->CompleteDocument("http://c/");
  EXPECT_FALSE(commands->PatrolRunning());
  // The totals stay in the status bar; every page is accounted for.
  EXPECT_EQ(view->statusTexts.back(), "巡回終了: 3 ページ、新しいファイル 3、失敗 3");
  ASSERT_EQ(commands->Run().Pages().size(), 3u);
  EXPECT_EQ(commands->Run().Pages()[1].address, "http://b/");
  EXPECT_EQ(commands->Run().Pages()[1].newFiles, 1u);
}

TEST_F(PatrolRunTest, StopDuringADownloadCancelsTheEngine) {
  FakeNoticeListener watcher;
  EnableTypes("PNG=on\r\n");
  WriteList("http://a/\r\nhttp://b/\r\n");
  runner.whileWaiting = [this] { view->UserStopped(); };
  commands->RunPatrol();
  EXPECT_FALSE(commands->PatrolRunning());
  EXPECT_EQ(view->Visits(), std::vector<std::string>{"http://a/"});
  // (The fake engine may have ended before the cancel reached it.)
  EXPECT_EQ(view->statusTexts.back().rfind("巡回を中止しました: 1 ページ", 0), 0u);
  EXPECT_EQ(endedCount, 1);
  EXPECT_FALSE(view->engine.Busy());
}

// A link command runs while the patrol waits for its page; the page's load
// ends meanwhile and its download is refused: the page is failed, not done.
TEST_F(PatrolRunTest, ADownloadRefusedForAnotherCallFailsItsPage) {
  FakeNoticeListener watcher;
  EnableTypes("PNG=on\r\n");
  WriteList("http://a/\r\nhttp://b/\r\n");
  commands->RunPatrol();
  runner.whileWaiting = [this] { view->CompleteDocument("http://a/"); };
  EXPECT_EQ(view->engine.DLoad("http://other/", "3").status, CallStatus::Done);
  runner.whileWaiting = nullptr;
  view->CompleteDocument("http://b/");
  EXPECT_FALSE(commands->PatrolRunning());
  ASSERT_EQ(commands->Run().Pages().size(), 2u);
  EXPECT_FALSE(commands->Run().Pages()[0].failed);
  EXPECT_TRUE(commands->Run().Pages()[1].failed);
  EXPECT_EQ(commands->Run().Pages()[1].newFiles, 0u);
  EXPECT_EQ(commands->Run().SummaryLines().rfind("new\thttp://a/\t1\nfailed\thttp://b/\t0\n", 0), 0u);
  // A patrol is not started while the engine works for another command.
  const size_t visits = view->Visits().size();
  runner.whileWaiting = [this] { commands->RunPatrol(); };
  view->engine.DLoad("http://other/", "3");
  EXPECT_FALSE(commands->PatrolRunning());
  EXPECT_EQ(view->Visits().size(), visits);
}

TEST_F(PatrolRunTest, WithoutTheWatcherNothingIsVisited) {
  WriteList("http://a/\r\n");
  commands->RunPatrol();
  EXPECT_EQ(view->ui.messages, std::vector<std::string>{"Mailslot が使用できません。"});
  EXPECT_TRUE(view->Visits().empty());
  EXPECT_TRUE(view->addressLog.empty());
  EXPECT_FALSE(commands->PatrolRunning());
  EXPECT_EQ(endedCount, 1);
}

TEST_F(PatrolRunTest, AnEmptyListEndsAtOnceAfterTheNotices) {
  FakeNoticeListener watcher;
  WriteList("");
  commands->RunPatrol();
  EXPECT_EQ(watcher.Received(), (std::vector<std::string>{"off", "download break"}));
  EXPECT_TRUE(view->Visits().empty());
  EXPECT_FALSE(commands->PatrolRunning());
  EXPECT_EQ(endedCount, 1);
  // The list was closed: a new start works.
  WriteList("http://a/\r\n");
  commands->RunPatrol();
  EXPECT_TRUE(commands->PatrolRunning());
  EXPECT_TRUE(view->ui.messages.empty());
}

TEST_F(PatrolRunTest, MissingListOrEngineStopsTheStart) {
  FakeNoticeListener watcher;
  commands->RunPatrol();
  EXPECT_EQ(view->ui.messages, std::vector<std::string>{"巡回リストが見つかりません。"});
  Build(dir);  // a folder without an engine
  WriteList("http://a/\r\n");
  commands->RunPatrol();
  commands->RunPatrol();  // the list was closed again: the same message, not "in progress"
  EXPECT_EQ(view->ui.messages, (std::vector<std::string>{"DOWNLOAD.dll　が見つかりません",
                                                         "DOWNLOAD.dll　が見つかりません"}));
  EXPECT_TRUE(view->Visits().empty());
}

TEST_F(PatrolRunTest, ASecondStartWhileRunningEndsTheRun) {
  FakeNoticeListener watcher;
  WriteList("http://a/\r\nhttp://b/\r\n");
  commands->RunPatrol();
  ASSERT_TRUE(commands->PatrolRunning());
  commands->RunPatrol();
  EXPECT_EQ(view->ui.messages, std::vector<std::string>{"巡回リストが見つかりません。"});
  EXPECT_TRUE(commands->PatrolRunning());
  EXPECT_EQ(endedCount, 0);
  view->CompleteDocument("http://a/");
  EXPECT_FALSE(commands->PatrolRunning());
  EXPECT_EQ(view->Visits(),
            (std::vector<std::string>{"http://a/", "file://" + dir + "/PatrolReport.html"}));
  EXPECT_EQ(endedCount, 1);
}

TEST_F(PatrolRunTest, CancelledTypeDialogChangesNothing) {
  FakeNoticeListener watcher;
  WriteFile(dir + "/TollickApp.ini", "[TollickApp]\r\nJPEG=on\r\n");
  typeDialogAnswer = 0;
  ASSERT_TRUE(router.Dispatch(2250));
  EXPECT_EQ(typeDialogCalls, 1);
  EXPECT_FALSE(AnyEnabled(commands->Run().DownloadTypes()));
  EXPECT_TRUE(watcher.Received().empty());
  typeDialogAnswer = 1;
  ASSERT_TRUE(router.Dispatch(2250));
  EXPECT_TRUE(commands->Run().DownloadTypes()[0]);
  EXPECT_EQ(watcher.Received(), std::vector<std::string>{"download set"});
}

TEST_F(PatrolRunTest, NewsCommandsOpenTheirCatalogueAndStartOnOk) {
  FakeNoticeListener watcher;
  WriteList("http://a/\r\n");
  ASSERT_TRUE(router.Dispatch(710));
  EXPECT_FALSE(commands->PatrolRunning());
  dialogs->newsAnswer = true;
  ASSERT_TRUE(router.Dispatch(750));
  EXPECT_TRUE(commands->PatrolRunning());
  view->CompleteDocument("http://a/");
  ASSERT_TRUE(router.Dispatch(751));
  ASSERT_TRUE(router.Dispatch(2202));
  EXPECT_EQ(dialogs->calls,
            (std::vector<std::string>{"news:weather", "news:news", "news:tv", "edit:" + dir}));
}

TEST_F(PatrolRunTest, AFailedWriteShowsTheSystemsText) {
  FakeView plainView(std::string(PATROL_TEST_ENGINES) + "/engine_full");
  std::vector<std::string> sent;
  PatrolRun run(plainView, dir, [&](const std::string& text) {
    sent.push_back(text);
    if (text == "off") return true;
    errno = EMSGSIZE;
    return false;
  });
  WriteFile(dir + "/Patrol.lst", "start patrol;\r\nend patrol;\r\n");
  run.StartPatrol();
  // The later notice failed; the start went on regardless.
  EXPECT_EQ(sent, (std::vector<std::string>{"off", "download break"}));
  ASSERT_EQ(plainView.ui.messages.size(), 1u);
  EXPECT_NE(plainView.ui.messages[0], "Mailslot が使用できません。");
  EXPECT_FALSE(plainView.ui.messages[0].empty());
}

TEST_F(PatrolRunTest, MissingTypeDialogLibraryIsReported) {
  FakeView plainView(dir);
  PatrolCommands module(plainView, std::make_unique<FakeDialogs>(),
                        PatrolCommands::Options{dir, nullptr, nullptr});
  module.SelectTypes();
  EXPECT_EQ(plainView.ui.messages, std::vector<std::string>{"Tavish2　が見つかりません"});
  std::unique_ptr<CommandModule> asModule = std::make_unique<PatrolCommands>(
      plainView, std::make_unique<FakeDialogs>(), PatrolCommands::Options{});
  EXPECT_NE(PatrolCommands::From(asModule.get()), nullptr);
}

}  // namespace
}  // namespace mireva
