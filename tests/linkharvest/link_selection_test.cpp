// The link-selection window's logic: the page's answer, the filters and the
// renaming mask, whose names are the files a person finds on disk.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "linkharvest/link_selection.h"
#include "platform/testing/fake_browser.h"

namespace mireva {
namespace {

PageLink Link(const std::string& address, const std::string& text = "") {
  PageLink l;
  l.address = address;
  l.text = text;
  return l;
}

MaskContext Context(size_t count) {
  MaskContext c;
  c.pageAddress = "https://page.example.jp:8080/dir/index.html";
  c.pageTitle = "今日の写真";
  std::tm tm{};
  tm.tm_year = 2026 - 1900;
  tm.tm_mon = 11;
  tm.tm_mday = 9;
  tm.tm_hour = 7;
  tm.tm_min = 5;
  tm.tm_sec = 3;
  tm.tm_isdst = -1;
  c.now = std::mktime(&tm);
  c.count = count;
  return c;
}

TEST(LinkSelection, ReadsThePagesAnswerOnceEachWithSizesAndWebAddressesOnly) {
  FakeBrowser browser;
  browser.scriptResult =
      "link\thttp://h/a.zip#part\tA\t0\t0\n"
      "image\thttp://h/p.png\t\t640\t480\n"
      "link\thttp://h/p.png\t写真\t0\t0\n"
      "link\tjavascript:void(0)\tx\t0\t0\n"
      "link\tmailto:a@h\tm\t0\t0\n"
      "link\thttp://h/a.zip\tagain\t0\t0\n"
      "broken line\n";
  auto links = CollectPageLinks(browser);
  ASSERT_TRUE(links);
  ASSERT_EQ(links->size(), 2u);
  EXPECT_EQ((*links)[0].address, "http://h/a.zip");
  EXPECT_EQ((*links)[0].text, "A");
  EXPECT_EQ((*links)[1].text, "写真");  // filled in from the later link
  EXPECT_EQ((*links)[1].width, 640);
  EXPECT_EQ(browser.log, std::vector<std::string>{"script"});
  browser.scriptResult.reset();
  EXPECT_FALSE(CollectPageLinks(browser));
}

TEST(LinkSelection, PatternsTakeWildcardsSubstringsAndExpressions) {
  struct Row {
    const char* pattern;
    const char* address;
    bool matches;
  } rows[] = {
      {"*.zip", "http://h/f/a.ZIP", true},
      {"*.zip", "http://h/a.zip?dl=1", true},
      {"*.zip", "http://h/a.zip.html", false},
      {"a?.zip", "http://h/x/ab.zip", true},
      {"photo", "http://h/photo/1.jpg", true},
      {"/\\.(jpe?g|png)$/", "http://h/1.JPEG", true},
      {"/\\.(jpe?g|png)$/", "http://h/1.gif", false},
      {"/([/", "http://h/([/", false},  // a broken expression matches nothing
  };
  for (size_t i = 0; i < std::size(rows); ++i)
    EXPECT_EQ(LinkPattern(rows[i].pattern).Matches(rows[i].address), rows[i].matches) << "row " << i;
}

TEST(LinkSelection, QuickFilterChoosesExactlyItsMatchesAndNamedFiltersRestMeanwhile) {
  std::vector<NamedFilter> filters = ParseFilters(DefaultFiltersText());
  ASSERT_EQ(filters.size(), 9u);
  EXPECT_EQ(filters[0].name, "画像");
  EXPECT_EQ(filters[8].name, "プログラム");
  EXPECT_EQ(KindOf(filters, "http://h/a.jpg"), "画像,JPEG");
  EXPECT_EQ(KindOf(filters, "http://h/a.lzh"), "圧縮ファイル");
  const std::vector<PageLink> links = {Link("http://h/a.jpg"), Link("http://h/b.zip"),
                                       Link("http://h/c.mp3"), Link("http://h/d.html")};
  filters[0].on = true;  // 画像
  filters[5].on = true;  // 音声
  EXPECT_EQ(ChooseLinks(links, filters, ""), (std::vector<bool>{true, false, true, false}));
  EXPECT_EQ(ChooseLinks(links, filters, "*.zip"), (std::vector<bool>{false, true, false, false}));
  EXPECT_EQ(ChooseLinks(links, filters, "  "), (std::vector<bool>{true, false, true, false}));
  EXPECT_EQ(ParseFilters("# comment\n\n名前だけ=\n=*.x\nMine = *.abc ; *.def \n").size(), 1u);
}

TEST(LinkSelection, MaskTagsMakeTheNamesShown) {
  const PageLink link = Link("http://Files.example.jp/pub/2026/report%20final.tar.gz?id=7&v=2",
                             "年次報告");
  const MaskContext c = Context(120);
  struct Row {
    const char* mask;
    const char* name;
  } rows[] = {
      {"*name*.*ext*", "report final.tar.gz"},
      {"", "report final.tar.gz"},
      {"*num*-*name*.*ext*", "007-report final.tar.gz"},
      {"*text*.*ext*", "年次報告.gz"},
      {"*title*", "今日の写真"},
      {"*host*/*name*", "files.example.jp/report final.tar"},
      {"*subdirs*/*name*.*ext*", "pub/2026/report final.tar.gz"},
      {"*date* *y**m**d* *hh*-*mm*-*ss*", "2026-12-09 20261209 07-05-03"},
      {"*qstring*", "id=7&v=2"},
      {"*url*", "http:__Files.example.jp_pub_2026_report%20final.tar.gz?id=7&v=2"},
      {"*refhost*", "page.example.jp"},
      {"*nosuch*-*name*", "*nosuch*-report final.tar"},
  };
  for (size_t i = 0; i < std::size(rows); ++i)
    EXPECT_EQ(ApplyMask(rows[i].mask, link, 7, c), rows[i].name) << "row " << i;
  EXPECT_EQ(ApplyMask("*num*", link, 7, Context(9)), "7");
  EXPECT_EQ(ApplyMask("*name*.*ext*", Link("http://h/dir/"), 1, c), "index");
}

TEST(LinkSelection, MaskNamesAreMadeSafeByTheEnginesRules) {
  const MaskContext c = Context(3);
  // A slash inside a tag's value never makes a folder, nor can ".." climb out.
  EXPECT_EQ(ApplyMask("*text*", Link("http://h/a.jpg", "a/../b"), 1, c), "a_._b");
  EXPECT_EQ(ApplyMask("../*name*/./x", Link("http://h/a.jpg"), 1, c), "a/x");
  EXPECT_EQ(ApplyMask("*text*", Link("http://h/a.jpg", "..."), 1, c), "download");
  EXPECT_EQ(ApplyMask("*name*.*ext*", Link("http://h/%2E%2E%2Fetc.jpg"), 1, c), "_etc.jpg");
  EXPECT_EQ(ApplyMask("-x\t*name*", Link("http://h/a.jpg"), 1, c), "x_a");
  const std::string longName = ApplyMask("*name*", Link("http://h/" + std::string(400, 'n')), 1, c);
  EXPECT_EQ(longName.size(), 255u);
}

TEST(LinkSelection, ItemsAndDestinationAsTheEngineTakesThem) {
  EXPECT_EQ(SelectionItems({Link("http://h/a"), Link("http://h/b")}, {"1.bin", "sub/2.bin"}),
            "http://h/a\t1.bin\nhttp://h/b\tsub/2.bin\n");
  EXPECT_EQ(DefaultDestination("http://user@Example.JP:81/x"), "DownLoad/example.jp");
  EXPECT_EQ(std::string(ExistingWord(ExistingChoice::Skip)), "skip");
}

}  // namespace
}  // namespace mireva
