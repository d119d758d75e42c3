// The result-page parsers: one saved page per engine rule, and the edges that
// decide which links a user gets (lost last result, chunk limits, the 33rd
// result, address limits, hit counts, end markers).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "searchresults/result_page_parser.h"
#include "tests/support/test_server.h"

namespace mireva {
namespace {

// A page as the export receives it: writable and NUL-terminated.
std::vector<char> Writable(const std::string& text) {
  std::vector<char> page(text.begin(), text.end());
  page.push_back('\0');
  return page;
}

std::vector<char> Fixture(const std::string& name) {
  return Writable(testing::ReadFile(testing::SourceDir() + "/tests/data/searchresults/" + name));
}

std::vector<std::string> Urls(const EngineResults& r) {
  std::vector<std::string> urls;
  for (int i = 0; i < r.count; ++i) urls.push_back(r.entries[static_cast<size_t>(i)].url);
  return urls;
}

struct EngineCase {
  int engine;
  const char* fixture;
  std::vector<std::string> urls;
  int hits;
};

// Every rule of the table on a page written for it. The last anchor of each
// list is followed by no further anchor, so it never yields a result.
TEST(ResultPageParser, EachEngineRuleFindsItsLinksAndHitCount) {
  const std::vector<EngineCase> cases = {
      {0, "yahoo_site_matches.html", {"http://www.example.jp/a.html", "http://www.example.jp/b"}, 1234},
      {0, "yahoo_page_matches_only.html", {"http://pages.example.jp/1.html", "http://pages.example.jp/2.html"}, 0},
      {1, "goo.html", {"http://goo.example/x", "http://goo.example/y"}, 100},
      {2, "excite.html", {"http://excite.example/one.html", "http://excite.example/two.html"}, 5678},
      {3, "infoseek.html", {"http://infoseek.example/r1", "http://infoseek.example/r2"}, 0},
      {4, "infonavi.html", {"http://navi.example/1", "http://navi.example/2"}, 250},
      {5, "lycos.html", {"http://lycos.example/hit1", "http://lycos.example/hit2"}, 0},
      {6, "biglobe.html", {"http://biglobe.example/cat1", "http://biglobe.example/cat2"}, 42},
      {6, "biglobe_kids.html", {"http://kids.example/dog1", "http://kids.example/dog2"}, 7},
      {7, "inet.html", {"http://inet.example/a", "http://inet.example/b"}, 1234},
      {8, "fresheye.html", {"http://fresh.example/s1", "http://fresh.example/s2"}, 87},
      {9, "nifty.html", {"http://nifty.example/n1", "http://nifty.example/n2"}, 0},
      {10, "dragon.html", {"http://dragon.example/d1", "http://dragon.example/d2"}, 0},
      {11, "joy.html", {"http://joy.example/j1", "http://joy.example/j2"}, 0},
      {12, "dokoda.html", {"http://dokoda.example/k1", "http://dokoda.example/k2"}, 0},
      {13, "webgate.html", {}, 0},
      {16, "google.html", {"http://google.example/g1", "http://google.example/g2"}, 0},
  };
  ResultPageParser parser;
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i) + ": " + cases[i].fixture);
    std::vector<char> page = Fixture(cases[i].fixture);
    const EngineResults& r = parser.Parse(cases[i].engine, page.data());
    EXPECT_EQ(Urls(r), cases[i].urls);
    EXPECT_EQ(r.hits, cases[i].hits);
  }
}

