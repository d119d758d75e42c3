// The engine at work against the loopback test server: what it fetches, where
// it puts it, what it refuses, and what a failure leaves behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "platform/monotonic_clock.h"
#include "companions/download_engine/output_folder.h"
#include "companions/download_engine/safe_name.h"
#include "history/history_store.h"
#include "tests/companions/download_engine/engine_test_support.h"

namespace mireva::dl {
namespace {

using mireva::testing::ReadFile;
using mireva::testing::TestServer;
using mireva::testing::WriteFile;
using testing::EngineFixture;

std::string Route(const std::string& path, const std::string& answer) {
  return "\"" + path + "\": " + answer;
}
std::string Routes(std::initializer_list<std::string> routes) {
  std::string json = "{\"routes\": {";
  bool first = true;
  for (const std::string& r : routes) {
    json += (first ? "" : ", ") + r;
    first = false;
  }
  return json + "}}";
}
std::string Page(const std::string& html) {
  std::string escaped;
  for (char c : html) escaped += c == '"' ? std::string("\\\"") : std::string(1, c);
  return "{\"body\": \"" + escaped + "\"}";
}
std::string Body(const std::string& text, const std::string& type = "image/jpeg") {
  return "{\"body\": \"" + text + "\", \"content_type\": \"" + type + "\"}";
}

constexpr char kHostFolder[] = "DownLoad/127.0.0.1";

// The download history of the working folder, by the address asked for.
std::map<std::string, HistoryEntry> History() {
  std::map<std::string, HistoryEntry> byAddress;
  HistoryStore store;
  if (!store.Open(".")) ADD_FAILURE() << store.Message();
  for (HistoryEntry& e : store.List({})) byAddress[e.address] = std::move(e);
  return byAddress;
}

class EngineFiles : public EngineFixture {};

TEST_F(EngineFiles, ALoadFetchesEveryFileOfTheTypeWithThePageAsReferrer) {
  TestServer server(Routes({
      Route("/site/page.html",
            Page("<img src='a.jpg'><a href='b.JPEG?size=big'>b</a><img src='c.gif'>"
                 "<a href='/other/d.jpg'>d</a><iframe src='f.html'></iframe><a href='a.jpg'>again</a>")),
      Route("/site/a.jpg", Body("AAAA")),
      Route("/site/b.JPEG", Body("BBBB")),
      Route("/site/c.gif", Body("CCCC", "image/gif")),
      Route("/other/d.jpg", Body("DDDD")),
  }));
  ASSERT_TRUE(server.Running());
  MakeEngine().ALoad(server.Url("/site/page.html"), "JPG");
  EXPECT_EQ(Files(kHostFolder), (std::vector<std::string>{"a.jpg", "b.JPEG", "d.jpg"}));
  EXPECT_EQ(ReadFile(std::string(kHostFolder) + "/b.JPEG"), "BBBB");
  EXPECT_EQ(Count(server, "/site/a.jpg"), 1);  // linked twice, fetched once
  EXPECT_EQ(Count(server, "/site/c.gif"), 0);
  for (const auto& r : server.Requests())
    if (r.path == "/site/a.jpg") {
      EXPECT_EQ(r.Header("Referer"), server.Url("/site/page.html"));
    }
  EXPECT_TRUE(host.messages.empty());
  // The history names what was fetched, from where and as what.
  auto history = History();
  ASSERT_EQ(history.size(), 3u);
  const HistoryEntry& a = history[server.Url("/site/a.jpg")];
  EXPECT_EQ(a.finalAddress, server.Url("/site/a.jpg"));
  EXPECT_EQ(a.referrer, server.Url("/site/page.html"));
  EXPECT_EQ(a.file, "DownLoad/127.0.0.1/a.jpg");
  EXPECT_EQ(a.size, 4);
  EXPECT_EQ(a.sha256, "63c1dd951ffedf6f7fd968ad4efa39b8ed584f162f46e715114ee184f8de9201");  // "AAAA"
  EXPECT_EQ(a.kind, RunKind::Patrol);
  EXPECT_EQ(history[server.Url("/site/b.JPEG?size=big")].file, "DownLoad/127.0.0.1/b.JPEG");
}

TEST_F(EngineFiles, ARepeatedRunFetchesNothingTwiceButFetchesWhatIsNew) {
  TestServer server(Routes({
      Route("/p.html", Page("<img src='one.png'><img src='two.png'>")),
      Route("/one.png", Body("1", "image/png")),
      Route("/two.png", Body("2", "image/png")),
      Route("/three.png", Body("3", "image/png")),
  }));
  MakeEngine().ALoad(server.Url("/p.html"), "png");
  ASSERT_EQ(Files(kHostFolder).size(), 2u);
  server.ClearRequests();
  MakeEngine().ALoad(server.Url("/p.html"), "png");
  EXPECT_EQ(Count(server, "/one.png") + Count(server, "/two.png"), 0);
  // The next day the page links a new file: only that one is fetched.
  server.SetRoutes(Routes({
      Route("/p.html", Page("<img src='one.png'><img src='two.png'><img src='three.png'>")),
      Route("/three.png", Body("3", "image/png")),
  }));
  server.ClearRequests();
  MakeEngine().ALoad(server.Url("/p.html"), "png");
  EXPECT_EQ(Count(server, "/three.png"), 1);
  EXPECT_EQ(Count(server, "/one.png"), 0);
  EXPECT_EQ(Files(kHostFolder), (std::vector<std::string>{"one.png", "three.png", "two.png"}));
}

TEST_F(EngineFiles, AHistoryInTroubleIsToldOnceAndTheFilesStillCome) {
  TestServer server(Routes({
      Route("/p.html", Page("<img src='a.png'>")),
      Route("/a.png", Body("A", "image/png")),
  }));
  std::filesystem::create_directories("DownLoad");
  WriteFile("DownLoad/History.sqlite", std::string(8192, 'x'));
  MakeEngine().ALoad(server.Url("/p.html"), "png");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_NE(host.messages[0].find("DownLoad/History.sqlite.damaged-"), std::string::npos);
  EXPECT_EQ(History().size(), 1u);  // in the new history

  // A history that cannot be opened at all: said once, not by every call of
  // a patrol; the files are fetched without it.
  std::filesystem::remove_all("DownLoad");
  std::filesystem::create_directories("DownLoad/History.sqlite");
  host.messages.clear();
  MakeEngine().ALoad(server.Url("/p.html"), "png");
  MakeEngine().ALoad(server.Url("/p.html"), "png");
  EXPECT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(ReadFile(std::string(kHostFolder) + "/a.png"), "A");
}

TEST_F(EngineFiles, ANameTakenByOtherContentGetsANumberNeverAnOverwrite) {
  TestServer server(Routes({
      Route("/p.html", Page("<img src='x/pic.gif'><img src='y/pic.gif'><img src='z/pic.gif'>")),
      Route("/x/pic.gif", Body("first", "image/gif")),
      Route("/y/pic.gif", Body("second", "image/gif")),
      Route("/z/pic.gif", Body("first", "image/gif")),
  }));
  options.fetch.maxPerHost = 1;  // in list order, so the names are predictable
  MakeEngine().ALoad(server.Url("/p.html"), "gif");
  EXPECT_EQ(Files(kHostFolder), (std::vector<std::string>{"pic(1).gif", "pic.gif"}));
  EXPECT_EQ(ReadFile(std::string(kHostFolder) + "/pic.gif"), "first");
  EXPECT_EQ(ReadFile(std::string(kHostFolder) + "/pic(1).gif"), "second");
}

TEST_F(EngineFiles, HostileNamesStayInsideTheirFolder) {
  TestServer server(Routes({
      Route("/p.html", Page("<a href='/%2e%2e%2f%2e%2e%2fescape.zip'>1</a>"
                            "<a href='/-rf.zip'>2</a><a href='/.profile.zip'>3</a>"
                            "<a href='/a%0Ab%00c.zip'>4</a><a href='/%5C..%5Cwin.zip'>5</a>")),
      Route("/../../escape.zip", Body("e")),
      Route("/%2e%2e%2f%2e%2e%2fescape.zip", Body("e")),
      Route("/-rf.zip", Body("r")),
      Route("/.profile.zip", Body("p")),
      Route("/a%0Ab%00c.zip", Body("n")),
      Route("/%5C..%5Cwin.zip", Body("w")),
  }));
  MakeEngine().DLoad(server.Url("/p.html"), "4");
  std::vector<std::string> names = Files(kHostFolder);
  EXPECT_EQ(names.size(), 5u);
  for (const std::string& n : names) EXPECT_TRUE(IsSafeFileName(n)) << n;
  EXPECT_EQ(Files("DownLoad"), (std::vector<std::string>{"127.0.0.1", "History.sqlite"}));
  EXPECT_FALSE(std::filesystem::exists("escape.zip"));
}

TEST_F(EngineFiles, RedirectsAreFollowedOnlyToWebAddresses) {
  TestServer server(Routes({
      Route("/p.html", Page("<a href='moved.zip'>1</a><a href='tofile.zip'>2</a><a href='toftp.zip'>3</a>"
                            "<a href='loop.zip'>4</a>")),
      Route("/moved.zip", "{\"status\": 302, \"headers\": {\"Location\": \"/real/target.bin\"}}"),
      Route("/real/target.bin", Body("moved content")),
      Route("/tofile.zip", "{\"status\": 302, \"headers\": {\"Location\": \"file:///etc/passwd\"}}"),
      Route("/toftp.zip", "{\"status\": 301, \"headers\": {\"Location\": \"ftp://127.0.0.1/x.zip\"}}"),
      Route("/loop.zip", "{\"status\": 302, \"headers\": {\"Location\": \"/loop.zip\"}}"),
  }));
  MakeEngine().DLoad(server.Url("/p.html"), "4");
  // The file keeps the name it was linked by.
  EXPECT_EQ(Files(kHostFolder), std::vector<std::string>{"moved.zip"});
  EXPECT_EQ(ReadFile(std::string(kHostFolder) + "/moved.zip"), "moved content");
  EXPECT_LE(Count(server, "/loop.zip"), options.fetch.maxRedirects + 1);
  auto history = History();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history.begin()->first, server.Url("/moved.zip"));
  EXPECT_EQ(history.begin()->second.finalAddress, server.Url("/real/target.bin"));
  EXPECT_EQ(history.begin()->second.kind, RunKind::LinkCommand);
}

TEST_F(EngineFiles, TooManyRequestsWaitsForRetryAfterThenFetches) {
  TestServer server(Routes({
      Route("/p.html", Page("<img src='busy.jpg'><img src='gone.jpg'>")),
      Route("/busy.jpg", "{\"sequence\": [{\"status\": 429, \"headers\": {\"Retry-After\": \"1\"}},"
                         " {\"status\": 503}, {\"body\": \"finally\"}]}"),
      Route("/gone.jpg", "{\"status\": 503}"),
  }));
  options.fetch.maxRetries = 2;
  long long start = MonotonicMs();
  MakeEngine().ALoad(server.Url("/p.html"), "jpg");
  long long took = MonotonicMs() - start;
  EXPECT_EQ(Files(kHostFolder), std::vector<std::string>{"busy.jpg"});
  EXPECT_EQ(ReadFile(std::string(kHostFolder) + "/busy.jpg"), "finally");
  EXPECT_EQ(Count(server, "/busy.jpg"), 3);
  EXPECT_EQ(Count(server, "/gone.jpg"), 3);  // first try and two retries, then given up
  EXPECT_GE(took, 1000);
  // The host was told as waited for, and as waited for no longer at the end.
  ASSERT_GE(host.waits.size(), 2u);
  EXPECT_EQ(host.waits.front().first, "127.0.0.1");
  EXPECT_GT(host.waits.front().second, 0);
  EXPECT_LE(host.waits.front().second, 1000);
  EXPECT_EQ(host.waits.back(), std::make_pair(std::string("127.0.0.1"), 0LL));
}

TEST_F(EngineFiles, SlowFilesFinishButStalledAndCutFilesLeaveNothing) {
  TestServer server(Routes({
      Route("/p.html", Page("<img src='slow.jpg'><img src='stalled.jpg'><img src='cut.jpg'>"
                            "<img src='huge.jpg'>")),
      Route("/slow.jpg", "{\"body_repeat\": [\"s\", 4000], \"chunk_size\": 1000, \"chunk_delay_ms\": 300}"),
      Route("/stalled.jpg", "{\"body_repeat\": [\"t\", 4000], \"chunk_size\": 1000, \"chunk_delay_ms\": 3000}"),
      Route("/cut.jpg", "{\"body_repeat\": [\"c\", 50000], \"truncate_after\": 20000}"),
      Route("/huge.jpg", "{\"body_repeat\": [\"h\", 300000]}"),
  }));
  options.fetch.stallSeconds = 2;
  options.fetch.maxFileBytes = 200000;
  MakeEngine().ALoad(server.Url("/p.html"), "jpg");
  EXPECT_EQ(Files(kHostFolder), std::vector<std::string>{"slow.jpg"});
  EXPECT_EQ(ReadFile(std::string(kHostFolder) + "/slow.jpg").size(), 4000u);
  auto history = History();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history.begin()->first, server.Url("/slow.jpg"));
}

