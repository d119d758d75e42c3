// Retrieval and the exports against the loopback test server: statuses,
// redirects, passwords, bodies of every size, encodings, the save mode's
// file and progress, and the tag adjustment.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <utility>

#include "core/runtime/hovrel_api.h"
#include "pagefetch/code_converter.h"
#include "tests/pagefetch/test_helpers.h"
#include "tests/support/test_server.h"

namespace mireva::hovrel {
namespace {

using mireva::testing::MakeTempFolder;
using mireva::testing::ReadFile;
using mireva::testing::RemoveFolder;
using mireva::testing::TestServer;
using test::CrLf;
using test::Hex;
using test::Iconv;

std::string Json(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

// One route: the path, then the JSON members of its answer.
using Route = std::pair<std::string, std::string>;
std::string Routes(const std::vector<Route>& routes) {
  std::string j = "{\"routes\": {";
  for (size_t i = 0; i < routes.size(); ++i)
    j += (i ? ", " : "") + Json(routes[i].first) + ": {" + routes[i].second + "}";
  return j + "}}";
}
std::string Body(const std::string& bytes) { return "\"body_hex\": \"" + Hex(bytes) + "\""; }
std::string Redirect(int status, const std::string& location) {
  return "\"status\": " + std::to_string(status) +
         ", \"headers\": {\"Location\": " + Json(location) + "}, \"body\": \"moved\"";
}

class FetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.Install();
    dir = MakeTempFolder("hovrel-test");
    ASSERT_TRUE(server.Running());
  }
  void TearDown() override {
    test::RecordingHost::Uninstall();
    RemoveFolder(dir);
  }
  // Text mode as the browser calls it, with a buffer of size + 2 bytes.
  std::string Text(const std::string& url, char markup = ' ', char reload = ' ',
                   unsigned size = 49998, int* result = nullptr) {
    std::vector<char> buf(size + 2, 'x');
    int r = Hovrel(url.c_str(), markup, reload, ' ', buf.data(), size);
    if (result)
      *result = r;
    else
      EXPECT_EQ(r, 1);
    return buf.data();
  }
  int Save(const std::string& url, const std::string& path, unsigned size = 260) {
    std::vector<char> buf(size + 2, '\0');
    std::memcpy(buf.data(), path.c_str(), std::min<size_t>(path.size(), size + 1));
    return Hovrel(url.c_str(), ' ', ' ', 'D', buf.data(), size);
  }
  std::vector<std::string> Messages() const { return host.messages; }

  TestServer server;
  test::RecordingHost host;
  std::string dir;
};

TEST_F(FetchTest, DeliversAPageWithTheLibrarysHeaders) {
  server.SetRoutes(Routes({{"/p", Body("<html>\n<b>Hello</b> world\n</html>")}}));
  EXPECT_EQ(Text(server.Url("/p")), "<html>\r\n<b>Hello</b> world\r\n</html>");
  EXPECT_EQ(Text(server.Url("/p"), 's'), "\r\nHello world\r\n");
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].path, "/p");
  EXPECT_EQ(requests[0].Header("Accept"), "text/*");
  EXPECT_EQ(requests[0].Header("User-Agent"), "Pandrel - MFC Application App");
  EXPECT_EQ(requests[0].Header("Cache-Control"), "");
  EXPECT_TRUE(Messages().empty());

  server.ClearRequests();
  Text(server.Url("/p"), ' ', 'f');
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].Header("Cache-Control"), "no-cache");
  EXPECT_EQ(server.Requests()[0].Header("Pragma"), "no-cache");
}

TEST_F(FetchTest, AnyNonRedirectStatusIsThePage) {
  server.SetRoutes(Routes({{"/missing", "\"status\": 404, \"body\": \"<h1>Not here</h1>\""},
                           {"/err", "\"status\": 500, \"body\": \"oops\""},
                           {"/empty", "\"body\": \"\""}}));
  EXPECT_EQ(Text(server.Url("/missing")), "<h1>Not here</h1>");
  EXPECT_EQ(Text(server.Url("/err")), "oops");
  EXPECT_EQ(Text(server.Url("/empty")), "");
  EXPECT_TRUE(Messages().empty());
}

TEST_F(FetchTest, RefusesAddressesThatAreNotHttp) {
  for (const char* url : {"gopher://127.0.0.1/", "ftp://127.0.0.1/x", "file:///etc/passwd",
                          "C:\\page.html", "", "http://"}) {
    host.messages.clear();
    EXPECT_EQ(Text(url), "") << url;
    ASSERT_EQ(Messages().size(), 1u) << url;
    EXPECT_EQ(Messages()[0], "Error: can only use URLs beginning with http://");
  }
}

