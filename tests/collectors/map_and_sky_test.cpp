// The map collector (700-705) and the sky-survey collector (721-727) through
// the command router, against the fake engine and the real compositing library.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>

#include "collectors/collector_commands.h"
#include "collectors/map_collector.h"
#include "tests/collectors/collector_test_support.h"
#include "tests/support/test_server.h"
#include "tests/support/thread_runner.h"

namespace mireva {
namespace {

class CollectorCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("MIREVA_MAP_HOST", "127.0.0.1:1", 1);
    ::setenv("MIREVA_AIRPHOTO_HOST", "127.0.0.1:2", 1);
    ::setenv("MIREVA_SKY_HOST", "127.0.0.1:3", 1);
    module = MakeCollectorCommands(view);
    module->Register(router);
  }
  void TearDown() override {
    ::unsetenv("MIREVA_MAP_HOST");
    ::unsetenv("MIREVA_AIRPHOTO_HOST");
    ::unsetenv("MIREVA_SKY_HOST");
  }

  testing::CollectorFolder folder;
  testing::FakeViewContext view{testing::FakeEngineFolder()};
  CommandRouter router;
  std::unique_ptr<CommandModule> module;
};

TEST(QuarterNames, AnyQuarterGivesTheSameFourAndTheJoinedName) {
  for (const char* chosen : {"/m/map50.png", "/m/map55.png", "/m/map00.png", "/m/map05.png"}) {
    auto names = MakeQuarterNames(chosen);
    ASSERT_TRUE(names) << chosen;
    EXPECT_EQ(names->quarters[0], "/m/map50.png");
    EXPECT_EQ(names->quarters[1], "/m/map55.png");
    EXPECT_EQ(names->quarters[2], "/m/map00.png");
    EXPECT_EQ(names->quarters[3], "/m/map05.png");
    EXPECT_EQ(names->output, "/m/map.png");
  }
  auto japanese = MakeQuarterNames("/地図/東京05.PNG");
  ASSERT_TRUE(japanese);
  EXPECT_EQ(japanese->output, "/地図/東京.PNG");
}

TEST(QuarterNames, NamesTooShortOrWithoutDigitsAreRefused) {
  EXPECT_FALSE(MakeQuarterNames("5.png"));
  EXPECT_FALSE(MakeQuarterNames("/m/5.png"));
  EXPECT_FALSE(MakeQuarterNames("/05/.png"));
  EXPECT_FALSE(MakeQuarterNames("/m/map.png"));
  EXPECT_FALSE(MakeQuarterNames("/m/map05.jpg"));
  EXPECT_FALSE(MakeQuarterNames("/m/東京.png"));  // the suffix would split a character
  EXPECT_TRUE(MakeQuarterNames("/m/05.png"));
}

TEST_F(CollectorCommandsTest, SearchPagesOpenOnTheConfiguredHosts) {
  router.Dispatch(701);
  router.Dispatch(702);
  EXPECT_EQ(view.browser.log, (std::vector<std::string>{
                                  "navigate:http://127.0.0.1:1/mapsearch.html",
                                  "navigate:http://127.0.0.1:2/airphoto/search.html"}));
}

TEST_F(CollectorCommandsTest, PatrolListOnlyFromAMapPage) {
  view.address = "http://127.0.0.1:1/index.html";
  router.Dispatch(705);
  ASSERT_EQ(view.ui.messages.size(), 1u);
  EXPECT_EQ(view.ui.messages[0], "地形図閲覧のページではありません。閲覧のページを表示します。");
  EXPECT_EQ(view.browser.log.back(), "navigate:http://127.0.0.1:1/mapsearch.html");
  EXPECT_TRUE(folder.EngineCalls().empty());

  view.address = "http://127.0.0.1:1/area/" + std::string(400, 'a');
  router.Dispatch(705);
  EXPECT_EQ(folder.EngineCalls(),
            std::vector<std::string>{"MakePatrolList\tjapanmap\t" + view.address});
}

TEST_F(CollectorCommandsTest, DownloadListFailureDeletesTheStaleListAndOffersThePage) {
  testing::WriteFile("Download.lst", "stale");
  EXPECT_TRUE(router.IsEnabled(703));
  ::setenv("MIREVA_FAKE_ENGINE_RESULT", "0", 1);
  view.ui.yesNoAnswers.push_back(true);
  router.Dispatch(704);
  EXPECT_FALSE(std::filesystem::exists("Download.lst"));
  EXPECT_FALSE(router.IsEnabled(703));
  EXPECT_EQ(view.ui.log, std::vector<std::string>{"yesno:地形閲覧のページを表示しますか。"});
  EXPECT_EQ(view.browser.log.back(), "navigate:http://127.0.0.1:1/mapsearch.html");
}