TEST_F(EngineFiles, FilesOfOneHostDownloadTogetherWhateverTheFirstAnswersSpeed) {
  // Each file is answered only once all five requests are at the server.
  std::string routes = "{\"routes\": {" + Route("/p.html", Page([] {
                         std::string h;
                         for (int i = 0; i < 5; ++i) h += "<img src='f" + std::to_string(i) + ".jpg'>";
                         return h;
                       }()));
  for (int i = 0; i < 5; ++i)
    routes += ", " + Route("/f" + std::to_string(i) + ".jpg",
                           "{\"body\": \"x\", \"await\": [\"five\", 5, 4000]}");
  TestServer server(routes + "}}");
  options.fetch.stallSeconds = 2;  // waiting for a connection is no stall
  MakeEngine().ALoad(server.Url("/p.html"), "jpg");
  EXPECT_EQ(Files(kHostFolder),
            (std::vector<std::string>{"f0.jpg", "f1.jpg", "f2.jpg", "f3.jpg", "f4.jpg"}));
}

TEST_F(EngineFiles, ManyFilesOfOneNameGetNumberedNamesAndIdenticalOnesAreNotDoubled) {
  FolderHandle same = OpenFolderChain({"DownLoad", "same"});
  ASSERT_TRUE(same.IsOpen());
  WriteFile("DownLoad/same/image(2).jpg", "there before");
  FileCommitter committer(same.Fd());
  auto commit = [&](const std::string& content) {
    std::string temp = TemporaryName();
    WriteFile("DownLoad/same/" + temp, content);
    return committer.Commit(temp, "image.jpg").value_or("");
  };
  for (int i = 0; i < 300; ++i) ASSERT_FALSE(commit("content " + std::to_string(i)).empty());
  EXPECT_EQ(Files("DownLoad/same").size(), 301u);
  EXPECT_EQ(ReadFile("DownLoad/same/image(1).jpg"), "content 1");
  EXPECT_EQ(ReadFile("DownLoad/same/image(3).jpg"), "content 2");
  EXPECT_EQ(commit("content 150"), "image(151).jpg");
  EXPECT_EQ(commit("there before"), "image(2).jpg");
  EXPECT_EQ(commit("content 0"), "image.jpg");
  EXPECT_EQ(commit("new"), "image(301).jpg");
  EXPECT_EQ(Files("DownLoad/same").size(), 302u);  // nothing doubled, no temporary left
  EXPECT_TRUE(committer.SyncFolder());
}

