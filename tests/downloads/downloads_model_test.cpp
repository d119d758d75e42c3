#include "downloads/downloads_model.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_util.h"
#include "tests/support/test_server.h"

namespace mireva {
namespace {

namespace fs = std::filesystem;

HistoryEntry Entry(const std::string& address, long long time, const std::string& referrer = "") {
  HistoryEntry e;
  e.address = address;
  e.referrer = referrer;
  e.file = "DownLoad/" + AddressHost(address) + "/" + address.substr(address.rfind('/') + 1);
  e.size = 2048;
  e.sha256 = std::string(64, 'a');
  e.fetchedAt = time;
  e.kind = RunKind::LinkCommand;
  return e;
}

std::vector<std::string> Addresses(const DownloadsModel& model) {
  std::vector<std::string> out;
  for (const HistoryEntry& e : model.Rows()) out.push_back(e.address);
  return out;
}

class DownloadsModelTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = testing::MakeTempFolder(); }
  void TearDown() override { testing::RemoveFolder(folder_); }
  void Seed(std::vector<HistoryEntry> entries) {
    HistoryStore store;
    ASSERT_TRUE(store.Open(folder_));
    ASSERT_TRUE(store.Record(std::move(entries)).has_value());
  }
  std::string folder_;
};

TEST_F(DownloadsModelTest, FolderWithoutHistoryListsNothingAndCreatesNothing) {
  DownloadsModel model(folder_);
  EXPECT_TRUE(model.Reload());
  EXPECT_TRUE(model.Rows().empty());
  EXPECT_TRUE(model.Message().empty());
  EXPECT_FALSE(fs::exists(folder_ + "/DownLoad"));
  EXPECT_TRUE(model.Forget("http://a.example/x.png"));  // nothing to forget, no error
}

TEST_F(DownloadsModelTest, ListsNewestFirstThroughTheFilters) {
  Seed({Entry("http://a.example/one.png", 1000), Entry("http://img.b.example/two.jpg", 3000),
        Entry("http://a.example/three.gif", 2000)});
  DownloadsModel model(folder_);
  ASSERT_TRUE(model.Reload());
  EXPECT_EQ(Addresses(model), (std::vector<std::string>{"http://img.b.example/two.jpg",
                                                        "http://a.example/three.gif",
                                                        "http://a.example/one.png"}));
  EXPECT_EQ(model.Sites(), (std::vector<std::string>{"a.example", "img.b.example"}));
  model.Filter().text = "three";
  model.Reload();
  EXPECT_EQ(Addresses(model), std::vector<std::string>{"http://a.example/three.gif"});
  model.Filter().text.clear();
  model.Filter().site = "b.example";
  model.Reload();
  EXPECT_EQ(Addresses(model), std::vector<std::string>{"http://img.b.example/two.jpg"});
  model.Filter().site.clear();
  model.Filter().since = 2000;
  model.Reload();
  EXPECT_EQ(model.Rows().size(), 2u);
  EXPECT_EQ(model.FilePath(model.Rows()[0]), folder_ + "/DownLoad/img.b.example/two.jpg");
  EXPECT_EQ(model.FolderPath(model.Rows()[0]), folder_ + "/DownLoad/img.b.example");
}

TEST_F(DownloadsModelTest, ForgetTakesOnlyTheExactAddress) {
  // The second address contains the first; the third's file name does too.
  HistoryEntry third = Entry("http://c.example/other.png", 300);
  third.file = "DownLoad/c.example/http://a.example/x.png";
  Seed({Entry("http://a.example/x.png", 100), Entry("http://a.example/x.png?big", 200), third});
  DownloadsModel model(folder_);
  ASSERT_TRUE(model.Forget("http://a.example/x.png")) << model.Message();
  ASSERT_TRUE(model.Reload());
  EXPECT_EQ(Addresses(model), (std::vector<std::string>{"http://c.example/other.png",
                                                        "http://a.example/x.png?big"}));
  EXPECT_EQ(model.Rows()[1].fetchedAt, 200);  // put back as it was
  EXPECT_EQ(model.Rows()[1].sha256, std::string(64, 'a'));
}

TEST_F(DownloadsModelTest, DeleteFileRemovesOnlyFilesBelowTheWorkingFolder) {
  const std::string work = folder_ + "/work";
  std::filesystem::create_directory(work);
  HistoryEntry entry = Entry("http://a.example/x.png", 100);
  entry.file = "x.png";
  ASSERT_TRUE(WriteFileAtomically(work + "/x.png", "PNG"));
  ASSERT_TRUE(WriteFileAtomically(folder_ + "/outside.png", "PNG"));
  DownloadsModel model(work);
  EXPECT_TRUE(model.DeleteFile(entry)) << model.Message();
  EXPECT_FALSE(FileExists(work + "/x.png"));
  EXPECT_TRUE(model.DeleteFile(entry));  // already gone
  entry.file = "DownLoad/../../outside.png";
  EXPECT_FALSE(model.DeleteFile(entry));
  EXPECT_TRUE(FileExists(folder_ + "/outside.png"));
}

