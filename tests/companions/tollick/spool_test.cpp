// The spool between the browser view and the watcher, both sides in one process.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "companions/tollick/resource_spool.h"
#include "tests/companions/tollick/cache_samples.h"
#include "tests/support/test_server.h"

namespace mireva::tollick {
namespace {

namespace fs = std::filesystem;

TypeMask Of(const char* key) {
  const auto& table = DownloadTypeTable();
  for (size_t i = 0; i < table.size(); ++i)
    if (std::string(table[i].key) == key) return TypeMask{1} << i;
  return 0;
}

TEST(ResourceTypes, ByTheServersTypeElseByTheBytes) {
  EXPECT_EQ(ResourceTypes("image/JPEG; charset=x", ""), Of("JPEG"));
  EXPECT_EQ(ResourceTypes("video/quicktime", ""), Of("MOV") | Of("QT"));
  EXPECT_EQ(ResourceTypes("", testing::SamplePng()), Of("PNG"));
  EXPECT_EQ(ResourceTypes("application/octet-stream", testing::SampleJpeg()), Of("JPEG"));
  // A page is no image, whatever its first bytes.
  EXPECT_EQ(ResourceTypes("text/html", testing::SamplePng()), 0u);
}

TEST(Spool, EachEnabledContentLandsOnceAndTheSpoolEmpties) {
  const std::string dir = mireva::testing::MakeTempFolder("tollick-spool");
  const std::string spool = dir + "/Spool", out = dir + "/Cache";
  SpoolState state;
  state.types[0] = state.types[2] = true;  // JPEG, PNG
  state.limit = 1 << 20;
  ASSERT_TRUE(WriteSpoolState(spool, state));
  SpoolWriter view(spool);
  const std::string jpeg = testing::SampleJpeg(), png = testing::SamplePng();
  EXPECT_TRUE(view.Offer("http://h/a.jpg", "http://h/", "image/jpeg", jpeg));
  EXPECT_TRUE(view.Offer("http://h/a-copy.jpg", "http://h/", "image/jpeg", jpeg));
  EXPECT_TRUE(view.Offer("data:image/png;base64,AAAA", "http://h/", "image/png", png));
  EXPECT_FALSE(view.Offer("http://h/a.gif", "http://h/", "image/gif", "GIF89a...."));
  // What the view keeps no bytes of goes to the engine when its type is on.
  EXPECT_TRUE(view.WantsWithoutBytes("http://h/b.png", "image/png"));
  EXPECT_FALSE(view.WantsWithoutBytes("http://h/b.gif", "image/gif"));
  EXPECT_FALSE(view.WantsWithoutBytes("file:///home/b.png", "image/png"));

  // The watcher turns PNG off before it collects: that record is dropped.
  state.types[2] = false;
  SpoolCollector collector(spool, out);
  auto names = collector.Collect(state);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(mireva::testing::ReadFile(out + "/" + names[0]), jpeg);
  EXPECT_EQ(names[0].substr(names[0].size() - 4), ".jpg");
  size_t left = 0;
  for (auto& e : fs::directory_iterator(spool))
    left += e.path().filename() != kSpoolStateName;
  EXPECT_EQ(left, 0u);
  // Collecting again finds nothing new.
  EXPECT_TRUE(view.Offer("http://h/a.jpg", "http://h/", "image/jpeg", jpeg));
  EXPECT_TRUE(collector.Collect(state).empty());
  mireva::testing::RemoveFolder(dir);
}

}  // namespace
}  // namespace mireva::tollick