TEST_F(EngineFiles, CookiesOfTheBrowserViewOpenProtectedFiles) {
  TestServer server(Routes({
      Route("/p.html", Page("<img src='secret.png'>")),
      Route("/secret.png", "{\"body\": \"members only\", \"require_cookie\": \"session=s3cr3t\"}"),
  }));
  MakeEngine().ALoad(server.Url("/p.html"), "png");
  EXPECT_TRUE(Files(kHostFolder).empty());  // 403 without the cookie: no file

  WriteFile(dir + "/cookies.txt",
            "# Netscape HTTP Cookie File\n127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\ts3cr3t\n");
  options.fetch.cookieFile = dir + "/cookies.txt";
  MakeEngine().ALoad(server.Url("/p.html"), "png");
  EXPECT_EQ(ReadFile(std::string(kHostFolder) + "/secret.png"), "members only");
  // The cookie file belongs to the browser view; the engine never rewrites it.
  EXPECT_EQ(ReadFile(dir + "/cookies.txt"),
            "# Netscape HTTP Cookie File\n127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\ts3cr3t\n");
}

TEST_F(EngineFiles, SymbolicLinksAreNeverFollowedWhenWriting) {
  TestServer server(Routes({
      Route("/p.html", Page("<img src='a.gif'>")),
      Route("/a.gif", Body("new", "image/gif")),
  }));
  std::string outside = dir + "/outside";
  std::filesystem::create_directories(outside);
  std::filesystem::create_directories("DownLoad");
  std::filesystem::create_directory_symlink(outside, kHostFolder);
  MakeEngine().ALoad(server.Url("/p.html"), "gif");
  EXPECT_TRUE(Files(outside).empty());
  EXPECT_EQ(host.messages.size(), 1u);

  // A link at the file's own name is left alone; the file gets a numbered name.
  std::filesystem::remove(kHostFolder);
  std::filesystem::create_directories(kHostFolder);
  WriteFile(outside + "/victim", "keep");
  std::filesystem::create_symlink(outside + "/victim", std::string(kHostFolder) + "/a.gif");
  MakeEngine().ALoad(server.Url("/p.html"), "gif");
  EXPECT_EQ(ReadFile(outside + "/victim"), "keep");
  EXPECT_EQ(ReadFile(std::string(kHostFolder) + "/a(1).gif"), "new");
}

