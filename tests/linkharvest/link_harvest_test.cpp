// The link commands below the GUI: frame analysis on the page text, the frame
// dialog's choices, the status texts, and the real download engine receiving
// the address and kind code (checked at the loopback test server).
#include "linkharvest/link_harvest.h"
#include "platform/file_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>

#include "core/command_router.h"
#include "core/runtime/download_engine.h"
#include "platform/testing/fake_browser.h"
#include "platform/testing/fake_interaction.h"
#include "tests/support/fake_view_context.h"
#include "tests/support/test_server.h"
#include "tests/support/working_folder.h"

namespace mireva {
namespace {

using testing::ReadFile;
using testing::TestServer;
using testing::WriteFile;

TEST(FrameTags, FramesetsAreFoundAsTheyAlwaysWere) {
  EXPECT_FALSE(CollectFrameTags("<html><body><frame src=a></body></html>").has_value());
  EXPECT_FALSE(CollectFrameTags("<Frameset><frame src=\"a.html\"></Frameset>").has_value());

  auto tags = CollectFrameTags("<FRAMESET cols=2><FRAME SRC=\"up.html\"><frame src=\"low.html\"></FRAMESET>"
                               "<frame src=\"after.html\">");
  ASSERT_TRUE(tags.has_value());
  // The lower-case tag is looked for first, the text ends with the frameset.
  EXPECT_EQ(*tags, (std::vector<std::string>{"<frame src=\"low.html\">"}));

  std::string twelve = "<frameset>";
  for (int i = 0; i < 12; ++i) twelve += "<frame src=\"f" + std::to_string(i) + ".html\">";
  auto ten = CollectFrameTags(twelve);  // no closing tag: searched to the end
  ASSERT_TRUE(ten.has_value());
  ASSERT_EQ(ten->size(), kMaxFrameTags);
  EXPECT_EQ(ten->back(), "<frame src=\"f9.html\">");

  auto empty = CollectFrameTags("<frameset rows=\"*\"></frameset>");
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());
}

TEST(FrameTags, LongAndUnclosedTagsAreCutSafely) {
  std::string longTag = "<frame src=\"x.html\" title=\"";
  for (int i = 0; i < 200; ++i) longTag += "\x83\x74";  // Shift_JIS katakana
  longTag += "\">";
  auto tags = CollectFrameTags("<frameset>" + longTag + "</frameset>");
  ASSERT_EQ(tags->size(), 1u);
  EXPECT_EQ((*tags)[0], longTag);  // the whole tag, for its source
  std::string entry = FrameEntryText((*tags)[0]);
  EXPECT_LE(entry.size(), kFrameEntryBytes);
  EXPECT_EQ(entry.size() % 2, 1u);  // "<frame..." is odd ASCII + whole double-byte pairs
  EXPECT_EQ(FrameSource((*tags)[0]), "x.html");

  auto open = CollectFrameTags("<frameset><frame src=\"open.html\" " + std::string(10000, 'z'));
  ASSERT_EQ(open->size(), 1u);
  EXPECT_LE((*open)[0].size(), 4096u);
  EXPECT_EQ(FrameSource((*open)[0]), "open.html");
}

TEST(FrameSource, ReadsEveryWayOfWritingTheAttribute) {
  struct Row {
    const char* tag;
    const char* source;
  };
  const Row rows[] = {
      {"<frame src=\"a.html\">", "a.html"},
      {"<FRAME SRC=\"B.HTML\" NAME=x>", "B.HTML"},
      {"<frame src='single.html'>", "single.html"},
      {"<frame src=bare.html name=x>", "bare.html"},
      {"<frame src=bare.html>", "bare.html"},
      {"<frame src = \"spaced.html\">", "spaced.html"},
      {"<frame srcdoc=\"x\" src=\"real.html\">", "real.html"},
      {"<frame name=\"nothing\">", ""},
      {"<frame src=\"unterminated.html>", "unterminated.html"},
  };
  for (size_t i = 0; i < std::size(rows); ++i)
    EXPECT_EQ(FrameSource(rows[i].tag), rows[i].source) << "row " << i;
}

TEST(FrameAddress, ResolvesRelativeRootedAndAbsoluteSources) {
  EXPECT_EQ(FrameAddress("http://h/dir/page.html", "f.html"), "http://h/dir/f.html");
  EXPECT_EQ(FrameAddress("http://h/dir/", "sub/f.html"), "http://h/dir/sub/f.html");
  EXPECT_EQ(FrameAddress("http://h/dir/page.html", "/top.html"), "http://h/top.html");
  EXPECT_EQ(FrameAddress("http://h/dir/page.html", "http://o/x.html"), "http://o/x.html");
  EXPECT_EQ(FrameAddress("http://h/dir/page.html", "../up.html"), "http://h/up.html");
  // Not an address at all: the directory part and the source.
  EXPECT_EQ(FrameAddress("page", "f.html"), "page/f.html");
}

TEST(LinkCommandCode, SendsTheCodesOfTheMenuTable) {
  const std::pair<int, char> rows[] = {{2102, '1'}, {2103, '2'}, {2104, '3'}, {2105, '4'},
                                       {2106, '5'}, {2107, '6'}, {2108, '7'}, {2113, '8'},
                                       {2110, '9'}, {2109, 0},   {2112, 0}};
  for (const auto& [id, code] : rows) EXPECT_EQ(LinkCommandCode(id), code) << id;
}

TEST(EngineEnd, SaysWhatHappenedAndNeverShowsAFullBarForFailures) {
  CallResult failedAll;
  failedAll.found = 5;
  failedAll.failed = 4;
  failedAll.skipped = 1;
  for (const char* why : {"HTTP 404", "HTTP 500", "途中で切れました", "ホストが見つかりません"})
    failedAll.files.push_back(FileResult{DL_FILE_FAILED, "http://h/x", "", "", 0, 0, why});
  failedAll.files.push_back(FileResult{DL_FILE_KNOWN, "http://h/known", "", "", 0, 0, ""});
  EngineEnd end = DescribeEngineEnd(failedAll);
  EXPECT_EQ(end.summary, "ダウンロード終了: 保存 0、取得済み 1、失敗 4");
  EXPECT_EQ(end.saved, 0u);
  EXPECT_EQ(end.tried, 4u);
  ASSERT_EQ(end.details.size(), 5u);
  EXPECT_EQ(end.details[2], "失敗 http://h/x (途中で切れました)");
  EXPECT_EQ(end.details[4], "取得済み http://h/known");

  CallResult pageFailed;
  pageFailed.status = CallStatus::Failed;
  pageFailed.reason = "ページを読み込めませんでした: http://h/";
  EXPECT_EQ(DescribeEngineEnd(pageFailed).summary,
            "ダウンロードできませんでした: ページを読み込めませんでした: http://h/");
  CallResult refused;
  refused.status = CallStatus::Refused;
  EXPECT_EQ(DescribeEngineEnd(refused).summary, "");  // a message said so: the view closes
  EXPECT_EQ(DescribeEngineEnd(CallResult{}).summary,
            "ダウンロード終了: 対象のファイルはありませんでした");
}

using FakeView = testing::FakeViewContext;

class ScriptedChooser : public FrameChooser {
 public:
  std::deque<FrameChoice> answers;
  std::vector<std::vector<std::string>> shown;
  FrameChoice Choose(const std::vector<std::string>& tags) override {
    shown.push_back(tags);
    if (answers.empty()) return FrameChoice{};
    FrameChoice c = answers.front();
    answers.pop_front();
    return c;
  }
};

class RecordingProgress : public EngineProgressView {
 public:
  std::vector<std::string> log;
  std::vector<std::pair<size_t, size_t>> counts;  // of the updates that had one
  std::string summary = "(none)";
  std::string folder;
  EngineEnd end;
  void Begin(const std::string&) override { log.push_back("begin"); }
  bool Update(const std::string&, size_t done, size_t total) override {
    log.push_back("update");
    if (total > 0) counts.emplace_back(done, total);
    return false;
  }
  void End(const EngineEnd& e) override {
    log.push_back("end");
    summary = e.summary;
    folder = e.folder;
    end = e;
  }
};

class LinkHarvest : public ::testing::Test {
 protected:
  // The engine sends the view's cookies from the cache folder: here one without any.
  void SetUp() override { setenv("XDG_CACHE_HOME", dir_.c_str(), 1); }
  // The module with `pageText` as what the page fetch leaves in "temp.html"
  // (nothing at all when empty).
  std::unique_ptr<LinkHarvestCommands> Module(FakeView& view, const std::string& pageText) {
    auto chooserPtr = std::make_unique<ScriptedChooser>();
    auto progressPtr = std::make_unique<RecordingProgress>();
    chooser = chooserPtr.get();
    progress = progressPtr.get();
    return std::make_unique<LinkHarvestCommands>(
        view, std::move(chooserPtr), std::move(progressPtr),
        [this, pageText](const std::string& address, const std::string& target) {
          fetched.push_back(address + " -> " + target);
          if (!pageText.empty()) WriteFile(target, pageText);
          return true;
        });
  }
  static int Count(const TestServer& server, const std::string& path) {
    int n = 0;
    for (const auto& r : server.Requests()) n += r.path == path;
    return n;
  }

