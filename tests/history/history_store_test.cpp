#include "history/history_store.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_server.h"

namespace mireva {
namespace {

namespace fs = std::filesystem;
using testing::MakeTempFolder;
using testing::ReadFile;
using testing::RemoveFolder;
using testing::WriteFile;

HistoryEntry Entry(const std::string& address, const std::string& file, long long time,
                   long long size = 100) {
  HistoryEntry e;
  e.address = address;
  e.file = file;
  e.fetchedAt = time;
  e.size = size;
  e.kind = RunKind::Patrol;
  return e;
}

HistoryFilter Filter(long long since, const std::string& site, const std::string& text,
                     size_t limit = 0) {
  HistoryFilter f;
  f.since = since;
  f.site = site;
  f.text = text;
  f.limit = limit;
  return f;
}

std::vector<std::string> Addresses(const std::vector<HistoryEntry>& entries) {
  std::vector<std::string> out;
  for (const HistoryEntry& e : entries) out.push_back(e.address);
  return out;
}

std::vector<std::string> AsideFiles(const std::string& folder) {
  std::vector<std::string> out;
  for (const auto& f : fs::directory_iterator(folder + "/DownLoad")) {
    const std::string name = f.path().filename().string();
    if (name.find(".damaged-") != std::string::npos && !name.ends_with("-wal") &&
        !name.ends_with("-shm"))
      out.push_back(f.path().string());
  }
  return out;
}

// Overwrites the pages of the table "meta" and of its index: the entries stay
// readable and writable, but the next opening of the history finds the damage.
void DamageMetaPages(const std::string& folder) {
  const std::string path = folder + "/DownLoad/History.sqlite";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  // The pages are overwritten in the database file, so none may wait in the log.
  ASSERT_EQ(sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr),
            SQLITE_OK);
  long long pageSize = 0;
  std::vector<long long> pages;
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db,
                               "SELECT rootpage, (SELECT page_size FROM pragma_page_size)"
                               " FROM sqlite_schema WHERE tbl_name = 'meta'",
                               -1, &st, nullptr),
            SQLITE_OK);
  while (sqlite3_step(st) == SQLITE_ROW) {
    pages.push_back(sqlite3_column_int64(st, 0));
    pageSize = sqlite3_column_int64(st, 1);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  ASSERT_EQ(pages.size(), 2u);
  std::FILE* f = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(f, nullptr);
  const std::string junk(static_cast<size_t>(pageSize), '\xA5');
  for (long long page : pages) {
    std::fseek(f, static_cast<long>((page - 1) * pageSize), SEEK_SET);
    std::fwrite(junk.data(), 1, junk.size(), f);
  }
  std::fclose(f);
}

class HistoryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = MakeTempFolder("mireva-history"); }
  void TearDown() override { RemoveFolder(folder_); }
  std::string folder_;
};