TEST_F(FetchTest, TriesSecureAddresses) {
  // The loopback server speaks no TLS: the handshake fails, but the address
  // itself is taken, unlike a scheme that is not HTTP.
  std::string url = "https://127.0.0.1:" + std::to_string(server.Port()) + "/";
  EXPECT_EQ(Text(url), "");
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0], "Error: can only use URLs beginning with http://");
}

TEST_F(FetchTest, FollowsExactlyOneRedirect) {
  server.SetRoutes(Routes({{"/target", Body("arrived")},
                           {"/301", Redirect(301, server.Url("/target"))},
                           {"/302", Redirect(302, server.Url("/target"))},
                           {"/303", Redirect(303, server.Url("/target"))},
                           {"/relative", Redirect(302, "target")},
                           {"/rooted", Redirect(301, "/target")},
                           {"/twice", Redirect(302, server.Url("/301"))},
                           {"/gone", Redirect(302, server.Url("/nothing"))}}));
  for (const char* path : {"/301", "/302", "/303", "/relative", "/rooted"}) {
    EXPECT_EQ(Text(server.Url(path)), "arrived") << path;
  }
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(Text(server.Url("/twice")), "");
  EXPECT_EQ(Text(server.Url("/gone")), "");
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{"Error: Got status code 301", "Error: Got status code 404"}));
}

TEST_F(FetchTest, ReportsRedirectsItCannotFollow) {
  server.SetRoutes(Routes({{"/none", "\"status\": 302, \"body\": \"no location\""},
                           {"/bad", Redirect(301, "http://bad host/")},
                           {"/secure", Redirect(302, "gopher://127.0.0.1/")},
                           {"/ftp", Redirect(303, "ftp://127.0.0.1/file.txt")}}));
  EXPECT_EQ(Text(server.Url("/none")), "");
  EXPECT_EQ(Text(server.Url("/bad")), "");
  EXPECT_EQ(Text(server.Url("/secure")), "");
  EXPECT_EQ(Text(server.Url("/ftp")), "");
  EXPECT_EQ(Messages(), (std::vector<std::string>{
                            "Error: Site redirects with no new location",
                            "Error: the redirected URL could not be parsed.",
                            "Error: the redirected URL does not reference a HTTP resource.",
                            "Error: the redirected URL does not reference a HTTP resource."}));
}

TEST_F(FetchTest, AsksForAPasswordOnceAndRetries) {
  server.SetRoutes(Routes({{"/private",
                            "\"auth\": \"ann:secret\", \"realm\": \"Members\", "
                            "\"body\": \"members only\""}}));
  host.logins.push_back({"ann", "secret"});
  EXPECT_EQ(Text(server.Url("/private")), "members only");
  EXPECT_EQ(host.prompts, (std::vector<std::string>{"127.0.0.1|Members"}));
  EXPECT_TRUE(Messages().empty());

  // A wrong password: the second 401 is the page, with no second prompt.
  host.prompts.clear();
  host.logins.push_back({"ann", "wrong"});
  EXPECT_EQ(Text(server.Url("/private")), "<html>401 Authorization Required</html>");
  EXPECT_EQ(host.prompts.size(), 1u);

  // Cancelled: refused with the library's message.
  host.prompts.clear();
  EXPECT_EQ(Text(server.Url("/private")), "");
  EXPECT_EQ(host.prompts.size(), 1u);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Access denied: Invalid password\n"}));
}

TEST_F(FetchTest, TextModeReadsAtMostSizeBytes) {
  server.SetRoutes(Routes({{"/long", "\"body_repeat\": [\"abcdefghij\", 70000]"},
                           {"/exact", "\"body_repeat\": [\"x\", 40]"},
                           {"/lines", "\"body_repeat\": [\"\\n\", 40]"}}));
  int result = 0;
  std::string text = Text(server.Url("/long"), ' ', ' ', 40, &result);
  EXPECT_EQ(text, "abcdefghijabcdefghijabcdefghijabcdefghij");
  EXPECT_EQ(result, HOVREL_TEXT_FULL);  // the caller learns that the page may go on
  EXPECT_EQ(Text(server.Url("/long"), ' ', ' ', 49998, &result).size(), 49998u);
  EXPECT_EQ(Text(server.Url("/exact"), ' ', ' ', 40, &result), std::string(40, 'x'));
  EXPECT_EQ(Text(server.Url("/exact"), ' ', ' ', 42, &result), std::string(40, 'x'));
  EXPECT_EQ(result, 1);  // all of it fitted
  // Line ends grow the text; it stops at the area's end, never beyond.
  std::vector<char> exact(42, 'z');
  Hovrel(server.Url("/lines").c_str(), ' ', ' ', ' ', exact.data(), 40);
  EXPECT_EQ(std::string(exact.data()), CrLf(std::string(20, '\n')));
  EXPECT_EQ(exact[41], 'z');
}