// While another call runs, the list commands are disabled; one that still
// arrives is refused and leaves the user's list alone, asking nothing.
TEST_F(CollectorCommandsTest, ARefusedListCommandDeletesNothingAndAsksNothing) {
  testing::WriteFile("Download.lst", "the user's list");
  ::setenv("MIREVA_FAKE_ENGINE_RESULT", "0", 1);
  testing::ThreadRunner runner;
  view.engine.SetRunner(&runner);
  bool enabledDuringCall = true;
  runner.whileWaiting = [&] {
    enabledDuringCall = router.IsEnabled(704) || router.IsEnabled(726) || router.IsEnabled(727);
    MapCollector(view).MakeDownloadList();
  };
  router.Dispatch(727);  // the sky list's download runs
  ::unsetenv("MIREVA_FAKE_ENGINE_RESULT");
  EXPECT_FALSE(enabledDuringCall);
  EXPECT_EQ(testing::ReadFile("Download.lst"), "the user's list");
  for (const std::string& line : view.ui.log) EXPECT_EQ(line.find("yesno:"), std::string::npos);
  EXPECT_EQ(folder.EngineCalls(), std::vector<std::string>{"ListLoad\tDownload.lst\tSdss"});
}

TEST_F(CollectorCommandsTest, DownloadListMadeKeepsTheListAndAsksNothing) {
  testing::WriteFile("Download.lst", "made");
  router.Dispatch(704);
  EXPECT_TRUE(std::filesystem::exists("Download.lst"));
  EXPECT_TRUE(view.ui.log.empty());
  router.Dispatch(703);
  EXPECT_EQ(folder.EngineCalls(), (std::vector<std::string>{"MakeDownloadList\tjapanmap",
                                                            "ListLoad\tDownload.lst\tJapanMap"}));
}

TEST_F(CollectorCommandsTest, JoinIsEnabledOnlyWithTheMapFolder) {
  EXPECT_TRUE(router.IsEnabled(700));
  std::filesystem::remove_all("DownLoad/JapanMap");
  EXPECT_FALSE(router.IsEnabled(700));
}

// A small RGB quarter of one colour.
void WriteQuarter(const std::string& path, int w, int h, unsigned char r, unsigned char g,
                  unsigned char b) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(w);
  image.height = static_cast<png_uint_32>(h);
  image.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> pixels;
  for (int i = 0; i < w * h; ++i) pixels.insert(pixels.end(), {r, g, b});
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr));
}

TEST_F(CollectorCommandsTest, JoinsFourQuartersAndShowsTheResult) {
  const std::string dir = folder.Path() + "/DownLoad/JapanMap/";
  WriteQuarter(dir + "sheet50.png", 4, 3, 255, 0, 0);
  WriteQuarter(dir + "sheet55.png", 4, 3, 0, 255, 0);
  WriteQuarter(dir + "sheet00.png", 4, 3, 0, 0, 255);
  WriteQuarter(dir + "sheet05.png", 4, 3, 9, 9, 9);
  view.ui.fileAnswers.push_back(dir + "sheet55.png");
  router.Dispatch(700);
  EXPECT_TRUE(view.ui.messages.empty());
  EXPECT_EQ(view.browser.log.back(), "navigate:" + dir + "sheet.png");
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, (dir + "sheet.png").c_str()));
  EXPECT_EQ(image.width, 8u);
  EXPECT_EQ(image.height, 6u);
  png_image_free(&image);
  EXPECT_FALSE(view.engine.CompositingLibrary().IsOpen());  // freed after the command
}

TEST_F(CollectorCommandsTest, MissingQuarterIsReportedAndTheRestIsShown) {
  const std::string dir = folder.Path() + "/DownLoad/JapanMap/";
  WriteQuarter(dir + "m50.png", 2, 2, 1, 2, 3);
  view.ui.fileAnswers.push_back(dir + "m50.png");
  router.Dispatch(700);
  ASSERT_EQ(view.ui.messages.size(), 1u);
  EXPECT_NE(view.ui.messages[0].find(dir + "m05.png"), std::string::npos);
  EXPECT_EQ(view.ui.messages[0].find(dir + "m50.png"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir + "m.png"));
}