TEST(ResultPageParser, DescriptionsAreTheChunkWithoutTags) {
  ResultPageParser parser;
  std::vector<char> yahoo = Fixture("yahoo_site_matches.html");
  const EngineResults& r = parser.Parse(0, yahoo.data());
  ASSERT_EQ(r.count, 2);
  // "address description": the description keeps the space that separated it.
  EXPECT_EQ(r.entries[0].text, "  Example A  最初のサイト ");
  EXPECT_EQ(r.entries[1].text, "  Example B  二番目のサイト ");

  // goo: address, title and the text after the address.
  std::vector<char> goo = Fixture("goo.html");
  const EngineResults& g = parser.Parse(1, goo.data());
  ASSERT_EQ(g.count, 2);
  EXPECT_EQ(g.entries[0].text, "  タイトル一    説明文一");

  // InfoNavigater: the rest of the definition after the address's quote.
  std::vector<char> navi = Fixture("infonavi.html");
  const EngineResults& n = parser.Parse(4, navi.data());
  ASSERT_EQ(n.count, 2);
  EXPECT_EQ(n.entries[0].text, " ナビ一  一つ目の説明");

  // BIGLOBE kids: the address follows "URL=".
  std::vector<char> kids = Fixture("biglobe_kids.html");
  const EngineResults& k = parser.Parse(6, kids.data());
  ASSERT_EQ(k.count, 2);
  EXPECT_EQ(k.entries[0].text, "  いぬ一  子供向け");
}

TEST(ResultPageParser, EndMarkersCutTheCallersPage) {
  ResultPageParser parser;
  std::vector<char> goo = Fixture("goo.html");
  std::string before(goo.data());
  size_t marker = before.find("RESULT BODY TABLE/");
  ASSERT_NE(marker, std::string::npos);
  parser.Parse(1, goo.data());
  EXPECT_EQ(goo[marker], '\0');
  EXPECT_EQ(std::string(goo.data()), before.substr(0, marker));

  std::vector<char> navi = Fixture("infonavi.html");
  std::string naviBefore(navi.data());
  size_t end = naviBefore.find("<!-- #resultsend -->");
  const EngineResults& r = parser.Parse(4, navi.data());
  EXPECT_EQ(navi[end], '\0');
  for (const std::string& url : Urls(r)) EXPECT_EQ(url.find("after"), std::string::npos);

  // A hit count that stands after goo's end marker no longer counts.
  std::vector<char> late = Writable(
      "検索結果 <a href=\"http://a/\">A</a> http://a/ x <a href=\"http://b/\">B</a>"
      "RESULT BODY TABLE/ 検索結果 55件");
  const EngineResults& l = parser.Parse(1, late.data());
  EXPECT_EQ(l.hits, 0);
  EXPECT_EQ(Urls(l), std::vector<std::string>{"http://a/"});
}

// Anchors with `filler` bytes between "<a" and the next "<a".
std::string AnchorsApart(size_t gap) {
  std::string first = "<a href=\"http://first/\">";
  std::string chunk = first + std::string(gap - first.size(), 'x');
  return chunk + "<a href=\"http://second/\">s <a href=\"http://third/\">t <a>";
}

TEST(ResultPageParser, ChunkLimitEndsAnchorScanButGooCutsAndGoesOn) {
  ResultPageParser parser;
  // 2,048 bytes apart is still one chunk; 2,049 ends the scan.
  std::vector<char> fits = Writable("<body>" + AnchorsApart(2048));
  EXPECT_EQ(parser.Parse(16, fits.data()).count, 3);
  std::vector<char> gap = Writable("<body>" + AnchorsApart(2049));
  EXPECT_EQ(parser.Parse(16, gap.data()).count, 0);

  std::string first = "<a href=\"x\">http://first/ ";
  std::string goo = "検索結果 " + first + std::string(2049 - first.size(), 'y') +
                    "<a>http://second/ s<a>http://third/ t<a>";
  std::vector<char> gooPage = Writable(goo);
  const EngineResults& r = parser.Parse(1, gooPage.data());
  EXPECT_EQ(Urls(r), (std::vector<std::string>{"http://first/", "http://second/", "http://third/"}));
}

