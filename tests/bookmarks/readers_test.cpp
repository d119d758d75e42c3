#include <gtest/gtest.h>

#include <string>

#include "bookmarks/netscape_bookmarks.h"
#include "bookmarks/opera_hotlist.h"
#include "bookmarks/sjis_text.h"
#include "platform/text_encoding.h"
#include "tests/support/test_server.h"

namespace mireva {
namespace {

using testing::ReadFile;
using testing::SourceDir;

std::string Fixture(const std::string& name) {
  return ReadFile(SourceDir() + "/tests/data/bookmarks/" + name);
}

std::string Link(int n, const std::string& extra = "") {
  return "<DT><A HREF=\"http://site" + std::to_string(n) + ".example/\" ADD_DATE=\"1\">Link " +
         std::to_string(n) + "</A>" + extra + "\r\n";
}

// --- Netscape bookmark files -------------------------------------------------

TEST(NetscapeBookmarks, CutsTheQueryAndTakesTheLinkText) {
  NetscapeBookmarks b = ParseNetscapeBookmarks(
      "<DL><p>\n<DT><A HREF=\"http://a.example/find?q=1&x=2\" ADD_DATE=\"9\">Find it</A>\n</DL>\n");
  ASSERT_EQ(b.entries.size(), 1u);
  EXPECT_EQ(b.entries[0].address, "http://a.example/find");
  EXPECT_EQ(b.entries[0].title, "Find it");
}

TEST(NetscapeBookmarks, StartsAtTheMarkerAndWrapsRound) {
  std::string file = "<DL><p>\r\n";
  for (int n = 1; n <= 10; ++n) file += Link(n, n == 5 ? " マイブック" : "");
  NetscapeBookmarks b = ParseNetscapeBookmarks(file);
  ASSERT_EQ(b.entries.size(), 10u);
  const int expected[] = {5, 6, 7, 8, 9, 10, 1, 2, 3, 4};
  for (size_t r = 0; r < 10; ++r) {
    EXPECT_EQ(b.entries[r].title, "Link " + std::to_string(expected[r])) << r;
    EXPECT_EQ(b.entries[r].address, "http://site" + std::to_string(expected[r]) + ".example/") << r;
  }
  MenuModel section = NetscapeMenuSection(b);
  ASSERT_EQ(section.size(), 11u);
  EXPECT_EQ(section[0].kind, MenuItem::Kind::Separator);
  for (size_t r = 0; r < 10; ++r) {
    EXPECT_EQ(section[r + 1].id, kNetscapeFirstId + static_cast<int>(r));
    EXPECT_EQ(section[r + 1].address, b.entries[r].address);
  }
}

TEST(NetscapeBookmarks, KeepsFileOrderWithoutMarker) {
  std::string file;
  for (int n = 1; n <= 3; ++n) file += Link(n);
  NetscapeBookmarks b = ParseNetscapeBookmarks(file);
  ASSERT_EQ(b.entries.size(), 3u);
  EXPECT_EQ(b.entries[0].title, "Link 1");
  EXPECT_EQ(b.entries[2].title, "Link 3");
  // A marker before the first link is the same as none.
  b = ParseNetscapeBookmarks("<H3>マイブック</H3>\n" + file);
  EXPECT_EQ(b.entries[0].title, "Link 1");
}

TEST(NetscapeBookmarks, SkipsLinesThatDoNotFit) {
  NetscapeBookmarks b = ParseNetscapeBookmarks(
      "<DT><A HREF=\"http://noclose.example/ no closing quote>Title</A>\n"  // quote after the title only
      "<DT><A HREF=\"http://a.example/\">no closing tag\n"
      "<DT><A HREF=\"http://b.example/\" no greater-than\n"
      "<dt><a href=\"http://lower.example/\">lower case</a>\n"
      "<DT><A HREF=\"http://ok.example/\">OK</A>\n");
  // The first line's address runs to the next quote, which it lacks; the
  // lower-case anchor is not the anchor the reader looks for.
  ASSERT_EQ(b.entries.size(), 1u);
  EXPECT_EQ(b.entries[0].title, "OK");
  EXPECT_TRUE(NetscapeMenuSection(ParseNetscapeBookmarks("<DL>\n</DL>\n")).empty());
}

TEST(NetscapeBookmarks, StopsAtAnOverLongLine) {
  std::string file = Link(1) + "<!-- " + std::string(kBookmarkLineLimit, 'x') + " -->\n" + Link(2);
  NetscapeBookmarks b = ParseNetscapeBookmarks(file);
  ASSERT_EQ(b.entries.size(), 1u);
  EXPECT_EQ(b.entries[0].title, "Link 1");
}

TEST(NetscapeBookmarks, NeverReachesTheOperaRange) {
  std::string file;
  for (int n = 0; n < 300; ++n) file += Link(n);
  NetscapeBookmarks b = ParseNetscapeBookmarks(file);
  EXPECT_TRUE(b.truncated);
  ASSERT_EQ(b.entries.size(), 256u);
  MenuModel section = NetscapeMenuSection(b);
  EXPECT_EQ(section[256].id, kOperaFirstId - 1);
  EXPECT_EQ(section.back().kind, MenuItem::Kind::Notice);
  EXPECT_EQ(CountCommands(section), 256u);
}

TEST(NetscapeBookmarks, ReadsAFirefoxExport) {
  NetscapeBookmarks b = ParseNetscapeBookmarks(Fixture("firefox_export_utf8.html"));
  ASSERT_EQ(b.entries.size(), 4u);
  // The lines with a favicon run far past 258 characters and still count.
  EXPECT_EQ(b.entries[0].title, "Firefox について");
  EXPECT_EQ(b.entries[0].address, "https://www.mozilla.org/ja/firefox/");
  EXPECT_EQ(b.entries[1].title, "NHK ニュース & 天気");
  EXPECT_EQ(b.entries[2].title, "天気予報 <全国>");
  EXPECT_EQ(b.entries[2].address, "https://www.example.jp/search");
  EXPECT_EQ(b.entries[3].title, "日本 - Wikipedia");
  EXPECT_EQ(b.entries[3].address, "https://ja.wikipedia.org/wiki/%E6%97%A5%E6%9C%AC");
}

TEST(NetscapeBookmarks, ReadsAChromiumExport) {
  NetscapeBookmarks b = ParseNetscapeBookmarks(Fixture("chromium_export_utf8.html"));
  ASSERT_EQ(b.entries.size(), 4u);
  EXPECT_EQ(b.entries[0].title, "Google");
  EXPECT_EQ(b.entries[1].title, "気象庁｜天気予報");
  EXPECT_EQ(b.entries[2].title, "It's 日曜大工");
  EXPECT_EQ(b.entries[2].address, "https://www.example.com/it's");
  EXPECT_EQ(b.entries[3].address, "https://www.yahoo.co.jp/");
}

TEST(NetscapeBookmarks, ReadsAShiftJisFileWithItsMarker) {
  NetscapeBookmarks b = ParseNetscapeBookmarks(Fixture("netscape4_sjis_marker.html"));
  ASSERT_EQ(b.entries.size(), 3u);
  EXPECT_EQ(b.entries[0].title, "アサヒ・コム");
  EXPECT_EQ(b.entries[1].title, "ソフト表示");  // trail bytes 0x5C stay as they are
  EXPECT_EQ(b.entries[2].title, "ネットスケープ");
}

TEST(NetscapeBookmarks, FindsTheMarkerInUndeclaredUtf8) {
  std::string file = SjisToUtf8(Link(1) + Link(2) + "<H3>マイブック</H3>\n" + Link(3) + "<DT><A HREF=\"http://j.example/\">日本</A>\n");
  NetscapeBookmarks b = ParseNetscapeBookmarks(file);
  ASSERT_EQ(b.entries.size(), 4u);
  EXPECT_EQ(b.entries[0].title, "Link 3");
  EXPECT_EQ(b.entries[1].title, "日本");
  EXPECT_EQ(b.entries[2].title, "Link 1");
}

TEST(NetscapeBookmarks, DeclaredCharsetWinsOverDetection) {
  // Declared Shift_JIS: bytes are taken as they are even where they would
  // also be valid UTF-8.
  std::string sjis = "<META CONTENT=\"text/html; charset=Shift_JIS\">\n<DT><A HREF=\"http://x/\">\xE3\x81\x82</A>\n";
  EXPECT_EQ(ParseNetscapeBookmarks(sjis).entries[0].title, "\xE3\x81\x82");
  std::string bom = "\xEF\xBB\xBF" + SjisToUtf8("<DT><A HREF=\"http://x/\">あ</A>\n");
  EXPECT_EQ(ParseNetscapeBookmarks(bom).entries[0].title, "あ");
}

TEST(HtmlEntities, DecodesTheReferencesExportsWrite) {
  EXPECT_EQ(DecodeHtmlEntities("a &amp; b &lt;c&gt; &quot;d&quot; &#39;e&#x27;"), "a & b <c> \"d\" 'e'");
  EXPECT_EQ(DecodeHtmlEntities("&#26085;&#x672C;"), "日本");
  EXPECT_EQ(DecodeHtmlEntities("AT&T &unknown; &#; &#xZZ; & end"), "AT&T &unknown; &#; &#xZZ; & end");
  EXPECT_EQ(DecodeHtmlEntities("&#0;&#x110000;"), "&#0;&#x110000;");
}

// --- Opera hotlists ----------------------------------------------------------

TEST(OperaHotlist, ReadsTodaysHotlistWithFolders) {
  OperaHotlist h = ParseOperaHotlist(Fixture("opera_hotlist_utf8.adr"));
  // Top level: folder "ニュース" (2 entries), the empty folder left out,
  // "Opera のホームページ", folder "外側" (its nested folder flattened), then
  // "外側の二つ目" at the top level after the inner "-" closed the outer folder.
  ASSERT_EQ(h.items.size(), 4u);
  const MenuItem& news = h.items[0];
  EXPECT_EQ(news.kind, MenuItem::Kind::Submenu);
  EXPECT_EQ(news.caption, "ニュース");
  ASSERT_EQ(news.children.size(), 2u);
  EXPECT_EQ(news.children[0].caption, "朝日新聞");
  EXPECT_EQ(news.children[0].id, kOperaFirstId);
  EXPECT_EQ(news.children[1].caption, "NHK");
  EXPECT_EQ(news.children[1].id, kOperaFirstId + 1);
  EXPECT_EQ(h.items[1].caption, "Opera のホームページ");
  EXPECT_EQ(h.items[1].id, kOperaFirstId + 2);
  const MenuItem& outer = h.items[2];
  EXPECT_EQ(outer.caption, "外側");
  ASSERT_EQ(outer.children.size(), 2u);
  EXPECT_EQ(outer.children[0].caption, "外側の一つ目");
  EXPECT_EQ(outer.children[1].caption, "内側の項目");
  EXPECT_EQ(h.items[3].caption, "外側の二つ目");
  EXPECT_EQ(h.items[3].id, kOperaFirstId + 5);
  EXPECT_EQ(h.addresses, (std::vector<std::string>{
                             "http://www.asahi.com/", "http://www.nhk.or.jp/", "http://www.opera.com/",
                             "http://outer.example/1", "http://inner.example/", "http://outer.example/2"}));
}

TEST(OperaHotlist, ReadsAnOldShiftJisHotlist) {
  OperaHotlist h = ParseOperaHotlist(Fixture("opera6_sjis.adr"));
  ASSERT_EQ(h.items.size(), 2u);
  EXPECT_EQ(h.items[0].caption, "リンク集");
  ASSERT_EQ(h.items[0].children.size(), 1u);
  EXPECT_EQ(h.items[0].children[0].caption, "ヤフー");
  EXPECT_EQ(h.items[1].caption, "インフォシーク");
  EXPECT_EQ(h.items[1].id, kOperaFirstId + 1);
  EXPECT_EQ(h.addresses[1], "http://www.infoseek.co.jp/");
}

TEST(OperaHotlist, HandlesEntriesThatLackFields) {
  OperaHotlist h = ParseOperaHotlist(
      "#URL\n\tURL=http://noname.example/\n\n"      // no NAME: skipped
      "#URL\n\tNAME=No address\n\n"                // no URL: empty address
      "#URL\n\tNAME=Tight\n\tURL=http://t/\n"      // no blank line before the next entry
      "#URL\n\tNAME=Next\n\tURL=http://n/\n"
      "#FOLDER\n\tURL=x\n\n#URL\n\tNAME=after nameless folder\n\tURL=http://a/\n-\n");
  ASSERT_EQ(h.items.size(), 4u);
  EXPECT_EQ(h.items[0].caption, "No address");
  EXPECT_EQ(h.addresses[0], "");
  EXPECT_EQ(h.items[1].caption, "Tight");
  EXPECT_EQ(h.addresses[1], "http://t/");
  EXPECT_EQ(h.items[2].caption, "Next");
  EXPECT_EQ(h.items[3].caption, "after nameless folder");
}

TEST(OperaHotlist, AlwaysOpensItsSectionWithASeparator) {
  MenuModel empty = OperaMenuSection(ParseOperaHotlist(""));
  ASSERT_EQ(empty.size(), 1u);
  EXPECT_EQ(empty[0].kind, MenuItem::Kind::Separator);
}

TEST(OperaHotlist, NeverLeavesItsRange) {
  std::string file = "#FOLDER\n\tNAME=F\n\n";
  for (int i = 0; i < 200; ++i) file += "#URL\n\tNAME=f" + std::to_string(i) + "\n\tURL=http://f/\n\n";
  file += "-\n";
  for (int i = 0; i < 100; ++i) file += "#URL\n\tNAME=t" + std::to_string(i) + "\n\tURL=http://t/\n\n";
  OperaHotlist h = ParseOperaHotlist(file);
  EXPECT_TRUE(h.truncated);
  EXPECT_EQ(h.addresses.size(), 256u);
  MenuModel section = OperaMenuSection(h);
  EXPECT_EQ(CountCommands(section), 256u);
  int maxId = 0;
  for (const MenuItem& i : section) maxId = std::max(maxId, i.id);
  EXPECT_EQ(maxId, kOperaFirstId + 255);
  EXPECT_EQ(section.back().kind, MenuItem::Kind::Notice);
}

}  // namespace
}  // namespace mireva
