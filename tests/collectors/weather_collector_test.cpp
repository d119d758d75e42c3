// The weather collector: stamp series by calendar, the list file, the engine
// call, the frame files, the animation and the page shown.
#include "collectors/weather_collector.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "collectors/collector_commands.h"
#include "collectors/collector_settings.h"
#include "core/runtime/download_engine.h"
#include "tests/collectors/collector_test_support.h"
#include "tests/support/test_server.h"

namespace mireva {
namespace {

// A local time as the clock gives it.
std::time_t Local(int y, int mo, int d, int h, int mi) {
  std::tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

std::array<std::string, kWeatherSlots> Series(int command, std::time_t now) {
  return StampSeries(*FindWeatherKind(command), now);
}

TEST(WeatherStamps, InfraredStartsAtTheHourTenHoursBack) {
  auto s = Series(712, Local(2006, 5, 10, 10, 17));
  EXPECT_EQ(s[0], "20060510000000.gif");
  EXPECT_EQ(s[1], "20060509233000.gif");
  EXPECT_EQ(s[2], "20060509230000.gif");
  EXPECT_EQ(s[3], "20060509223000.gif");
  EXPECT_EQ(s[19], "20060509143000.gif");
}

TEST(WeatherStamps, ThirtyMinuteKindsShareTheSeries) {
  const auto expected = Series(712, Local(2006, 5, 10, 10, 17));
  EXPECT_EQ(Series(714, Local(2006, 5, 10, 10, 17)), expected);
  EXPECT_EQ(Series(716, Local(2006, 5, 10, 10, 17)), expected);
}

TEST(WeatherStamps, FullDiscStepsByWholeHours) {
  auto s = Series(717, Local(2006, 5, 10, 10, 59));
  EXPECT_EQ(s[0], "20060509230000.gif");
  EXPECT_EQ(s[1], "20060509220000.gif");
  EXPECT_EQ(s[19], "20060509040000.gif");
}

TEST(WeatherStamps, VisibleSkipsTheNightAfterTwentyTwo) {
  // T = 2006-05-10 23h: 23:00, 22:30, 22:00, then 09:30 of the same date.
  for (int command : {713, 715}) {
    auto s = Series(command, Local(2006, 5, 11, 9, 5));
    EXPECT_EQ(s[0], "20060510230000.gif");
    EXPECT_EQ(s[1], "20060510223000.gif");
    EXPECT_EQ(s[2], "20060510220000.gif");
    EXPECT_EQ(s[3], "20060510093000.gif");
    EXPECT_EQ(s[4], "20060510090000.gif");
    EXPECT_EQ(s[5], "20060510083000.gif");
  }
  // The infrared series of the same moment goes on through the night.
  EXPECT_EQ(Series(712, Local(2006, 5, 11, 9, 5))[3], "20060510213000.gif");
}

TEST(WeatherStamps, CrossesMonthAndYearEnds) {
  // T = 2007-01-01 01h.
  auto s = Series(712, Local(2007, 1, 1, 11, 0));
  EXPECT_EQ(s[0], "20070101010000.gif");
  EXPECT_EQ(s[2], "20070101000000.gif");
  EXPECT_EQ(s[3], "20061231233000.gif");
  auto full = Series(717, Local(2007, 1, 1, 10, 0));  // T = 2007-01-01 00h
  EXPECT_EQ(full[0], "20061231230000.gif");
  // Into February of a leap year and of a common year, and a 30-day month.
  EXPECT_EQ(Series(717, Local(2008, 3, 1, 10, 0))[0], "20080229230000.gif");
  EXPECT_EQ(Series(717, Local(2006, 3, 1, 10, 0))[0], "20060228230000.gif");
  EXPECT_EQ(Series(717, Local(2006, 5, 1, 10, 0))[0], "20060430230000.gif");
  EXPECT_EQ(Series(717, Local(2000, 3, 1, 10, 0))[0], "20000229230000.gif");
  EXPECT_EQ(Series(717, Local(1900 + 200, 3, 1, 10, 0))[0], "21000228230000.gif");
}

TEST(WeatherStamps, StepBackOneHourByCalendar) {
  EXPECT_EQ(StepBackOneHour("20060510050000.gif"), "20060510040000.gif");
  EXPECT_EQ(StepBackOneHour("20060510003000.gif"), "20060509233000.gif");
  EXPECT_EQ(StepBackOneHour("20060701000000.gif"), "20060630230000.gif");
  EXPECT_EQ(StepBackOneHour("20060801000000.gif"), "20060731230000.gif");
  EXPECT_EQ(StepBackOneHour("20060101000000.gif"), "20051231230000.gif");
}

TEST(WeatherStamps, NamesAndPathsPerKind) {
  EXPECT_EQ(WeatherServerPath(*FindWeatherKind(712), "20060510000000.gif"),
            "/img/him/ni/136400-440001-0000-20060510000000.gif");
  EXPECT_EQ(WeatherServerPath(*FindWeatherKind(713), "x"), "/img/him/ka/136400-440001-0011-x");
  EXPECT_EQ(WeatherServerPath(*FindWeatherKind(716), "x"), "/img/him/su/136400-440001-0012-x");
  EXPECT_EQ(WeatherServerPath(*FindWeatherKind(717), "x"), "/img/him/ze/136400-440001-0020-x");
  EXPECT_EQ(FindWeatherKind(711), nullptr);
  EXPECT_EQ(FindWeatherKind(718), nullptr);
}

TEST(WeatherList, ExactText) {
  EXPECT_EQ(WeatherDownloadList("http://h.example", {"/a", "/b"}),
            "start download;\r\nindex page;\r\nhttp://h.example/\r\nhimawari\r\n/a\r\n/b\r\n"
            "end download;\r\n");
  EXPECT_EQ(WeatherDownloadList("http://h", {}),
            "start download;\r\nindex page;\r\nhttp://h/\r\nhimawari\r\nend download;\r\n");
}

class WeatherCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("MIREVA_WEATHER_HOST", "127.0.0.1:9", 1);
    now = Local(2006, 5, 10, 10, 17);
    source = folder.Path() + "/source";
    std::filesystem::create_directories(source);
  }
  void TearDown() override { ::unsetenv("MIREVA_WEATHER_HOST"); }