TEST_F(HistoryStoreTest, RecordsLooksUpListsForgetsAndTotals) {
  HistoryStore store;
  ASSERT_TRUE(store.Open(folder_)) << store.Message();
  EXPECT_TRUE(fs::exists(folder_ + "/DownLoad/History.sqlite"));
  fs::create_directories(folder_ + "/DownLoad/img.example.com");
  WriteFile(folder_ + "/DownLoad/img.example.com/a.jpg", "abc");

  HistoryEntry a = Entry("http://img.example.com/a.jpg", "DownLoad/img.example.com/a.jpg", 1000, 3);
  a.referrer = "http://example.com/page.html";
  a.finalAddress = "http://cdn.example.net/a.jpg";
  // "アイ" is 83 41 83 43 in Shift_JIS: an "A" must not match inside it.
  HistoryEntry b = Entry("http://Example.COM:8080/b.png", "DownLoad/example.com/アイ.png", 2000);
  HistoryEntry c =
      Entry("https://user@badexample.com/c.gif", "DownLoad/badexample.com/c.gif", 3000);
  HistoryEntry tab = Entry("http://example.com/x\ty", "DownLoad/x", 4000);
  ASSERT_EQ(store.Record({a, b, c, tab}), 3u);

  EXPECT_TRUE(store.Has("http://img.example.com/a.jpg"));
  EXPECT_FALSE(store.Has("http://img.example.com/other.jpg"));
  EXPECT_EQ(store.Known({"http://img.example.com/a.jpg", "http://nowhere/", c.address}).size(), 2u);

  std::vector<HistoryEntry> all = store.List({});
  ASSERT_EQ(Addresses(all), (std::vector<std::string>{c.address, b.address, a.address}));
  EXPECT_EQ(all[2].sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(all[2].referrer, a.referrer);
  EXPECT_EQ(all[2].finalAddress, a.finalAddress);
  EXPECT_EQ(all[2].kind, RunKind::Patrol);
  EXPECT_EQ(all[1].site, "example.com");
  EXPECT_EQ(all[0].site, "badexample.com");

  EXPECT_EQ(Addresses(store.List(Filter(2000, "", ""))),
            (std::vector<std::string>{c.address, b.address}));
  EXPECT_EQ(Addresses(store.List(Filter(0, "example.com", ""))),
            (std::vector<std::string>{b.address, a.address}));
  EXPECT_EQ(Addresses(store.List(Filter(0, "", "cdn.example.net"))),
            std::vector<std::string>{a.address});
  EXPECT_EQ(Addresses(store.List(Filter(0, "", "イ"))), std::vector<std::string>{b.address});
  EXPECT_TRUE(store.List(Filter(0, "", "A")).empty());
  EXPECT_EQ(store.List(Filter(0, "", "", 1)).size(), 1u);

  // A new fetch of a known address replaces its entry.
  HistoryEntry again = Entry(a.address, "DownLoad/img.example.com/a-2.jpg", 5000, 7);
  again.sha256 = std::string(64, 'F');
  ASSERT_EQ(store.Record({again}), 1u);
  EXPECT_EQ(store.Count(), 3);
  EXPECT_EQ(store.List({})[0].file, "DownLoad/img.example.com/a-2.jpg");
  EXPECT_EQ(store.List({})[0].sha256, std::string(64, 'f'));

  std::vector<SiteTotals> totals = store.Stats();
  ASSERT_EQ(totals.size(), 3u);
  EXPECT_EQ(totals[0].site, "badexample.com");
  EXPECT_EQ(totals[2].site, "img.example.com");
  EXPECT_EQ(totals[2].bytes, 7);
  EXPECT_EQ(totals[2].newest, 5000);

  EXPECT_EQ(store.Forget(Filter(0, "", "example.com/")), 3);
  EXPECT_EQ(store.Forget(Filter(0, "", "example.com/")), 0);
  EXPECT_FALSE(store.Has(b.address));
  EXPECT_TRUE(store.Message().empty()) << store.Message();
}

TEST_F(HistoryStoreTest, ImportsTheOldRecordOnceAndKeepsIt) {
  fs::create_directories(folder_ + "/DownLoad");
  const std::string old =
      "http://a.example/1.jpg\t10\t1700000000\ta.example/1.jpg\n"
      "not a line\n"
      "http://a.example/画.jpg\t20\t1700000100\ta.example/画.jpg\n";
  WriteFile(folder_ + "/DownLoad/Fetched.lst", old);
  {
    HistoryStore store;
    ASSERT_TRUE(store.Open(folder_)) << store.Message();
    EXPECT_EQ(store.Imported(), 2u);
    std::vector<HistoryEntry> all = store.List({});
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].file, "DownLoad/a.example/画.jpg");
    EXPECT_EQ(all[0].fetchedAt, 1700000100);
    EXPECT_EQ(all[0].size, 20);
    EXPECT_EQ(all[0].kind, RunKind::Unknown);
    ASSERT_EQ(
        store.Record({Entry("http://a.example/1.jpg", "DownLoad/a.example/1.jpg", 1800000000)}),
        1u);
  }
  EXPECT_FALSE(fs::exists(folder_ + "/DownLoad/Fetched.lst"));
  EXPECT_EQ(ReadFile(folder_ + "/DownLoad/Fetched.lst.imported"), old);

  // An old record that turns up again adds what is new and overrides nothing.
  WriteFile(folder_ + "/DownLoad/Fetched.lst",
            "http://a.example/1.jpg\t10\t1700000000\ta.example/1.jpg\n"
            "http://b.example/2.jpg\t30\t1700000200\tb.example/2.jpg\n");
  HistoryStore store;
  ASSERT_TRUE(store.Open(folder_)) << store.Message();
  EXPECT_EQ(store.Imported(), 1u);
  EXPECT_EQ(store.Count(), 3);
  EXPECT_EQ(store.List(Filter(0, "", "1.jpg"))[0].fetchedAt, 1800000000);
  EXPECT_EQ(ReadFile(folder_ + "/DownLoad/Fetched.lst.imported"), old);
  EXPECT_TRUE(fs::exists(folder_ + "/DownLoad/Fetched.lst.imported-2"));
  store.Close();
  ASSERT_TRUE(store.Open(folder_));
  EXPECT_EQ(store.Imported(), 0u);
}