TEST_F(EngineFiles, DLoadKindsTakeTheirOwnReferencesAndExtensions) {
  TestServer server;
  // The page names the server by another host name, for the "other host" kind.
  std::string port = std::to_string(server.Port());
  std::string pageHtml =
      "<img src='e.jpg'><a href='l.jpg'>l</a><a href='t.zip'>t</a><embed src='m.swf'>"
      "<a href='v.mov'>v</a><a href='s.mid'>s</a><a href='x.asx'>x</a>"
      "<a href='own.html'>own</a><a href='dir/'>dir</a><a href='http://localhost:" + port +
      "/ext.html'>ext</a>";
  std::string files;
  for (const char* f : {"e.jpg", "l.jpg", "t.zip", "m.swf", "v.mov", "s.mid", "x.asx", "own.html", "dir/"})
    files += ", " + Route(std::string("/site/") + f, Body(f));
  server.SetRoutes("{\"routes\": {" + Route("/site/p.html", Page(pageHtml)) + files + ", " +
                   Route("/ext.html", Body("external page", "text/html")) + "}}");
  struct Row {
    const char* code;
    std::vector<std::string> files;
  };
  const Row rows[] = {
      {"3", {"e.jpg"}},     {"5", {"l.jpg"}}, {"4", {"t.zip"}},  {"6", {"m.swf"}},
      {"9", {"v.mov"}},     {"7", {"s.mid"}}, {"8", {"x.asx"}},
      {"2", {"index.html", "own.html"}},  {"1", {"ext.html"}},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    std::filesystem::remove_all("DownLoad");
    MakeEngine().DLoad(server.Url("/site/p.html"), rows[i].code);
    EXPECT_EQ(Files(kHostFolder), rows[i].files) << "code " << rows[i].code;
  }
}