TEST_F(FetchTest, PagesInEveryJapaneseEncodingArriveAsShiftJis) {
  const std::string sjis = "<p>日本語のページ、カタカナ。</p>\n";
  const std::string utf8 = Iconv("UTF-8", "SHIFT_JIS", sjis);
  server.SetRoutes(Routes({
      {"/jis", Body(Iconv("ISO-2022-JP", "SHIFT_JIS", sjis))},
      {"/euc",
       Body("<meta content=\"text/html; charset=EUC-JP\">" + Iconv("EUC-JP", "SHIFT_JIS", sjis))},
      {"/sjis", Body(sjis)},
      {"/utf8", Body("<meta charset=\"utf-8\">" + utf8)},
  }));
  EXPECT_EQ(Text(server.Url("/jis")), CrLf(sjis));
  EXPECT_EQ(Text(server.Url("/euc")), "<meta content=\"text/html; \">" + CrLf(sjis));
  EXPECT_EQ(Text(server.Url("/sjis")), CrLf(sjis));
  EXPECT_EQ(Text(server.Url("/utf8")), "<meta >" + CrLf(sjis));
}

TEST_F(FetchTest, TheDeclaredEncodingComesBeforeTheGuess) {
  // Half-width katakana read as EUC-JP would become kanji; the server's
  // Content-Type, else the page's meta, says what they are.
  const std::string kana = "<p>ｱｲｳｴｵ 日本</p>\n";
  const std::string sjisHeader = "\"headers\": {\"Content-Type\": \"text/html; charset=Shift_JIS\"}";
  server.SetRoutes(Routes({
      {"/header", Body(kana) + ", " + sjisHeader},
      {"/meta", Body("<meta charset=\"x-sjis\">" + kana)},
      {"/euc", Body(Iconv("EUC-JP", "SHIFT_JIS", "<p>日本語</p>")) +
                   ", \"headers\": {\"Content-Type\": \"text/html; charset=EUC-JP\"}"},
  }));
  EXPECT_EQ(Text(server.Url("/header")), CrLf(kana));
  EXPECT_EQ(Text(server.Url("/meta")), "<meta charset=\"x-sjis\">" + CrLf(kana));
  EXPECT_EQ(Text(server.Url("/euc")), "<p>日本語</p>");
  EXPECT_EQ(hovrel::FindDeclaredEncoding("text/html", "<meta charset='UTF-8'>"),
            hovrel::DeclaredEncoding::Utf8);
  EXPECT_EQ(hovrel::FindDeclaredEncoding("", "<p>no label</p>"), hovrel::DeclaredEncoding::None);
}

TEST_F(FetchTest, ReportsNetworkFailures) {
  int port;
  {
    TestServer gone;
    port = gone.Port();
  }
  std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
  EXPECT_EQ(Text(url), "");
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind("CInternet Error: ", 0), 0u) << Messages()[0];

  // A body that breaks off is a failure too: nothing half-read is delivered.
  host.messages.clear();
  server.SetRoutes(Routes({{"/cut", "\"body_repeat\": [\"a\", 5000], \"truncate_after\": 100"}}));
  EXPECT_EQ(Text(server.Url("/cut")), "");
  EXPECT_EQ(Messages().size(), 1u);
}

// ---- save mode --------------------------------------------------------------

struct Progress {
  std::vector<std::string> texts;
  std::vector<int> firsts;
  static void MIREVA_STDCALL Report(void* user, int first, const char* text, unsigned length) {
    auto* self = static_cast<Progress*>(user);
    EXPECT_EQ(std::strlen(text), length);
    self->texts.push_back(text);
    self->firsts.push_back(first);
  }
};