TEST_F(CollectorCommandsTest, NameTooShortGetsAClearMessage) {
  view.ui.fileAnswers.push_back(folder.Path() + "/DownLoad/JapanMap/5.png");
  router.Dispatch(700);
  ASSERT_EQ(view.ui.messages.size(), 1u);
  EXPECT_NE(view.ui.messages[0].find("ファイル名が短すぎます"), std::string::npos);
  EXPECT_TRUE(view.browser.log.empty());
}

TEST_F(CollectorCommandsTest, CancelledDialogJoinsNothing) {
  router.Dispatch(700);
  EXPECT_TRUE(view.ui.messages.empty());
  EXPECT_TRUE(view.browser.log.empty());
}

TEST_F(CollectorCommandsTest, MissingLibraryAndEntryAreReported) {
  const std::string empty = folder.Path() + "/nolib";
  std::filesystem::create_directories(empty);
  testing::FakeViewContext noLibrary(empty);
  CommandRouter r1;
  auto m1 = MakeCollectorCommands(noLibrary);
  m1->Register(r1);
  noLibrary.ui.fileAnswers.push_back(folder.Path() + "/a05.png");
  r1.Dispatch(700);
  ASSERT_EQ(noLibrary.ui.messages.size(), 1u);
  EXPECT_EQ(noLibrary.ui.messages[0], "PNG.DLL が見つかりません。");
  EXPECT_EQ(noLibrary.ui.icons[0], MessageIcon::Stop);

  // A library of that name without the entry.
  const std::string wrong = folder.Path() + "/wronglib";
  std::filesystem::create_directories(wrong);
  std::filesystem::create_symlink(testing::FakeEngineFolder() + "/libDownLoad.so",
                                  wrong + "/libPngCompo.so");
  testing::FakeViewContext noEntry(wrong);
  CommandRouter r2;
  auto m2 = MakeCollectorCommands(noEntry);
  m2->Register(r2);
  noEntry.ui.fileAnswers.push_back(folder.Path() + "/a05.png");
  r2.Dispatch(700);
  ASSERT_EQ(noEntry.ui.messages.size(), 1u);
  EXPECT_EQ(noEntry.ui.messages[0], "関数 BMPCompo が見つかりません。");
  EXPECT_TRUE(noEntry.browser.log.empty());
}

TEST_F(CollectorCommandsTest, SkyPatrolListNeedsAnOpenedKind) {
  EXPECT_FALSE(router.IsEnabled(725));
  router.Dispatch(721);
  EXPECT_TRUE(view.mosaicCollection);
  EXPECT_FALSE(router.IsEnabled(725));
  router.Dispatch(723);
  EXPECT_TRUE(router.IsEnabled(725));
  view.address = "http://127.0.0.1:3/jp/tools/getimg/mosaic.asp?ra=1";
  router.Dispatch(725);
  EXPECT_EQ(folder.EngineCalls(),
            std::vector<std::string>{"MakePatrolList\tsdss mosaic\t" + view.address});
  EXPECT_EQ(view.browser.log, (std::vector<std::string>{
                                  "navigate:http://127.0.0.1:3/jp/tools/scroll/",
                                  "navigate:http://127.0.0.1:3/jp/tools/getimg/mosaic.asp"}));
}

TEST_F(CollectorCommandsTest, SkyLastOpenedKindWins) {
  router.Dispatch(722);
  router.Dispatch(724);
  view.address = "http://127.0.0.1:3/jp/tools/places/";
  router.Dispatch(725);
  router.Dispatch(726);
  router.Dispatch(727);
  EXPECT_EQ(folder.EngineCalls(),
            (std::vector<std::string>{"MakePatrolList\tsdss places\t" + view.address,
                                      "MakeDownloadList\tsdss places", "ListLoad\tDownload.lst\tSdss"}));
  EXPECT_EQ(view.browser.log.back(), "navigate:http://127.0.0.1:3/jp/tools/places/");
}

TEST_F(CollectorCommandsTest, SkyFieldsUseTheEnginesSpelling) {
  router.Dispatch(722);
  router.Dispatch(725);
  testing::WriteFile("Download.lst", "stale");
  ::setenv("MIREVA_FAKE_ENGINE_RESULT", "0", 1);
  router.Dispatch(726);
  EXPECT_EQ(folder.EngineCalls(), (std::vector<std::string>{"MakePatrolList\tsdss field\t",
                                                            "MakeDownloadList\tsdss filed"}));
  EXPECT_FALSE(std::filesystem::exists("Download.lst"));
  EXPECT_TRUE(view.ui.log.empty());
}

}  // namespace
}  // namespace mireva