TEST_F(EngineFiles, ListLoadFetchesTheListedPathsAndSkipsFilesAlreadyThere) {
  TestServer server(Routes({
      Route("/img/him/ni/new.gif", Body("new", "image/gif")),
      Route("/img/him/ni/old.gif", Body("server copy", "image/gif")),
      Route("/img/him/ni/missing.gif", "{\"status\": 404}"),
  }));
  WriteFile("Download.lst", "start download;\r\nindex page;\r\n" + server.Url("/") +
                                "\r\nhimawari\r\n/img/him/ni/new.gif\r\n/img/him/ni/old.gif\r\n"
                                "/img/him/ni/missing.gif\r\nend download;\r\n");
  std::filesystem::create_directories("DownLoad/Weather");
  WriteFile("DownLoad/Weather/old.gif", "local copy");
  MakeEngine().ListLoad("Download.lst", "Weather");
  EXPECT_EQ(Files("DownLoad/Weather"), (std::vector<std::string>{"new.gif", "old.gif"}));
  EXPECT_EQ(ReadFile("DownLoad/Weather/old.gif"), "local copy");
  EXPECT_EQ(Count(server, "/img/him/ni/old.gif"), 0);
  for (const auto& r : server.Requests()) {
    EXPECT_EQ(r.path.find("//"), std::string::npos) << r.path;
  }
  auto history = History();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history.begin()->second.file, "DownLoad/Weather/new.gif");
  EXPECT_EQ(history.begin()->second.referrer, server.Url("/"));
  EXPECT_EQ(history.begin()->second.kind, RunKind::Collector);

  MakeEngine().ListLoad("NoSuch.lst", "Weather");
  EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(EngineFiles, CancelStopsTheRunAndLeavesNoPartialFile) {
  std::string routes = "{\"routes\": {" + Route("/p.html", Page([] {
                         std::string h;
                         for (int i = 0; i < 6; ++i) h += "<img src='f" + std::to_string(i) + ".jpg'>";
                         return h;
                       }()));
  for (int i = 0; i < 6; ++i)
    routes += ", " + Route("/f" + std::to_string(i) + ".jpg",
                           "{\"body_repeat\": [\"x\", 5000], \"chunk_size\": 500, \"chunk_delay_ms\": 200}");
  TestServer server(routes + "}}");
  host.cancelAfterCalls = 3;
  MakeEngine().ALoad(server.Url("/p.html"), "jpg");
  for (const std::string& n : Files(kHostFolder)) ADD_FAILURE() << "left behind: " << n;
  EXPECT_EQ(host.progress.back(), "ダウンロードを中止しました");

  // Cancelled while the page itself is fetched: no file is asked for.
  server.SetRoutes("{\"routes\": {" + Route("/slow.html", "{\"body\": \"<img src='f0.jpg'>\", \"delay_ms\": 1500}") + "}}");
  server.ClearRequests();
  host.progress.clear();
  host.cancelled = false;
  host.cancelAfterCalls = 0;
  MakeEngine().ALoad(server.Url("/slow.html"), "jpg");
  EXPECT_EQ(Count(server, "/f0.jpg"), 0);
  EXPECT_EQ(host.progress.back(), "ダウンロードを中止しました");
}