TEST_F(FetchTest, SaveModeStreamsTheBodyWithProgressPerRead) {
  server.SetRoutes(Routes({{"/big",
                            "\"body_repeat\": [\"0123456789\", 70000], "
                            "\"chunk_size\": 1000, \"content_type\": \"image/gif\""},
                           {"/block", "\"body_repeat\": [\"b\", 65536]"},
                           {"/empty", "\"body\": \"\""}}));
  Progress progress;
  HovrelProgressTarget target{&Progress::Report, &progress};
  std::string path = dir + "/big.bin";
  EXPECT_EQ(loadFile(server.Url("/big").c_str(), path.c_str(), &target, 7), 1);
  std::string saved = ReadFile(path);
  ASSERT_EQ(saved.size(), 70000u);
  EXPECT_EQ(saved.substr(69990), "0123456789");
  EXPECT_EQ(progress.texts, (std::vector<std::string>{"7 32768", "7 65536", "7 70000"}));
  EXPECT_EQ(progress.firsts, (std::vector<int>{1, 0, 0}));

  // A body of whole blocks: no report for the empty read at the end.
  progress = {};
  EXPECT_EQ(loadFile(server.Url("/block").c_str(), path.c_str(), &target, 2), 1);
  EXPECT_EQ(progress.texts, (std::vector<std::string>{"2 32768", "2 65536"}));

  // An empty body: an empty file and the one report of the first read.
  progress = {};
  EXPECT_EQ(loadFile(server.Url("/empty").c_str(), path.c_str(), &target, 3), 1);
  EXPECT_EQ(ReadFile(path), "");
  EXPECT_EQ(progress.texts, (std::vector<std::string>{"3 0"}));

  // No target: the same bytes, no reports. Hovrel's save mode keeps the body raw.
  EXPECT_EQ(loadFile(server.Url("/big").c_str(), path.c_str(), nullptr, 1), 1);
  EXPECT_EQ(ReadFile(path), saved);
  EXPECT_EQ(Save(server.Url("/big"), path), 1);
  EXPECT_EQ(ReadFile(path), saved);
  // Nothing but the file is left in the folder.
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir)) files += e.exists();
  EXPECT_EQ(files, 1);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(FetchTest, SaveModeReportsFilesItCannotCreate) {
  server.SetRoutes(Routes({{"/p", Body("page")}}));
  std::string missing = dir + "/no/such/folder/page.html";
  EXPECT_EQ(Save(server.Url("/p"), missing), 0);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0], "ファイルの作成が失敗しました。3 (" + missing + ")");
  EXPECT_EQ(server.Requests().size(), 0u);  // the file comes before the network

  // A path longer than the working area (size + 2 bytes) is refused.
  host.messages.clear();
  std::string longPath = dir + "/" + std::string(300, 'n');
  std::vector<char> buf(longPath.begin(), longPath.end());
  buf.push_back('\0');
  EXPECT_EQ(Hovrel(server.Url("/p").c_str(), ' ', ' ', 'd', buf.data(), 260), 0);
  EXPECT_EQ(Messages().size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(longPath.substr(0, 261)));
}

TEST_F(FetchTest, FailedDownloadLeavesTheOldFileAndLinksAreNeverFollowed) {
  std::string path = dir + "/page.html";
  mireva::testing::WriteFile(path, "old contents");
  EXPECT_EQ(Save("ftp://127.0.0.1/", path), 1);
  EXPECT_EQ(ReadFile(path), "old contents");
  EXPECT_EQ(Messages().size(), 1u);

  // A link at the target's name is replaced by the page; what it points at
  // is neither emptied nor written.
  server.SetRoutes(Routes({{"/p", Body("page")}}));
  std::string victim = dir + "/victim.txt", link = dir + "/link.html";
  mireva::testing::WriteFile(victim, "keep me");
  std::filesystem::create_symlink(victim, link);
  EXPECT_EQ(Save("ftp://127.0.0.1/", link), 1);
  EXPECT_EQ(ReadFile(victim), "keep me");
  EXPECT_EQ(Save(server.Url("/p"), link), 1);
  EXPECT_EQ(ReadFile(victim), "keep me");
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(link), "page");
}

TEST_F(FetchTest, FullDiskWhileSavingIsReportedAndContained) {
  server.SetRoutes(Routes({{"/big", "\"body_repeat\": [\"z\", 70000]"}}));
  std::string path = dir + "/big.bin";
  // A file size limit makes the writes fail as a full disk would.
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 40000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  int result = Save(server.Url("/big"), path);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(result, 0);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0], "ファイルの書き込みが失敗しました。13 (" + path + ")");
  EXPECT_FALSE(std::filesystem::exists(path));
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir)) files += e.exists();
  EXPECT_EQ(files, 0);  // no temporary file left behind
}

// ---- tag adjustment ------------------------------------------------------------