TEST(ResultPageParser, LongDefinitionIsCutToTheChunkBufferAndScanGoesOn) {
  std::string page = "<!-- #results -->";
  page += "<DL><DT><a href=\"http://long/\">" + std::string(5000, 'z') + "</DL>";
  page += "<DL><DT><a href=\"http://next/\">n</DL><!-- #resultsend -->";
  std::vector<char> buf = Writable(page);
  ResultPageParser parser;
  const EngineResults& r = parser.Parse(4, buf.data());
  EXPECT_EQ(Urls(r), (std::vector<std::string>{"http://long/", "http://next/"}));
  EXPECT_LE(r.entries[0].text.size(), kMaxTextBytes);
}

TEST(ResultPageParser, KeepsThirtyTwoResultsAndDropsTheRest) {
  std::string page = "<body>";
  for (int i = 0; i < 34; ++i) page += "<a href=\"http://r/" + std::to_string(i) + "\">r</a> ";
  page += "<a>";
  std::vector<char> buf = Writable(page);
  ResultPageParser parser;
  const EngineResults& r = parser.Parse(16, buf.data());
  ASSERT_EQ(r.count, kMaxResults);
  EXPECT_EQ(r.entries[31].url, "http://r/31");
}

TEST(ResultPageParser, AddressLimitsAndParenthesis) {
  ResultPageParser parser;
  const std::string base = "http://";
  std::string url126 = base + std::string(126 - base.size(), 'a');
  std::string url127 = base + std::string(127 - base.size(), 'b');
  parser.Reset();
  parser.AddEntry(url126 + " kept");
  parser.AddEntry(url127 + " dropped");
  parser.AddEntry("http://c/page(2).html cut");
  parser.AddEntry("no-space-at-all");
  const EngineResults& r = parser.Results();
  ASSERT_EQ(r.count, 2);
  EXPECT_EQ(r.entries[0].url, url126);
  EXPECT_EQ(r.entries[0].text, " kept");
  EXPECT_EQ(r.entries[1].url, "http://c/page");
  EXPECT_EQ(r.entries[1].text, " cut");

  // The same through a page: a 127-byte address drops only its own result.
  std::vector<char> page = Writable("<body><a href=\"" + url127 + "\">x <a href=\"" + url126 +
                                    "\">y <a>");
  EXPECT_EQ(Urls(parser.Parse(16, page.data())), std::vector<std::string>{url126});
}

TEST(ResultPageParser, LongDescriptionIsCutWithoutSplittingACharacter) {
  ResultPageParser parser;
  parser.Reset();
  // One space, then two-byte characters: 511 bytes would end inside one.
  std::string text;
  for (int i = 0; i < 300; ++i) text += "あ";
  parser.AddEntry("http://d/ " + text);
  const ResultEntry& e = parser.Results().entries[0];
  EXPECT_EQ(e.text.size(), 511u);  // the space and 255 characters
  EXPECT_EQ(e.text, " " + text.substr(0, 510));

  std::string ascii(600, 'q');
  parser.AddEntry("http://e/ " + ascii);
  EXPECT_EQ(parser.Results().entries[1].text.size(), 511u);

  // A huge description through a page never overruns anything.
  std::vector<char> page = Writable("<body><a href=\"http://f/\">" + std::string(2000, 'w') + "<a>");
  const EngineResults& r = parser.Parse(16, page.data());
  ASSERT_EQ(r.count, 1);
  EXPECT_EQ(r.entries[0].text.size(), 511u);
}

TEST(ResultPageParser, ReadHitCountTakesTheFirstRunOfDigits) {
  EXPECT_EQ(ResultPageParser::ReadHitCount("1,234件"), 1);
  EXPECT_EQ(ResultPageParser::ReadHitCount("約 1234 件"), 1234);
  EXPECT_EQ(ResultPageParser::ReadHitCount("100件"), 100);
  EXPECT_EQ(ResultPageParser::ReadHitCount("<b>検索結果</b> <font size=3>77</font>件"), 77);
  EXPECT_EQ(ResultPageParser::ReadHitCount("該当なし"), 0);
  EXPECT_EQ(ResultPageParser::ReadHitCount("件 55"), 0);
  // Only 126 bytes are read.
  EXPECT_EQ(ResultPageParser::ReadHitCount(std::string(126, ' ') + "42件"), 0);
  EXPECT_EQ(ResultPageParser::ReadHitCount(std::string(124, ' ') + "42件"), 42);
  // A run too long for an int stays the largest count instead of overflowing.
  EXPECT_EQ(ResultPageParser::ReadHitCount(std::string(60, '9') + "件"), INT32_MAX);
}