TEST_F(EngineFiles, AnOldRecordIsHonouredAndACancelledRunRecordsWhatItSaved) {
  TestServer server(Routes({
      Route("/p.html", Page("<img src='old.jpg'><img src='a.jpg'><img src='b.jpg'><img src='slow.jpg'>")),
      Route("/old.jpg", Body("O")),
      Route("/a.jpg", Body("A")),
      Route("/b.jpg", Body("B")),
      Route("/slow.jpg", "{\"body_repeat\": [\"s\", 4000], \"chunk_size\": 100, \"chunk_delay_ms\": 300}"),
  }));
  // The record of earlier versions: address TAB size TAB time TAB folder/name.
  const std::string old = server.Url("/old.jpg") + "\t1\t1600000000\t127.0.0.1/old.jpg\n";
  std::filesystem::create_directories("DownLoad");
  WriteFile("DownLoad/Fetched.lst", old);
  host.onProgress = [&](const std::string&) {
    if (std::filesystem::exists(std::string(kHostFolder) + "/a.jpg") &&
        std::filesystem::exists(std::string(kHostFolder) + "/b.jpg"))
      host.cancelled = true;
  };
  MakeEngine().ALoad(server.Url("/p.html"), "jpg");
  EXPECT_EQ(Count(server, "/old.jpg"), 0);
  EXPECT_EQ(Files(kHostFolder), (std::vector<std::string>{"a.jpg", "b.jpg"}));
  EXPECT_EQ(host.progress.back(), "ダウンロードを中止しました");
  EXPECT_TRUE(host.messages.empty());
  // The old record is kept under another name, its entry in the history.
  EXPECT_FALSE(std::filesystem::exists("DownLoad/Fetched.lst"));
  EXPECT_TRUE(ReadFile("DownLoad/Fetched.lst.imported") == old);
  auto history = History();
  EXPECT_EQ(history.size(), 3u);
  EXPECT_EQ(history[server.Url("/old.jpg")].kind, RunKind::Unknown);
  EXPECT_EQ(history[server.Url("/a.jpg")].kind, RunKind::Patrol);
  EXPECT_EQ(history.count(server.Url("/slow.jpg")), 0u);

  // The next run fetches only what the cancel cut off.
  server.SetRoutes(Routes({
      Route("/p.html", Page("<img src='old.jpg'><img src='a.jpg'><img src='b.jpg'><img src='slow.jpg'>")),
      Route("/slow.jpg", Body("S")),
  }));
  server.ClearRequests();
  host.onProgress = nullptr;
  host.cancelled = false;
  MakeEngine().ALoad(server.Url("/p.html"), "jpg");
  EXPECT_EQ(Count(server, "/slow.jpg"), 1);
  EXPECT_EQ(Count(server, "/a.jpg") + Count(server, "/b.jpg") + Count(server, "/old.jpg"), 0);
  EXPECT_EQ(History().size(), 4u);
}

TEST_F(EngineFiles, TemporarySortsCacheFilesByContent) {
  std::filesystem::create_directories("Cache");
  WriteFile("Cache/photo", "\xFF\xD8\xFF\xE0 jpeg");
  WriteFile("Cache/anim.gif", "GIF89a gif");
  WriteFile("Cache/page.dat", "<html>x</html>");
  WriteFile("Cache/unknown.bin", "??");
  WriteFile("Cache/.hidden", "GIF89a");
  std::filesystem::create_symlink(dir + "/Cache/anim.gif", "Cache/link.gif");
  MakeEngine().Temporary(dir + "\\Cache", "*.*", "0");  // copy
  EXPECT_EQ(Files("DownLoad/Cache/jpg"), std::vector<std::string>{"photo.jpg"});
  EXPECT_EQ(Files("DownLoad/Cache/gif"), std::vector<std::string>{"anim.gif"});
  EXPECT_EQ(Files("DownLoad/Cache/html"), std::vector<std::string>{"page.dat.html"});
  EXPECT_TRUE(std::filesystem::exists("Cache/photo"));

  MakeEngine().Temporary(dir + "/Cache", "*.*", "1");  // move: identical copies are not doubled
  EXPECT_EQ(Files("DownLoad/Cache/gif"), std::vector<std::string>{"anim.gif"});
  EXPECT_EQ(Files("Cache"), (std::vector<std::string>{".hidden", "link.gif", "unknown.bin"}));
  WriteFile("Cache/anim.gif", "GIF89a other");
  MakeEngine().Temporary(dir + "/Cache", "anim*", "1");
  EXPECT_EQ(Files("DownLoad/Cache/gif"), (std::vector<std::string>{"anim(1).gif", "anim.gif"}));
}