class TagAdjustTest : public FetchTest {
 protected:
  int Adjust(std::string* url, std::string* out, unsigned size = 1000) {
    std::vector<char> u(HOVREL_URL_CAPACITY, '\0');
    std::memcpy(u.data(), url->c_str(), url->size() + 1);
    std::vector<char> dst(size + 8, '#');
    int r = htmTagadjust(u.data(), dst.data(), size);
    for (size_t i = size; i < dst.size(); ++i) EXPECT_EQ(dst[i], '#') << "wrote past dst";
    *url = u.data();
    *out = r ? std::string(dst.data()) : std::string(dst.data(), 1);
    return r;
  }
};

TEST_F(TagAdjustTest, StripsLayoutMarkupOfThePage) {
  server.SetRoutes(Routes({{"/t", Body("<TABLE WIDTH=1><TR><TD>word</TD></TR></TABLE>\n"
                                       "<script>x()</script>A<SCRIPT>y()</SCRIPT>B")}}));
  std::string url = server.Url("/t"), out;
  EXPECT_EQ(Adjust(&url, &out), 1);
  EXPECT_EQ(out, "word\r\nAB");
  EXPECT_EQ(url, server.Url("/t"));
}

TEST_F(TagAdjustTest, FollowsTheNoFramesLink) {
  std::string frame = server.Url("/frame");
  server.SetRoutes(Routes(
      {{"/set", Body("<FRAMESET><NOFRAMES><a href=\"" + frame + "\">go</a></NOFRAMES></FRAMESET>")},
       {"/frame", Body("<font>framed</font> text")},
       {"/plain", Body("<NOFRAMES>no link here</NOFRAMES>")}}));
  std::string url = server.Url("/set"), out;
  EXPECT_EQ(Adjust(&url, &out), 1);
  EXPECT_EQ(url, frame);
  EXPECT_EQ(out, "framed text");

  server.ClearRequests();
  url = server.Url("/plain");
  EXPECT_EQ(Adjust(&url, &out), 1);
  EXPECT_EQ(out, "<NOFRAMES>no link here</NOFRAMES>");
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(TagAdjustTest, NothingReadLeavesEverythingUntouched) {
  server.SetRoutes(Routes({{"/empty", "\"body\": \"\""}}));
  std::string url = server.Url("/empty"), out;
  EXPECT_EQ(Adjust(&url, &out), 0);
  EXPECT_EQ(out, "#");
  EXPECT_EQ(url, server.Url("/empty"));
  url = "file:///etc/passwd";
  EXPECT_EQ(Adjust(&url, &out), 0);  // local files are not web pages
}

TEST_F(TagAdjustTest, BoundsTheCopyAndWarnsOfAnOverrun) {
  // size + 4094 bytes fill the first read: the overrun message, text kept.
  const unsigned size = 100;
  server.SetRoutes(Routes({{"/full", "\"body_repeat\": [\"ab\", 4194]"}}));
  std::string url = server.Url("/full"), out;
  EXPECT_EQ(Adjust(&url, &out, size), 1);
  EXPECT_EQ(out.size(), size - 1);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"File overran buffer -- not cached"}));
}

}  // namespace
}  // namespace mireva::hovrel

namespace mireva::hovrel {
namespace {

// Without a host the library still tells the user: on standard error, in
// UTF-8, and a password request is cancelled.
TEST(FetchWithoutHost, WritesMessagesToStandardErrorAndCancelsPrompts) {
  test::RecordingHost::Uninstall();
  mireva::testing::TestServer server(
      "{\"routes\": {\"/private\": {\"auth\": \"a:b\", \"body\": \"x\"}}}");
  std::string dir = MakeTempFolder("hovrel-nohost");
  std::vector<char> path(262, '\0');
  std::snprintf(path.data(), path.size(), "%s/missing/file.html", dir.c_str());
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Hovrel(server.Url("/p").c_str(), ' ', ' ', 'D', path.data(), 260), 0);
  std::vector<char> buf(100);
  EXPECT_EQ(Hovrel(server.Url("/private").c_str(), ' ', ' ', ' ', buf.data(), 98), 1);
  std::string err = ::testing::internal::GetCapturedStderr();
  // "ファイルの作成が失敗しました。" as UTF-8, then the refusal of the password.
  EXPECT_NE(err.find("\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB\xE3\x81\xAE"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("Access denied: Invalid password\n"), std::string::npos) << err;
  EXPECT_STREQ(buf.data(), "");
  RemoveFolder(dir);
}

}  // namespace
}  // namespace mireva::hovrel
