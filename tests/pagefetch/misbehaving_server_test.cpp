// Retrieval against servers that misbehave: bodies that never end, trickles,
// wrong lengths, compressed bombs, redirect chains, endless 401s and interim
// answers. Every fetch ends within its limits, a failed save leaves the old
// file as it was, and headers of an interim answer are never the answer's.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "pagefetch/fetch.h"
#include "pagefetch/tag_adjust.h"
#include "platform/monotonic_clock.h"
#include "tests/pagefetch/test_helpers.h"
#include "tests/support/test_server.h"

namespace mireva::hovrel {
namespace {

using mireva::testing::ReadFile;
using mireva::testing::TestServer;
using mireva::testing::WriteFile;

constexpr long kDeadlineMs = 1800;
constexpr char kAny[] = "*";  // a result that is not compared

enum class Mode { Text, Save, Adjust };

struct Case {
  Case(const char* w, Mode m, std::string r, std::string res, std::string msg, bool s = false)
      : what(w),
        mode(m),
        route(std::move(r)),
        result(std::move(res)),
        message(std::move(msg)),
        slow(s) {}
  const char* what;
  Mode mode;
  std::string route;    // JSON members of the answer
  std::string result;   // text mode: the text; save: the file ("old" when kept); adjust: the text
  std::string message;  // the start of the one message shown; "" none
  bool slow;            // ended at the deadline
};

TEST(MisbehavingServer, EveryFetchIsBoundedAndAFailedSaveKeepsTheOldFile) {
  const std::string gzipBomb = "\"bomb\": [\"gzip\", " + std::to_string(1LL << 30) + "]";
  const std::string endless = "\"endless\": true, \"body_repeat\": [\"abc\", 16384]";
  const std::string trickle = "\"endless\": true, \"body\": \"t\", \"chunk_delay_ms\": 300";
  const std::string drip = "\"endless\": true, \"body\": \"d\", \"chunk_delay_ms\": 2500";
  const std::string tooLong = "\"body\": \"0123456789\", \"content_length\": 40";
  // Interim answers whose headers would each change the outcome if taken for
  // the final answer's.
  const std::string interim =
      "\"interim\": [{\"status\": 100, \"headers\": {\"Content-Length\": \"2\"}},"
      " {\"status\": 103, \"headers\": {\"Location\": \"/elsewhere\", \"Content-Length\": \"3\","
      " \"Content-Type\": \"image/gif\", \"Set-Cookie\": \"early=1\","
      " \"WWW-Authenticate\": \"Basic realm=\\\"Early\\\"\"}}]";
  const std::string abc = [] {
    std::string s;
    while (s.size() < 100) s += "abc";
    return s.substr(0, 100);
  }();
  const char* internet = "CInternet Error: ";
  const char* tooBig = "CInternet Error: the page is too long to save";
  const std::vector<Case> cases = {
      {"endless body", Mode::Text, endless, abc, ""},
      {"a byte now and then", Mode::Text, trickle, "", internet, true},
      {"a byte every few seconds", Mode::Text, drip, "", internet},
      {"length longer than the body", Mode::Text, tooLong, "", internet},
      {"length shorter than the body", Mode::Text,
       "\"body\": \"0123456789\", \"content_length\": 4", "0123", ""},
      {"unasked-for bomb", Mode::Text, gzipBomb, kAny, ""},
      {"redirect chain", Mode::Text, "\"redirect_chain\": [50, \"/x\"]", "",
       "Error: Got status code 302"},
      // The prompt comes once, for the final answer's realm; the second 401 is the page.
      {"401 to everything", Mode::Text,
       interim + ", \"status\": 401, \"body\": \"denied\", "
                 "\"headers\": {\"WWW-Authenticate\": \"Basic realm=\\\"Final\\\"\"}",
       "denied", ""},
      {"interim answers", Mode::Text, interim + ", \"body\": \"final body\"", "final body", ""},
      {"interim location, redirect without one", Mode::Text,
       interim + ", \"status\": 302, \"body\": \"moved\"", "",
       "Error: Site redirects with no new location"},
      {"endless body saved", Mode::Save, endless, "old", tooBig},
      {"endless body within a huge length", Mode::Save,
       endless + ", \"content_length\": 1000000000000", "old", tooBig},
      {"a byte now and then saved", Mode::Save, trickle, "old", internet, true},
      {"length longer than the body saved", Mode::Save, tooLong, "old", internet},
      {"unasked-for bomb saved", Mode::Save, gzipBomb, kAny, ""},
      {"interim answers saved", Mode::Save, interim + ", \"body\": \"final body\"", "final body",
       ""},
      {"redirect chain for the tag adjustment", Mode::Adjust, "\"redirect_chain\": [50, \"/x\"]",
       "", ""},
      {"endless body for the tag adjustment", Mode::Adjust, endless, kAny,
       "File overran buffer -- not cached"},
  };

  test::RecordingHost host;
  host.Install();
  TestServer server;
  const std::string dir = mireva::testing::MakeTempFolder("hovrel-misbehaving");
  const std::string path = dir + "/page.html";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    server.SetRoutes("{\"routes\": {\"/p\": {" + c.route + "}, \"/x\": {\"body\": \"x\"}}}");
    server.ClearRequests();
    WriteFile(path, "old");
    host.messages.clear();
    host.prompts.clear();
    host.logins = {{"ann", "secret"}, {"ann", "secret"}};
    FetchRequest request;
    request.limits.stallSeconds = 1;
    request.limits.textDeadlineMs = kDeadlineMs;
    request.limits.saveDeadlineMs = kDeadlineMs;
    request.limits.saveBytes = 4 << 20;
    const std::string url = server.Url("/p");
    std::vector<char> area(std::max<size_t>(path.size() + 1, 102), '\0');
    std::string got;
    const long long start = MonotonicMs();
    if (c.mode == Mode::Save) {
      request.saveToFile = 1;
      std::copy(path.begin(), path.end(), area.begin());
      FetchPage(request, url.c_str(), ' ', ' ', area.data(), 100);
      got = ReadFile(path);
    } else if (c.mode == Mode::Text) {
      FetchPage(request, url.c_str(), ' ', ' ', area.data(), 100);
      got = area.data();
    } else {
      std::vector<char> address(HOVREL_URL_CAPACITY, '\0');
      std::copy(url.begin(), url.end(), address.begin());
      if (AdjustTags(request, address.data(), area.data(), 100)) got = area.data();
    }
    const long long took = MonotonicMs() - start;

    if (c.slow) {
      // The client's timer may fire a millisecond before ours reads the deadline.
      EXPECT_GE(took, kDeadlineMs - 5);
    }
    // Every case ends by its deadline; a stall may be noticed only about a
    // second after the limit, so a case that ends on a stall can meet the
    // deadline first on a loaded machine.
    EXPECT_LT(took, kDeadlineMs + 1500);
    if (c.result != kAny) {
      EXPECT_EQ(got, c.result);
    }
    if (c.message.empty()) {
      EXPECT_EQ(host.messages, std::vector<std::string>{});
    } else {
      ASSERT_EQ(host.messages.size(), 1u);
      EXPECT_EQ(host.messages[0].rfind(c.message, 0), 0u) << host.messages[0];
    }
    EXPECT_LE(server.Requests().size(), 11u);
    EXPECT_LE(host.prompts.size(), 1u);
    if (!host.prompts.empty()) {
      EXPECT_EQ(host.prompts[0], "127.0.0.1|Final");
    }
    // A save never leaves a temporary file, and an unasked-for bomb is saved
    // as the compressed bytes it is.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                            std::filesystem::directory_iterator()),
              1);
    if (c.mode == Mode::Save && c.result == kAny) {
      EXPECT_LT(got.size(), 4u << 20);
      EXPECT_EQ(got.substr(0, 2), "\x1f\x8b");
    }
  }
  test::RecordingHost::Uninstall();
  mireva::testing::RemoveFolder(dir);
  // Nothing a bomb holds comes near memory: a gigabyte unpacked.
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  EXPECT_LT(usage.ru_maxrss, 256L << 10);  // kilobytes
}

}  // namespace
}  // namespace mireva::hovrel
