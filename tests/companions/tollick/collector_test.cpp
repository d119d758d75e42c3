#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "companions/tollick/cache_collector.h"
#include "tests/companions/tollick/cache_samples.h"
#include "tests/support/test_server.h"

namespace mireva::tollick {
namespace {

namespace fs = std::filesystem;
using mireva::testing::ReadFile;
using mireva::testing::WriteFile;

// Puts a file into the fake cache with a modification time well in the past,
// as the browser's finished entries have.
void PutSettled(const std::string& path, const std::string& data) {
  fs::create_directories(fs::path(path).parent_path());
  WriteFile(path, data);
  timeval times[2] = {{1000000000, 0}, {1000000000, 0}};
  ::utimes(path.c_str(), times);
}

std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class Collector : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = mireva::testing::MakeTempFolder("tollick-collect");
    cache = dir + "/cache";
    out = dir + "/home/Cache";
    records = cache + "/WebKitCache/Version 16/Records/abc/Resource";
    blobs = cache + "/WebKitCache/Version 16/Blobs";
  }
  void TearDown() override { mireva::testing::RemoveFolder(dir); }
  DownloadTypeFlags Enabled(std::initializer_list<int> types) {
    DownloadTypeFlags f{};
    for (int t : types) f[static_cast<size_t>(t)] = true;
    return f;
  }
  std::string dir, cache, out, records, blobs;
};

TEST_F(Collector, CollectsEnabledTypesFromBlobsAndRecordsOnce) {
  const std::string jpeg = testing::SampleJpeg('1');
  const std::string inlineJpeg = testing::SampleJpeg('2');
  PutSettled(blobs + "/0a1b", jpeg);
  PutSettled(records + "/5f5f", testing::Record(inlineJpeg));
  PutSettled(records + "/6e6e", testing::Record(testing::SamplePng()));  // PNG not enabled
  PutSettled(records + "/7d7d", testing::Record("<html>page</html>"));
  PutSettled(cache + "/other/copy-of-blob", jpeg);  // the same content again
  PutSettled(cache + "/cookies.sqlite", "SQLite format 3\0" + testing::SampleJpeg('3'));

  CacheCollector collector(cache, out);
  EXPECT_TRUE(collector.Scan(CacheCollector::ScanKind::During).empty());  // nothing enabled
  collector.SetTypes(Enabled({0}));                                       // JPEG
  auto got = collector.Scan(CacheCollector::ScanKind::During);
  EXPECT_EQ(got.size(), 2u);
  auto names = Listing(out);
  ASSERT_EQ(names.size(), 2u);
  std::vector<std::string> contents = {ReadFile(out + "/" + names[0]),
                                       ReadFile(out + "/" + names[1])};
  EXPECT_NE(std::find(contents.begin(), contents.end(), jpeg), contents.end());
  EXPECT_NE(std::find(contents.begin(), contents.end(), inlineJpeg), contents.end());
  for (const auto& n : names) EXPECT_EQ(n.substr(n.size() - 4), ".jpg");

  // Nothing new: nothing taken. Enabling PNG later picks up the PNG record
  // that was passed over, and the JPEGs stay single.
  EXPECT_TRUE(collector.Scan(CacheCollector::ScanKind::During).empty());
  collector.SetTypes(Enabled({0, 2}));
  got = collector.Scan(CacheCollector::ScanKind::During);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].substr(got[0].size() - 4), ".png");
  EXPECT_EQ(Listing(out).size(), 3u);
}

TEST_F(Collector, SharedContainersTakeTheFirstEnabledType) {
  PutSettled(blobs + "/asf", testing::SampleAsf());
  CacheCollector collector(cache, out);
  collector.SetTypes(Enabled({17}));  // ASF only
  auto got = collector.Scan(CacheCollector::ScanKind::During);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].substr(16), ".asf");
  CacheCollector both(cache, dir + "/other");
  both.SetTypes(Enabled({15, 17}));  // WMV comes first in the table
  got = both.Scan(CacheCollector::ScanKind::During);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].substr(16), ".wmv");
}

TEST_F(Collector, FreshFilesWaitUntilTheFinalScan) {
  fs::create_directories(blobs);
  WriteFile(blobs + "/fresh", testing::SampleJpeg('f'));  // modified just now
  CacheCollector collector(cache, out);
  collector.SetTypes(Enabled({0}));
  EXPECT_TRUE(collector.Scan(CacheCollector::ScanKind::During).empty());
  EXPECT_EQ(collector.Scan(CacheCollector::ScanKind::Final).size(), 1u);
}

TEST_F(Collector, MissingCacheFolderIsNoError) {
  CacheCollector collector(dir + "/none", out);
  collector.SetTypes(Enabled({0}));
  EXPECT_TRUE(collector.Scan(CacheCollector::ScanKind::Final).empty());
}

}  // namespace
}  // namespace mireva::tollick