  void Run(int command) {
    AnimatedGifBuilder::Options options;
    options.pause = [](int) {};
    CommandRouter router;
    auto module = MakeCollectorCommands(view, [this] { return now; }, options);
    module->Register(router);
    ASSERT_TRUE(router.Dispatch(command));
  }

  std::string ImagePath(int command, int slot) {
    const WeatherKind& kind = *FindWeatherKind(command);
    return "DownLoad/Weather/" + WeatherImageName(kind, Series(command, now)[static_cast<size_t>(slot)]);
  }

  testing::CollectorFolder folder;
  testing::FakeViewContext view{testing::FakeEngineFolder()};
  std::time_t now = 0;
  std::string source;
};

TEST_F(WeatherCommandTest, ListsMissingImagesDownloadsAndRefreshesFrames) {
  // Five images on disk already; the engine "downloads" the other fifteen.
  for (int slot = 0; slot < 5; ++slot)
    testing::WriteFile(ImagePath(712, slot), testing::MakeGif(testing::FrameShape{64, 64, 100u + slot}));
  testing::WriteFile(source + "/any.gif", testing::MakeGif(testing::FrameShape{64, 64, 7}));
  ::setenv("MIREVA_FAKE_ENGINE_SOURCE", source.c_str(), 1);
  Run(712);

  std::string expected = "start download;\r\nindex page;\r\nhttp://127.0.0.1:9/\r\nhimawari\r\n";
  const auto slots = Series(712, now);
  for (int slot = 5; slot < 20; ++slot)
    expected += WeatherServerPath(*FindWeatherKind(712), slots[static_cast<size_t>(slot)]) + "\r\n";
  expected += "end download;\r\n";
  EXPECT_EQ(testing::ReadFile("Download.lst"), expected);
  EXPECT_EQ(folder.EngineCalls(), std::vector<std::string>{"ListLoad\tDownload.lst\tWeather"});
  for (int i = 1; i <= 20; ++i)
    EXPECT_EQ(testing::ReadFile(FramePath(i)), testing::ReadFile(ImagePath(712, i - 1))) << i;
  EXPECT_TRUE(view.ui.messages.empty());
  ASSERT_EQ(view.browser.log.size(), 1u);
  EXPECT_EQ(view.browser.log[0], "navigate:" + folder.Path() + "/Himawari.html");
}

TEST_F(WeatherCommandTest, AllImagesPresentGiveAnEmptyList) {
  for (int slot = 0; slot < 20; ++slot) testing::WriteFile(ImagePath(717, slot), "image");
  Run(717);
  EXPECT_EQ(testing::ReadFile("Download.lst"),
            "start download;\r\nindex page;\r\nhttp://127.0.0.1:9/\r\nhimawari\r\nend download;\r\n");
  EXPECT_EQ(testing::ReadFile(FramePath(20)), "image");
  EXPECT_EQ(view.browser.log[0], "navigate:" + folder.Path() + "/Himawari2.html");
}

TEST_F(WeatherCommandTest, BesideAnotherInstanceTheListAndFramesAreItsOwnAndWhole) {
  // Another window collecting in this folder holds the first number and its
  // "Download.lst"; a link where frame 1 goes is replaced, not written through.
  int other = ::open(".mireva-instance-1.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  testing::WriteFile("Download.lst", "the other window's list");
  testing::WriteFile("victim.gif", "victim");
  std::filesystem::create_directories("DownLoad/Weather");
  std::filesystem::create_symlink(folder.Path() + "/victim.gif", FramePath(1));
  for (int slot = 0; slot < 20; ++slot) testing::WriteFile(ImagePath(717, slot), "image");
  Run(717);
  ::close(other);
  EXPECT_EQ(testing::ReadFile("Download.lst"), "the other window's list");
  EXPECT_EQ(folder.EngineCalls(), std::vector<std::string>{"ListLoad\tDownload-2.lst\tWeather"});
  EXPECT_EQ(testing::ReadFile("victim.gif"), "victim");
  EXPECT_FALSE(std::filesystem::is_symlink(FramePath(1)));
  EXPECT_EQ(testing::ReadFile(FramePath(1)), "image");
}

TEST_F(WeatherCommandTest, UnreachedServerGivesOneMessageWithHostCountAndReason) {
  // Three images on disk; the other seventeen never arrive.
  for (int slot = 0; slot < 3; ++slot) testing::WriteFile(ImagePath(716, slot), "old");
  Run(716);
  ASSERT_EQ(view.ui.messages.size(), 1u);
  EXPECT_EQ(view.ui.messages[0], "画像 20 枚のうち 17 枚を 127.0.0.1:9 から取得できませんでした。");
  EXPECT_EQ(testing::ReadFile(FramePath(3)), "old");
  EXPECT_FALSE(std::filesystem::exists(FramePath(4)));
  EXPECT_EQ(view.browser.log.back(), "navigate:" + folder.Path() + "/Himawari2.html");

  CallResult loaded;
  for (const char* reason : {"接続できません", "ホストが見つかりません", "ホストが見つかりません"}) {
    FileResult f;
    f.reason = reason;
    loaded.files.push_back(f);
  }
  EXPECT_EQ(MissingImagesText("http://sat.example.jp/", loaded, 3, 20),
            "画像 20 枚のうち 3 枚を sat.example.jp から取得できませんでした。\n(ホストが見つかりません)");
}

TEST(ListMadeText, SaysWhatWasListedOrWhyNothingWas) {
  CallResult made;
  made.entries = 12;
  EXPECT_EQ(ListMadeText(made), "ダウンロードリストを作りました: 12 件");
  made.entries = 0;
  EXPECT_EQ(ListMadeText(made), "ダウンロードする画像が見つからないため、リストは作られませんでした");
  made.status = CallStatus::Failed;
  made.reason = "接続できません";
  EXPECT_EQ(ListMadeText(made), "ダウンロードリストを作れませんでした: 接続できません");
}

TEST_F(WeatherCommandTest, AnimatedInfraredBuildsTheAnimationAndShowsItsPage) {
  testing::WriteFile(source + "/any.gif", testing::MakeGif(testing::FrameShape{64, 64, 3}));
  ::setenv("MIREVA_FAKE_ENGINE_SOURCE", source.c_str(), 1);
  Run(714);
  testing::DecodedGif gif = testing::DecodeGif("DownLoad/Weather/Himawari.gif");
  ASSERT_TRUE(gif.ok);
  EXPECT_EQ(gif.imageCount, 21);
  EXPECT_EQ(view.browser.log.back(), "navigate:" + folder.Path() + "/Himawari3.html");
}

TEST_F(WeatherCommandTest, AnimatedInfraredConvertsOldFramesAndBuildsInOneCommand) {
  testing::FrameShape old{64, 64, 5};
  old.gif87a = true;
  testing::WriteFile(source + "/any.gif", testing::MakeGif(old));
  ::setenv("MIREVA_FAKE_ENGINE_SOURCE", source.c_str(), 1);
  view.ui.yesNoAnswers.push_back(true);
  Run(714);
  EXPECT_EQ(testing::DecodeGif("DownLoad/Weather/Himawari.gif").imageCount, 21);
  EXPECT_EQ(view.browser.log.back(), "navigate:" + folder.Path() + "/Himawari3.html");
}

TEST_F(WeatherCommandTest, FailedAnimationShowsTheFallbackPage) {
  Run(714);  // nothing downloaded: no frames, no animation, not even an empty one
  EXPECT_EQ(view.browser.log.back(), "navigate:" + folder.Path() + "/Himawari5.html");
  EXPECT_FALSE(std::filesystem::exists("DownLoad/Weather/Himawari.gif"));
  EXPECT_EQ(view.ui.messages.size(), 1u);
  view.browser.log.clear();
  Run(715);
  EXPECT_EQ(view.browser.log.back(), "navigate:" + folder.Path() + "/Himawari4.html");
}

TEST_F(WeatherCommandTest, MissingEngineStillRefreshesTheFrames) {
  testing::FakeViewContext noEngine(folder.Path());
  for (int slot = 0; slot < 20; ++slot) testing::WriteFile(ImagePath(713, slot), "x");
  CommandRouter router;
  auto module = MakeCollectorCommands(noEngine, [this] { return now; }, {});
  module->Register(router);
  router.Dispatch(713);
  ASSERT_EQ(noEngine.ui.messages.size(), 1u);
  EXPECT_EQ(noEngine.ui.messages[0], "DOWNLOAD.dll　が見つかりません");
  EXPECT_EQ(testing::ReadFile(FramePath(1)), "x");
  EXPECT_EQ(noEngine.browser.log.back(), "navigate:" + folder.Path() + "/Himawari2.html");
}

TEST_F(WeatherCommandTest, HostComesFromTheIniWhenTheEnvironmentIsEmpty) {
  ::unsetenv("MIREVA_WEATHER_HOST");
  testing::WriteFile("Collectors.ini", "[Hosts]\r\nWeather=images.example.org\r\n");
  Run(712);
  EXPECT_NE(testing::ReadFile("Download.lst").find("\r\nhttp://images.example.org/\r\n"),
            std::string::npos);
  std::filesystem::remove("Collectors.ini");
  Run(712);
  EXPECT_NE(testing::ReadFile("Download.lst").find("\r\nhttp://www.jwa.or.jp/\r\n"), std::string::npos);
}

}  // namespace
}  // namespace mireva