TEST_F(EngineFiles, PatrolAndDownloadListsFollowTheRules) {
  WriteFile("DownLoadRules.ini",
            "[sdss mosaic]\r\nLabel=sdss mosaic\r\nPatrolLinks=anchor\r\nPatrolMatch=*/mosaic/*\r\n"
            "PatrolSkip=*skip*\r\nDownloadLinks=image\r\nDownloadMatch=*.jpg\r\nDownloadSkip=*/icons/*\r\n");
  TestServer server;
  std::string other = "http://localhost:" + std::to_string(server.Port());
  server.SetRoutes(Routes({
      Route("/tools/index.html",
            Page("<a href='mosaic/m1.html'>1</a><a href='mosaic/m2.html'>2</a>"
                 "<a href='mosaic/skip.html'>s</a><a href='help.html'>h</a>"
                 "<a href='" + other + "/mosaic/far.html'>other host</a><a href='mosaic/m1.html'>dup</a>")),
      Route("/tools/mosaic/m1.html", Page("<img src='a.jpg'><img src='/icons/i.jpg'><img src='b.gif'>")),
      Route("/tools/mosaic/m2.html",
            Page("<img src='c.jpg?x=1'><img src='a.jpg'><img src='" + other + "/far.jpg'>")),
      Route("/tools/mosaic/a.jpg", Body("a")),
      Route("/tools/mosaic/c.jpg", Body("c")),
      Route("/far.jpg", Body("far")),
  }));
  WriteFile("Download.lst", "stale");
  EXPECT_EQ(MakeEngine().MakeDownloadList("no such kind"), 0);
  MakeEngine().MakePatrolList("sdss mosaic", server.Url("/tools/index.html"));
  EXPECT_EQ(ReadFile("Patrol.lst"), "start patrol;\r\nindex page;\r\n" + server.Url("/tools/mosaic/m1.html") +
                                        "\r\n" + server.Url("/tools/mosaic/m2.html") + "\r\nend patrol;\r\n");
  EXPECT_EQ(MakeEngine().MakeDownloadList("sdss mosaic"), 3);
  EXPECT_EQ(ReadFile("Download.lst"), "start download;\r\nindex page;\r\n" + server.Url("/") +
                                          "\r\nsdss mosaic\r\n/tools/mosaic/a.jpg\r\n/tools/mosaic/c.jpg?x=1\r\n" +
                                          other + "/far.jpg\r\nend download;\r\n");
  MakeEngine().ListLoad("Download.lst", "Sdss");
  EXPECT_EQ(Files("DownLoad/Sdss"), (std::vector<std::string>{"a.jpg", "c.jpg", "far.jpg"}));

  // A page without matching links leaves the patrol list as it was.
  std::string before = ReadFile("Patrol.lst");
  MakeEngine().MakePatrolList("sdss mosaic", server.Url("/tools/mosaic/m1.html"));
  EXPECT_EQ(ReadFile("Patrol.lst"), before);
  EXPECT_FALSE(host.messages.empty());
}

// Writes a whole small file; false on failure (used where gtest cannot report).
bool Put(const char* path, const std::string& text) {
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return close(fd) == 0 && ok;
}

// A full disk, made real: a child process mounts a 256 KB tmpfs in a user
// namespace of its own and lets the engine fill it.
TEST_F(EngineFiles, AFullDiskStopsTheRunWithAMessageAndLeavesNoPartialFile) {
  TestServer server(Routes({
      Route("/big1.gif", "{\"body_repeat\": [\"b\", 400000]}"),
      Route("/big2.gif", "{\"body_repeat\": [\"c\", 400000]}"),
      Route("/small.gif", Body("s", "image/gif")),
  }));
  const std::string small = dir + "/small";
  std::filesystem::create_directories(small);
  const std::string list = "start download;\r\nindex page;\r\n" + server.Url("/") +
                           "\r\nx\r\n/big1.gif\r\n/big2.gif\r\n/small.gif\r\nend download;\r\n";
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) _exit(77);
    if (!Put("/proc/self/setgroups", "deny") ||
        !Put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !Put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
      _exit(77);
    // Room for the history, not for a big file.
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256k") != 0) _exit(77);
    if (chdir(small.c_str()) != 0 || !Put("Download.lst", list)) _exit(10);
    testing::RecordingHost childHost;
    EngineOptions childOptions = options;
    childOptions.fetch.maxTotal = 1;
    Engine(childHost, childOptions).ListLoad("Download.lst", "Full");
    if (childHost.messages.size() != 1 ||
        childHost.messages[0] != "ディスクの空きが足りません。ダウンロードを中止しました。")
      _exit(11);
    for (const std::string& name : Files("DownLoad/Full"))
      if (name != "small.gif") _exit(12);  // no part of a big file may stay
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no user namespaces to mount a small file system";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "11: no disk-full message, 12: a partial file stayed";
}