TEST_F(DownloadsModelTest, DamagedHistoryShowsTheStoresMessage) {
  fs::create_directories(folder_ + "/DownLoad");
  testing::WriteFile(folder_ + "/" + kHistoryFileName, std::string(8192, 'x'));
  DownloadsModel model(folder_);
  EXPECT_FALSE(model.Reload());
  EXPECT_NE(model.Message().find("別名で残して"), std::string::npos) << model.Message();
  EXPECT_TRUE(model.Rows().empty());
  EXPECT_TRUE(model.Reload());  // the new history it started reads fine
}

TEST(DownloadsText, TimesSizesAndPeriods) {
  setenv("TZ", "Asia/Tokyo", 1);
  tzset();
  EXPECT_EQ(LocalTimeText(0), "1970-01-01 09:00:00");
  EXPECT_EQ(SizeText(0), "0 B");
  EXPECT_EQ(SizeText(1023), "1023 B");
  EXPECT_EQ(SizeText(1536), "1.5 KB");
  EXPECT_EQ(SizeText(5LL * 1024 * 1024 * 1024), "5.0 GB");
  const long long now = 1714563000;  // 2024-05-01 20:30 in Tokyo
  EXPECT_EQ(SinceTime(SincePeriod::All, now), 0);
  EXPECT_EQ(LocalTimeText(SinceTime(SincePeriod::Today, now)), "2024-05-01 00:00:00");
  EXPECT_EQ(LocalTimeText(SinceTime(SincePeriod::Week, now)), "2024-04-25 00:00:00");
  EXPECT_EQ(LocalTimeText(SinceTime(SincePeriod::Month, now)), "2024-04-02 00:00:00");
}

TEST(DownloadsText, RefetchNeedsThePageAndAnExtension) {
  auto plan = DownloadsModel::RefetchOf(Entry("http://a.example/d/pic.JPG?x=1#y", 1,
                                              "http://a.example/d/page.html"));
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->page, "http://a.example/d/page.html");
  EXPECT_EQ(plan->extension, "JPG");
  EXPECT_FALSE(DownloadsModel::RefetchOf(Entry("http://a.example/pic.png", 1)));
  EXPECT_FALSE(DownloadsModel::RefetchOf(Entry("http://a.example/dir/", 1, "http://a.example/")));
  EXPECT_FALSE(DownloadsModel::RefetchOf(Entry("http://a.example", 1, "http://a.example/")));
}

TEST(TransferMeter, FilesBytesAndSpeedAcrossBatches) {
  TransferMeter meter;
  EXPECT_FALSE(meter.Active());
  meter.Report("ページ取得中", 0, 0);
  EXPECT_EQ(meter.FilesText(), "");
  meter.Report("ダウンロード中 0/4", 0, 1000);
  meter.Count(2, 4);  // counts come as values, never read from the words
  meter.Report("ダウンロード中 9/9", 200 * 1024, 2000);
  EXPECT_TRUE(meter.Active());
  EXPECT_EQ(meter.FilesText(), "ファイル 2/4");
  EXPECT_EQ(meter.Speed(2000), 200 * 1024 / 2);  // over the two seconds since the first report
  EXPECT_EQ(meter.DetailText(2000), "ファイル 2/4　200.0 KB　100.0 KB/秒");
  // A new batch counts from zero again; the call's bytes go on.
  meter.Report("ダウンロード中 1/1", 100 * 1024, 2500);
  EXPECT_EQ(meter.Bytes(), 300 * 1024);
  meter.HostWait("example.jp", 11500, 2500);  // a server's back-off, told as a value
  const std::string waiting = "　サーバー待ち: example.jp あと 12 秒";
  EXPECT_EQ(meter.DetailText(2500).substr(meter.DetailText(2500).size() - waiting.size()), waiting);
  meter.HostWait("example.jp", 0, 3000);
  EXPECT_EQ(meter.DetailText(3000).find("サーバー待ち"), std::string::npos);
  // Nothing for longer than the window: no speed.
  EXPECT_EQ(meter.Speed(2500 + TransferMeter::kWindowMs + 1), 0);
  meter.End();
  EXPECT_FALSE(meter.Active());
  meter.Report("ダウンロード中 0/1", 10, 9000);  // the next call starts afresh
  EXPECT_EQ(meter.Bytes(), 10);
}

}  // namespace
}  // namespace mireva