TEST(ResultPageParser, MarkerFallbacksOfYahooAndInetGuide) {
  ResultPageParser parser;
  // Without any of yahoo's three markers the list starts at the "<ul>" after
  // "goo 検索結果".
  std::vector<char> yahoo = Writable(
      "<a href=\"http://before/\">b</a><p>goo 検索結果</p><a href=\"http://x/\">x</a>"
      "<ul><a href=\"http://y/1\">1</a><a href=\"http://y/2\">2</a><a>");
  EXPECT_EQ(Urls(parser.Parse(0, yahoo.data())),
            (std::vector<std::string>{"http://y/1", "http://y/2"}));

  // iNET Guide reads 8 bytes before "件一致しました", or from the page start
  // when the marker stands closer to it.
  std::vector<char> near = Writable("12件一致しました");
  EXPECT_EQ(parser.Parse(7, near.data()).hits, 12);
  std::vector<char> far = Writable("99 <b>1234567</b>件一致しました");
  EXPECT_EQ(parser.Parse(7, far.data()).hits, 4567);
}

TEST(ResultPageParser, StripTagsDropsMarkupAndControlBytes) {
  EXPECT_EQ(ResultPageParser::StripTags("a<b>c</b>\r\n\td", TagState::Outside), "a c d");
  EXPECT_EQ(ResultPageParser::StripTags("href=\"x\">text<i>", TagState::Inside), "text ");
  EXPECT_EQ(ResultPageParser::StripTags("日本<br>語", TagState::Outside), "日本 語");
}

TEST(ResultPageParser, StoreKeepsOneSlotPerEngine) {
  ResultPageParser parser;
  EngineResultStore store;
  std::vector<char> google = Fixture("google.html");
  parser.ParseInto(16, google.data(), store);
  EXPECT_EQ(store.Slot(16).count, 2);
  std::vector<char> yahoo = Fixture("yahoo_site_matches.html");
  parser.ParseInto(0, yahoo.data(), store);
  EXPECT_EQ(store.Slot(16).count, 2);  // other slots stay
  EXPECT_EQ(store.Slot(0).hits, 1234);

  // A page without results overwrites the slot with an empty list.
  std::vector<char> empty = Writable("<html>nothing</html>");
  parser.ParseInto(16, empty.data(), store);
  EXPECT_EQ(store.Slot(16).count, 0);

  // An index without an engine is parsed as an empty page and stores nothing.
  std::vector<char> again = Fixture("google.html");
  parser.ParseInto(14, again.data(), store);
  EXPECT_EQ(store.Slot(14).count, 0);
  parser.ParseInto(99, again.data(), store);
  parser.ParseInto(-1, again.data(), store);
  EXPECT_EQ(store.Slot(99).count, 0);
  EXPECT_EQ(store.Slot(0).count, 2);
}

TEST(ResultPageParser, PagesWithoutMarkersYieldNothing) {
  ResultPageParser parser;
  for (int engine : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 21}) {
    SCOPED_TRACE(engine);
    std::vector<char> page = Writable("<html><a href=\"http://x/\">x</a><a>");
    std::vector<char> empty = Writable("");
    EXPECT_EQ(parser.Parse(engine, empty.data()).count, 0);
    const EngineResults& r = parser.Parse(engine, page.data());
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.hits, 0);
  }
  EXPECT_EQ(parser.Parse(0, nullptr).count, 0);
}

}  // namespace
}  // namespace mireva