TEST_F(HistoryStoreTest, SetsADamagedDatabaseAsideAndStartsANewOne) {
  // Not a database at all.
  fs::create_directories(folder_ + "/DownLoad");
  WriteFile(folder_ + "/DownLoad/History.sqlite", std::string(8192, 'x'));
  {
    HistoryStore store;
    ASSERT_TRUE(store.Open(folder_));
    EXPECT_NE(store.Message().find("History.sqlite.damaged-"), std::string::npos)
        << store.Message();
    ASSERT_EQ(AsideFiles(folder_).size(), 1u);
    EXPECT_EQ(ReadFile(AsideFiles(folder_)[0]), std::string(8192, 'x'));
    std::vector<HistoryEntry> many;
    for (int i = 0; i < 3000; ++i)
      many.push_back(Entry("http://s.example/" + std::to_string(i) + ".jpg", "DownLoad/f", i + 1));
    ASSERT_EQ(store.Record(many), 3000u);
  }
  // A database whose pages were overwritten, found by the check of the day.
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((folder_ + "/DownLoad/History.sqlite").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE meta SET value = 0 WHERE key = 'checked_at'", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  {
    std::FILE* f = std::fopen((folder_ + "/DownLoad/History.sqlite").c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 4096 * 3, SEEK_SET);
    std::string junk(4096 * 20, '\xA5');
    std::fwrite(junk.data(), 1, junk.size(), f);
    std::fclose(f);
  }
  HistoryStore store;
  ASSERT_TRUE(store.Open(folder_));
  EXPECT_NE(store.Message().find("History.sqlite.damaged-"), std::string::npos) << store.Message();
  EXPECT_EQ(AsideFiles(folder_).size(), 2u);
  EXPECT_EQ(store.Count(), 0);
  EXPECT_EQ(store.Record({Entry("http://s.example/new.jpg", "DownLoad/f", 1)}), 1u);
}