// Two engines in one working folder at once, each in a process of its own (a
// patrol from cron beside the open window): every file is fetched once and
// every entry is kept.
TEST_F(EngineFiles, TwoProcessesAtOnceKeepEachOthersEntries) {
  constexpr int kEach = 6;
  std::string routes = "{\"routes\": {";
  for (const char* page : {"one", "two"}) {
    std::string html;
    for (int i = 0; i < kEach; ++i) {
      const std::string name = std::string("/") + page + "/f" + std::to_string(i) + ".jpg";
      html += "<img src='" + name + "'>";
      // Answered only once the files of both runs are asked for: the two
      // batches are in flight together, and record side by side.
      routes += Route(name, "{\"body\": \"" + name + "\", \"await\": [\"both\", " +
                                std::to_string(2 * kEach) + ", 20000]}") + ", ";
    }
    routes += Route(std::string("/") + page + ".html", Page(html)) + ", ";
  }
  TestServer server(routes.substr(0, routes.size() - 2) + "}}");
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      testing::RecordingHost childHost;
      Engine(childHost, options).ALoad(server.Url(c == 0 ? "/one.html" : "/two.html"), "jpg");
      _exit(childHost.messages.empty() ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  auto history = History();
  EXPECT_EQ(history.size(), 2u * kEach);
  for (const char* page : {"one", "two"})
    for (int i = 0; i < kEach; ++i) {
      const std::string name = std::string("/") + page + "/f" + std::to_string(i) + ".jpg";
      EXPECT_EQ(Count(server, name), 1) << name;
      EXPECT_EQ(history.count(server.Url(name)), 1u) << name;
    }
  EXPECT_EQ(Files(kHostFolder).size(), 2u * kEach);
}

// kill -9 in the middle of a batch: the history still opens and lists, what
// was recorded before is not fetched again, what was not is.
TEST_F(EngineFiles, AfterAKillTheNextRunFetchesWhatWasNotRecorded) {
  TestServer server(Routes({
      Route("/first.html", Page("<img src='kept.jpg'>")),
      Route("/p.html", Page("<img src='kept.jpg'><img src='quick.jpg'><img src='slow.jpg'>")),
      Route("/kept.jpg", Body("K")),
      Route("/quick.jpg", Body("Q")),
      Route("/slow.jpg", "{\"body_repeat\": [\"s\", 4000], \"chunk_size\": 100, \"chunk_delay_ms\": 500}"),
  }));
  MakeEngine().ALoad(server.Url("/first.html"), "jpg");
  ASSERT_EQ(History().size(), 1u);
  server.ClearRequests();
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    testing::RecordingHost childHost;
    Engine(childHost, options).ALoad(server.Url("/p.html"), "jpg");
    _exit(0);
  }
  // Killed once quick.jpg is saved while slow.jpg is still arriving.
  const long long until = MonotonicMs() + 10000;
  while (!std::filesystem::exists(std::string(kHostFolder) + "/quick.jpg") && MonotonicMs() < until)
    usleep(20000);
  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it was killed";

  const std::string list = dir + "/list.txt";
  const std::string command = "MIREVA_HOME='" + dir + "' '" + mireva::testing::BinDir() +
                              "/mireva-history' list > '" + list + "'";
  const int rc = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(rc));
  EXPECT_EQ(WEXITSTATUS(rc), 0);
  EXPECT_NE(ReadFile(list).find(server.Url("/kept.jpg")), std::string::npos);

  server.SetRoutes(Routes({
      Route("/p.html", Page("<img src='kept.jpg'><img src='quick.jpg'><img src='slow.jpg'>")),
      Route("/kept.jpg", Body("K")),
      Route("/quick.jpg", Body("Q")),
      Route("/slow.jpg", Body("S")),
  }));
  server.ClearRequests();
  MakeEngine().ALoad(server.Url("/p.html"), "jpg");
  EXPECT_EQ(Count(server, "/kept.jpg"), 0);
  EXPECT_EQ(Count(server, "/quick.jpg"), 1);
  EXPECT_EQ(Count(server, "/slow.jpg"), 1);
  EXPECT_EQ(History().size(), 3u);
  // The file saved before the kill is not doubled; the killed run's
  // temporary file is gone.
  EXPECT_EQ(Files(kHostFolder), (std::vector<std::string>{"kept.jpg", "quick.jpg", "slow.jpg"}));
}


// The chosen files under the names the window gave: subfolders made, names
// made safe, an old file replaced only by one that arrived whole, skipped
// names fetched not at all, and each saved file recorded as a selection's.
TEST_F(EngineFiles, LoadSelectionSavesEachUnderItsNameAndTreatsTakenNamesAsAsked) {
  TestServer server(Routes({
      Route("/a.zip", Body("NEW-A", "application/zip")),
      Route("/b.zip", Body("NEW-B", "application/zip")),
  }));
  ASSERT_TRUE(server.Running());
  const std::string page = server.Url("/page.html");
  const std::vector<SelectedFile> files = {{server.Url("/a.zip"), "sub/01-a.zip"},
                                           {server.Url("/b.zip"), "../02-b.zip"},
                                           {server.Url("/missing.zip"), "03.zip"}};
  MakeEngine().LoadSelection(page, "out", files, ExistingFile::Rename);
  EXPECT_EQ(ReadFile("out/sub/01-a.zip"), "NEW-A");
  EXPECT_EQ(ReadFile("out/02-b.zip"), "NEW-B");  // no way out of the folder
  EXPECT_FALSE(std::filesystem::exists("out/03.zip"));
  EXPECT_EQ(History()[server.Url("/a.zip")].kind, RunKind::Selection);
  EXPECT_EQ(History()[server.Url("/a.zip")].referrer, page);

  WriteFile("out/sub/01-a.zip", "OLD");
  MakeEngine().LoadSelection(page, "out", {files[0]}, ExistingFile::Overwrite);
  EXPECT_EQ(ReadFile("out/sub/01-a.zip"), "NEW-A");
  EXPECT_EQ(Files("out/sub"), std::vector<std::string>{"01-a.zip"});

  MakeEngine().LoadSelection(page, "out", {files[0], files[1]}, ExistingFile::Skip);
  EXPECT_EQ(Count(server, "/a.zip"), 2);
  EXPECT_EQ(Count(server, "/b.zip"), 1);
}

}  // namespace
}  // namespace mireva::dl
