// The mireva-history program as a user runs it, on a working folder named by
// $MIREVA_HOME, in a fixed time zone (JST-9) so the printed times are known.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "history/history_store.h"
#include "tests/support/test_server.h"

namespace mireva {
namespace {

using testing::BinDir;
using testing::MakeTempFolder;
using testing::ReadFile;
using testing::RemoveFolder;
using testing::WriteFile;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

class HistoryToolTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = MakeTempFolder("mireva-history-tool"); }
  void TearDown() override { RemoveFolder(folder_); }

  // `args` is shell text: the tests quote what needs it.
  Outcome Tool(const std::string& args, const std::string& home = "") {
    const std::string errPath = folder_ + ".err";
    const std::string command = "TZ=JST-9 MIREVA_HOME='" + (home.empty() ? folder_ : home) + "' '" +
                                BinDir() + "/mireva-history' " + args + " 2>'" + errPath + "'";
    Outcome r;
    std::FILE* p = ::popen(command.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = ReadFile(errPath);
    std::remove(errPath.c_str());
    return r;
  }

  std::string folder_;
};

TEST_F(HistoryToolTest, RefusesBadArgumentsWithStatusOne) {
  Outcome help = Tool("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: mireva-history"), std::string::npos);
  EXPECT_EQ(Tool("list --help").status, 0);

  const char* bad[] = {"",
                       "show",
                       "list --since",
                       "list --since 2024-02-30",
                       "list --since 2024-1-01",
                       "list --site",
                       "list --frobnicate",
                       "list a b",
                       "forget",
                       "forget --site example.com x",
                       "stats x"};
  for (size_t i = 0; i < std::size(bad); ++i) {
    Outcome r = Tool(bad[i]);
    EXPECT_EQ(r.status, 1) << "row " << i << ": " << bad[i];
    EXPECT_NE(r.err.find("mireva-history: "), std::string::npos) << "row " << i;
    EXPECT_EQ(r.out, "") << "row " << i;
  }
  EXPECT_EQ(Tool("list", folder_ + "/missing").status, 1);
}

TEST_F(HistoryToolTest, ListsForgetsAndTotalsInUtf8) {
  {
    HistoryStore store;
    ASSERT_TRUE(store.Open(folder_)) << store.Message();
    auto entry = [](const char* address, const char* file, long long size, long long time) {
      HistoryEntry e;
      e.address = address;
      e.file = file;
      e.size = size;
      e.fetchedAt = time;
      return e;
    };
    ASSERT_EQ(
        store.Record(
            {entry("http://a.example/x.jpg", "DownLoad/a.example/x.jpg", 123, 1714521600),
             entry("http://img.b.example/y.png", "DownLoad/b.example/画像.png", 5, 1714608000)}),
        2u);
  }
  const std::string lineA =
      "2024-05-01T09:00:00+09:00\t123\thttp://a.example/x.jpg\tDownLoad/a.example/x.jpg\n";
  const std::string lineB =
      "2024-05-02T09:00:00+09:00\t5\thttp://img.b.example/y.png\tDownLoad/b.example/"
      "\xE7\x94\xBB\xE5\x83\x8F.png\n";
  Outcome list = Tool("list");
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out, lineB + lineA);
  EXPECT_EQ(Tool("list --since 2024-05-02").out, lineB);
  EXPECT_EQ(Tool("list --site=B.example").out, lineB);
  EXPECT_EQ(Tool("list \xE7\x94\xBB\xE5\x83\x8F").out, lineB);
  EXPECT_EQ(Tool("list nothing-like-it").out, "");

  EXPECT_EQ(Tool("stats").out,
            "a.example\t1\t123\t2024-05-01T09:00:00+09:00\n"
            "img.b.example\t1\t5\t2024-05-02T09:00:00+09:00\n");

  Outcome forget = Tool("forget x.jpg");
  EXPECT_EQ(forget.status, 0);
  EXPECT_EQ(forget.out, "1\n");
  EXPECT_EQ(Tool("forget x.jpg").out, "0\n");
  EXPECT_EQ(Tool("list").out, lineB);
}

TEST_F(HistoryToolTest, ReportsADamagedDatabaseOnceAndStartsANewOne) {
  std::filesystem::create_directories(folder_ + "/DownLoad");
  WriteFile(folder_ + "/DownLoad/History.sqlite", "this is no database, just some text\n");
  Outcome r = Tool("list");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("DownLoad/History.sqlite.damaged-"), std::string::npos) << r.err;
  // The message is the system's own text, in the terminal's UTF-8.
  EXPECT_NE(r.err.find("\xE5\xB1\xA5\xE6\xAD\xB4"), std::string::npos) << r.err;  // 履歴
  Outcome again = Tool("list");
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.out, "");
}

}  // namespace
}  // namespace mireva