TEST_F(HistoryStoreTest, AProcessWhoseDatabaseWasSetAsideRecordsIntoTheNewOne) {
  constexpr int kEntries = 50;
  {
    HistoryStore store;
    ASSERT_TRUE(store.Open(folder_)) << store.Message();
  }
  int ready[2], go[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(go), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    bool ok = false;
    {
      HistoryStore store;
      char c = store.Open(folder_) ? '1' : '0';
      if (write(ready[1], &c, 1) == 1 && read(go[0], &c, 1) == 1) {
        ok = c == '1';
        for (int i = 0; ok && i < kEntries; ++i)
          ok =
              store.Record({Entry("http://w.example/" + std::to_string(i), "DownLoad/f", 0)}) == 1u;
      }
    }
    _exit(ok ? 0 : 1);
  }
  close(ready[1]);
  close(go[0]);
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  close(ready[0]);
  EXPECT_EQ(c, '1');

  // While the child has the history open, this process finds it damaged and
  // sets it aside; the child then records.
  DamageMetaPages(folder_);
  HistoryStore store;
  ASSERT_TRUE(store.Open(folder_)) << store.Message();
  EXPECT_NE(store.Message().find("History.sqlite.damaged-"), std::string::npos) << store.Message();
  c = '1';
  ASSERT_EQ(write(go[1], &c, 1), 1);
  close(go[1]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(store.Count(), kEntries);
}

TEST_F(HistoryStoreTest, TwoProcessesWritingAtOnceKeepEveryEntry) {
  constexpr int kBatches = 40, kPerBatch = 25;
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      HistoryStore store;
      bool ok = store.Open(folder_);
      for (int b = 0; ok && b < kBatches; ++b) {
        std::vector<HistoryEntry> batch;
        for (int i = 0; i < kPerBatch; ++i)
          batch.push_back(Entry("http://p" + std::to_string(p) + ".example/" + std::to_string(b) +
                                    "-" + std::to_string(i),
                                "DownLoad/f", 0));
        ok = store.Record(batch) == static_cast<size_t>(kPerBatch) &&
             store.Known({batch[0].address}).size() == 1;
      }
      _exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  HistoryStore store;
  ASSERT_TRUE(store.Open(folder_));
  EXPECT_EQ(store.Count(), 2 * kBatches * kPerBatch);
  std::vector<std::string> expected;
  for (int p = 0; p < 2; ++p)
    for (int b = 0; b < kBatches; ++b)
      for (int i = 0; i < kPerBatch; ++i)
        expected.push_back("http://p" + std::to_string(p) + ".example/" + std::to_string(b) + "-" +
                           std::to_string(i));
  EXPECT_EQ(store.Known(expected).size(), expected.size());
}

TEST_F(HistoryStoreTest, WriterKilledInsideABatchLeavesTheCommittedEntries) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    HistoryStore store;
    bool ok =
        store.Open(folder_) && store.Record({Entry("http://k.example/done", "DownLoad/f", 5)});
    ok = ok && store.BeginBatch();
    for (int i = 0; ok && i < 2000; ++i)
      ok = store.Add(Entry("http://k.example/open-" + std::to_string(i), "DownLoad/f", 6));
    char c = ok ? '1' : '0';
    if (write(ready[1], &c, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  close(ready[0]);
  EXPECT_EQ(c, '1');
  kill(pid, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);

  HistoryStore store;
  ASSERT_TRUE(store.Open(folder_));
  EXPECT_TRUE(store.Message().empty()) << store.Message();
  EXPECT_EQ(Addresses(store.List({})), std::vector<std::string>{"http://k.example/done"});
  EXPECT_FALSE(store.Has("http://k.example/open-0"));
  EXPECT_EQ(store.Record({Entry("http://k.example/open-0", "DownLoad/f", 7)}), 1u);

  const std::string command = "MIREVA_HOME='" + folder_ + "' '" + testing::BinDir() +
                              "/mireva-history' list > /dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
}

TEST_F(HistoryStoreTest, AFailedCommitReportsSQLitesOwnError) {
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(out[0]);
    std::string said = "not opened";
    HistoryStore store;
    struct stat wal;
    if (store.Open(folder_) && store.Record({Entry("http://c.example/1", "DownLoad/f", 1)}) &&
        ::stat((folder_ + "/DownLoad/History.sqlite-wal").c_str(), &wal) == 0) {
      // A file size limit at the log's end stands in for a full disk: the
      // batch reaches the log only at its commit, and that write fails.
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit{};
      getrlimit(RLIMIT_FSIZE, &limit);
      limit.rlim_cur = static_cast<rlim_t>(wal.st_size);
      setrlimit(RLIMIT_FSIZE, &limit);
      said = store.Record({Entry("http://c.example/2", "DownLoad/f", 2)}) ? "recorded"
                                                                          : store.Message();
    }
    _exit(write(out[1], said.data(), said.size()) == static_cast<ssize_t>(said.size()) ? 0 : 1);
  }
  close(out[1]);
  std::string said;
  char buf[512];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
    said.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_NE(said.find(sqlite3_errstr(SQLITE_IOERR)), std::string::npos) << said;
  EXPECT_EQ(said.find("no transaction is active"), std::string::npos) << said;
}

}  // namespace
}  // namespace mireva