  ScriptedChooser* chooser = nullptr;
  RecordingProgress* progress = nullptr;
  std::vector<std::string> fetched;
  testing::WorkingFolder folder_{"link-harvest"};
  const std::string dir_ = folder_.Path();
};

TEST_F(LinkHarvest, APageWithoutFramesGoesStraightToTheEngine) {
  TestServer server(
      "{\"routes\": {\"/site/page.html\": {\"body\": \"<img src='pic.gif'><a href='l.gif'>x</a>\"},"
      " \"/site/pic.gif\": {\"body\": \"GIF89a\"}, \"/site/l.gif\": {\"body\": \"GIF89a\"}}}");
  FakeView view(testing::BinDir());
  view.address = server.Url("/site/page.html");
  auto module = Module(view, "<html><body>no frames here</body></html>");
  module->RunLinkCommand(2104);
  EXPECT_EQ(fetched, std::vector<std::string>{view.address + " -> temp.html"});
  ASSERT_GE(view.statusTexts.size(), 4u);
  EXPECT_EQ(view.statusTexts[0], view.address);
  EXPECT_EQ(view.statusTexts[1], "読み込み終了");
  EXPECT_EQ(view.statusTexts[2], "読み込み終了 → チェック");
  EXPECT_EQ(view.statusTexts[3], view.address);
  EXPECT_TRUE(chooser->shown.empty());
  // Code 3: the embedded image, not the linked one.
  EXPECT_EQ(ReadFile("DownLoad/127.0.0.1/pic.gif"), "GIF89a");
  EXPECT_FALSE(std::filesystem::exists("DownLoad/127.0.0.1/l.gif"));
  EXPECT_EQ(progress->log.front(), "begin");
  EXPECT_EQ(progress->log.back(), "end");
  EXPECT_GT(view.keepAliveCalls, 0);
  EXPECT_TRUE(view.ui.messages.empty());
  // Files counted as they come (the page, then its one image), and at the end
  // the engine's last word and the folder the image went to.
  ASSERT_FALSE(progress->counts.empty());
  EXPECT_EQ(progress->counts.back(), std::make_pair(size_t{1}, size_t{1}));
  EXPECT_EQ(progress->summary, "ダウンロード終了: 保存 1");
  EXPECT_EQ(progress->folder, dir_ + "/DownLoad/127.0.0.1");
}

TEST_F(LinkHarvest, GoOpensTheFrameAndAnalyseHandsTheFrameToTheEngine) {
  TestServer server(
      "{\"routes\": {\"/site/inner/right.html\": {\"body\": \"<a href='clip.mov'>m</a>\"},"
      " \"/site/inner/clip.mov\": {\"body\": \"MOOV\"}}}");
  const std::string frameset =
      "<html><frameset cols=\"50%,50%\"><frame src=\"left.html\" name=l>"
      "<frame name=r src='inner/right.html'></frameset></html>";
  FakeView view(testing::BinDir());
  view.address = server.Url("/site/top.html");
  auto module = Module(view, frameset);

  chooser->answers.push_back({FrameAction::Go, 0});
  module->RunLinkCommand(2110);
  EXPECT_EQ(view.browser.log, std::vector<std::string>{"navigate:" + server.Url("/site/left.html")});
  EXPECT_TRUE(server.Requests().empty());
  ASSERT_EQ(chooser->shown.size(), 1u);
  EXPECT_EQ(chooser->shown[0].size(), 2u);

  chooser->answers.push_back({FrameAction::Analyse, 1});
  module->RunLinkCommand(2110);  // code 9: linked movies
  EXPECT_EQ(Count(server, "/site/inner/right.html"), 1);
  EXPECT_EQ(ReadFile("DownLoad/127.0.0.1/clip.mov"), "MOOV");
  EXPECT_EQ(view.browser.log.size(), 1u);

  server.ClearRequests();
  module->RunLinkCommand(2110);  // the dialog cancelled: nothing more
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_EQ(chooser->shown.size(), 3u);
}

TEST_F(LinkHarvest, NothingHappensWithoutAPageAndAMissingEngineIsReported) {
  FakeView view(testing::BinDir());
  view.address = "http://127.0.0.1:9/none.html";
  // An older page of an earlier command is never read as this one's.
  WriteFile(InstanceFileName("temp.html"), "<frameset><frame src='old.html'></frameset>");
  auto module = Module(view, "");
  module->RunLinkCommand(2105);
  EXPECT_TRUE(view.ui.messages.empty());
  EXPECT_TRUE(chooser->shown.empty());
  EXPECT_TRUE(progress->log.empty());  // the engine was not called

  FakeView noEngine(dir_ + "/no-such-folder");
  noEngine.address = "http://127.0.0.1:9/page.html";
  auto other = Module(noEngine, "<html></html>");
  other->RunLinkCommand(2102);
  EXPECT_EQ(noEngine.ui.messages, std::vector<std::string>{"DOWNLOAD.dll　が見つかりません"});
  EXPECT_EQ(progress->summary, "");  // no end to show: the progress view closes
  EXPECT_EQ(progress->folder, "");
}

TEST_F(LinkHarvest, CacheFilesSortsTheCacheFolderAndEveryCommandIsRegistered) {
  std::filesystem::create_directories("Cache");
  WriteFile("Cache/x1", "GIF89a cached");
  FakeView view(testing::BinDir());
  auto module = Module(view, "");
  CommandRouter router;
  module->Register(router);
  for (int id : {2102, 2103, 2104, 2105, 2106, 2107, 2108, 2110, 2112, 2113})
    EXPECT_TRUE(router.Handles(id)) << id;
  EXPECT_FALSE(router.Handles(2109));
  ASSERT_TRUE(router.Dispatch(2112));
  EXPECT_EQ(ReadFile("DownLoad/Cache/gif/x1.gif"), "GIF89a cached");
  EXPECT_FALSE(std::filesystem::exists("Cache/x1"));  // "1": moved
  EXPECT_EQ(progress->counts.back(), std::make_pair(size_t{0}, size_t{1}));
  EXPECT_EQ(progress->summary, "ダウンロード終了: 保存 1");
  EXPECT_EQ(progress->folder, dir_ + "/DownLoad/Cache");
}

}  // namespace
}  // namespace mireva
