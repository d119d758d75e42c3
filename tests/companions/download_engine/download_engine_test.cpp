// The engine's building blocks: addresses, safe names, link extraction, the
// list files and content sniffing.
#include <gtest/gtest.h>

#include <algorithm>

#include "companions/download_engine/content_type.h"
#include "companions/download_engine/link_extractor.h"
#include "companions/download_engine/list_files.h"
#include "companions/download_engine/safe_name.h"
#include "companions/download_engine/url_tools.h"
#include "platform/text_helpers.h"
#include "tests/support/test_server.h"

namespace mireva::dl {
namespace {

TEST(ResolveUrl, ResolvesAgainstThePageAndRefusesOtherSchemes) {
  struct Row {
    const char* base;
    const char* ref;
    const char* expected;  // nullptr: refused
  };
  const Row rows[] = {
      {"http://h/a/b/page.html", "x.jpg", "http://h/a/b/x.jpg"},
      {"http://h/a/b/page.html", "../x.jpg", "http://h/a/x.jpg"},
      {"http://h/a/b/page.html", "/root.gif", "http://h/root.gif"},
      {"http://h/a/b/page.html", "//cdn.h/c.png", "http://cdn.h/c.png"},
      {"http://h/a/", "https://s.h/p?q=1#frag", "https://s.h/p?q=1"},
      {"http://h/a/", "  \tsp ace.jpg\n ", "http://h/a/sp%20ace.jpg"},
      {"http://h/a/", "?only=query", "http://h/a/?only=query"},
      {"http://h/a/", "javascript:alert(1)", nullptr},
      {"http://h/a/", "mailto:x@y", nullptr},
      {"http://h/a/", "ftp://f/x.zip", nullptr},
      {"http://h/a/", "file:///etc/passwd", nullptr},
      {"http://h/a/", "data:text/plain,hi", nullptr},
      {"http://h/a/", "", nullptr},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    auto got = ResolveUrl(rows[i].base, rows[i].ref);
    if (rows[i].expected) {
      ASSERT_TRUE(got.has_value()) << "row " << i;
      EXPECT_EQ(*got, rows[i].expected) << "row " << i;
    } else {
      EXPECT_FALSE(got.has_value()) << "row " << i << ": " << got.value_or("");
    }
  }
}

TEST(ExtensionOf, IgnoresQueryAndCaseAndKnowsTheLongSpellings) {
  auto ext = [](const char* url) { return ExtensionOf(*SplitUrl(url)); };
  EXPECT_EQ(ext("http://h/a.JPG?x=1.gif"), "jpg");
  EXPECT_EQ(ext("http://h/a.jpeg"), "jpg");
  EXPECT_EQ(ext("http://h/a.TIFF"), "tif");
  EXPECT_EQ(ext("http://h/song.midi"), "mid");
  EXPECT_EQ(ext("http://h/dir.d/file"), "");
  EXPECT_EQ(ext("http://h/"), "");
  EXPECT_EQ(NormalExtension(".JPEG"), "jpg");
  EXPECT_EQ(LastSegment(*SplitUrl("http://h/a/%E6%97%A5.png?q")), "\xE6\x97\xA5.png");
  EXPECT_EQ(OriginOf(*SplitUrl("http://H:8080/x")), "http://h:8080/");
}

TEST(SafeFileName, EveryHostileNameBecomesOnePlainName) {
  const std::string hostile[] = {
      "../../etc/passwd", "..", ".", "...", ".bashrc", "-rf", "--help.jpg", "a/b\\c.jpg",
      "tab\there.jpg", std::string("nul\0x.jpg", 9), "\x7F" "del.jpg", " lead.jpg",
      "a..b.jpg", "trailing. ", std::string(300, 'x') + ".jpg", "\x82\xA0\x82\xA2.gif",
      // Cut to length right after a dot, before the extension.
      std::string(250, 'a') + "." + std::string(49, 'b') + ".jpg",
      "\xFF\xFE\xFD", ""};
  for (const std::string& raw : hostile) {
    std::string safe = SafeFileName(raw);
    EXPECT_TRUE(IsSafeFileName(safe)) << "from '" << raw << "' got '" << safe << "'";
  }
  EXPECT_EQ(SafeFileName("../../etc/passwd"), "_._etc_passwd");
  EXPECT_EQ(SafeFileName(".."), "download");
  EXPECT_EQ(SafeFileName("", "index.html"), "index.html");
  EXPECT_EQ(SafeFileName("photo.jpg"), "photo.jpg");
  // Shift_JIS names are given their UTF-8 form.
  EXPECT_EQ(SafeFileName("\x82\xA0.gif"), "\xE3\x81\x82.gif");
  // Long names keep their extension and are cut at a character boundary.
  std::string japanese;
  for (int i = 0; i < 100; ++i) japanese += "\xE6\x97\xA5";  // 300 bytes of UTF-8
  std::string longName = SafeFileName(japanese + ".jpg");
  EXPECT_LE(longName.size(), 255u);
  EXPECT_TRUE(IsValidUtf8(longName));
  EXPECT_EQ(longName.substr(longName.size() - 4), ".jpg");
}

TEST(SafeFileName, NumberedNamesStaySafe) {
  EXPECT_EQ(NumberedName("a.jpg", 1), "a(1).jpg");
  EXPECT_EQ(NumberedName("noext", 12), "noext(12)");
  std::string longName = std::string(251, 'n') + ".jpg";
  std::string numbered = NumberedName(longName, 3);
  EXPECT_LE(numbered.size(), 255u);
  EXPECT_EQ(numbered.substr(numbered.size() - 7), "(3).jpg");
  std::string cutAtDot = SafeFileName(std::string(250, 'a') + "." + std::string(49, 'b') + ".jpg");
  EXPECT_EQ(cutAtDot, std::string(250, 'a') + ".jpg");
}

TEST(ExtractLinks, FindsEveryKindOfReferenceResolvedAgainstTheBase) {
  std::string html = mireva::testing::ReadFile(mireva::testing::SourceDir() +
                                               "/tests/data/download_engine/every_kind_of_link.html");
  ASSERT_FALSE(html.empty());
  ExtractedLinks found = ExtractLinks(html, "http://site.example/pages/index.html");
  auto kindsOf = [&](const std::string& url) -> unsigned {
    for (const Link& l : found.links)
      if (l.url == url) return l.kinds;
    return 0;
  };
  const std::string b = "http://site.example/base/dir/";
  EXPECT_EQ(kindsOf(b + "page.html"), unsigned{kAnchor});
  EXPECT_EQ(kindsOf("http://site.example/base/up.html"), unsigned{kAnchor});
  EXPECT_EQ(kindsOf("http://site.example/rooted/file.ZIP"), unsigned{kAnchor});
  EXPECT_EQ(kindsOf("http://other.example/abs.jpg"), unsigned{kAnchor});
  EXPECT_EQ(kindsOf(b + "spaced%20name.jpg"), unsigned{kAnchor});
  EXPECT_EQ(kindsOf(b + "pic.jpeg"), unsigned{kImage | kAnchor});  // duplicates merge
  EXPECT_EQ(kindsOf(b + "small.png"), unsigned{kImage});
  EXPECT_EQ(kindsOf(b + "big.png"), unsigned{kImage});
  EXPECT_EQ(kindsOf(b + "area.html"), unsigned{kAnchor});
  EXPECT_EQ(kindsOf(b + "inner.html"), unsigned{kFrame});
  EXPECT_EQ(kindsOf(b + "movie.swf"), unsigned{kEmbed});
  EXPECT_EQ(kindsOf(b + "clip.mov"), unsigned{kEmbed});
  EXPECT_EQ(kindsOf(b + "param.swf"), unsigned{kEmbed});
  EXPECT_EQ(kindsOf(b + "film.mp4"), unsigned{kMedia});
  EXPECT_EQ(kindsOf(b + "film.webm"), unsigned{kMedia});
  EXPECT_EQ(kindsOf(b + "poster.jpg"), unsigned{kImage});
  EXPECT_EQ(kindsOf(b + "song.mp3"), unsigned{kMedia});
  EXPECT_EQ(kindsOf(b + "tune.mid"), unsigned{kMedia});
  EXPECT_EQ(kindsOf(b + "button.gif"), unsigned{kImage});
  EXPECT_EQ(kindsOf(b + "bg.gif"), unsigned{kImage});
  EXPECT_EQ(kindsOf(b + "table.png"), unsigned{kImage});
  EXPECT_EQ(kindsOf(b + "cell.png"), unsigned{kImage});
  for (const Link& l : found.links) {
    EXPECT_EQ(l.url.rfind("http", 0), 0u) << l.url;  // no script, mail, ftp or data links
    EXPECT_EQ(l.url.find('#'), std::string::npos) << l.url;
  }
  size_t pics = std::count_if(found.links.begin(), found.links.end(),
                              [&](const Link& l) { return l.url == b + "pic.jpeg"; });
  EXPECT_EQ(pics, 1u);
}

TEST(ExtractLinks, FramesAndLimitsAndBrokenMarkup) {
  std::string html = mireva::testing::ReadFile(mireva::testing::SourceDir() +
                                               "/tests/data/download_engine/frameset.html");
  ExtractedLinks frames = ExtractLinks(html, "http://127.0.0.1:9/top.html");
  ASSERT_GE(frames.links.size(), 2u);
  EXPECT_EQ(frames.links[0].url, "http://127.0.0.1/frames/left.html");
  EXPECT_EQ(frames.links[0].kinds, unsigned{kFrame});
  EXPECT_EQ(frames.links[1].url, "http://127.0.0.1/right.html");

  std::string many;
  for (int i = 0; i < 50; ++i) many += "<a href=\"f" + std::to_string(i) + ".jpg\">x</a>";
  ExtractedLinks limited = ExtractLinks(many, "http://h/", 10);
  EXPECT_EQ(limited.links.size(), 10u);
  EXPECT_TRUE(limited.truncated);

  // One srcset attribute yields a bounded number of addresses, however long.
  std::string srcset = "<img srcset=\"";
  for (int i = 0; i < 2000; ++i) srcset += "s" + std::to_string(i) + ".jpg " + std::to_string(i) + "w, ";
  ExtractedLinks candidates = ExtractLinks(srcset + "\">", "http://h/");
  EXPECT_GE(candidates.links.size(), 4u);
  EXPECT_LE(candidates.links.size(), 32u);

  // Deep nesting and unclosed tags neither crash nor lose the link after them.
  std::string deep;
  for (int i = 0; i < 20000; ++i) deep += "<div>";
  deep += "<img src=\"deep.gif\"><a href=\"unclosed.zip";
  ExtractedLinks nested = ExtractLinks(deep, "http://h/");
  EXPECT_TRUE(std::any_of(nested.links.begin(), nested.links.end(),
                          [](const Link& l) { return l.url == "http://h/deep.gif"; }));
  EXPECT_TRUE(ExtractLinks("", "http://h/").links.empty());
}

TEST(DownloadListFile, ReadsTheWeatherCollectorsList) {
  const std::string text =
      "start download;\r\nindex page;\r\nhttp://weather.example/\r\nhimawari\r\n"
      "/img/him/ni/136400-440001-0000-20060510000000.gif\r\n"
      "/img/him/ni/136400-440001-0000-20060509233000.gif\r\nend download;\r\nafter end\r\n";
  DownloadList list = ParseDownloadList(text);
  EXPECT_EQ(list.top, "http://weather.example/");
  EXPECT_EQ(list.label, "himawari");
  ASSERT_EQ(list.paths.size(), 2u);
  EXPECT_EQ(JoinTopAndPath(list.top, list.paths[0]),
            "http://weather.example/img/him/ni/136400-440001-0000-20060510000000.gif");
  EXPECT_EQ(JoinTopAndPath("http://h", "a.gif"), "http://h/a.gif");
  EXPECT_EQ(JoinTopAndPath("http://h/", "https://o/x.gif"), "https://o/x.gif");
  // Written and read back unchanged; LF-only files read the same.
  EXPECT_EQ(FormatDownloadList(list), text.substr(0, text.find("after end")));
  DownloadList lf = ParseDownloadList("start download;\nindex page;\nhttp://h/\nx\n/a\nend download;\n");
  EXPECT_EQ(lf.paths, std::vector<std::string>{"/a"});
  // A line longer than 257 characters ends the reading.
  DownloadList cut = ParseDownloadList("start download;\r\nindex page;\r\nhttp://h/\r\nl\r\n/a\r\n/" +
                                       std::string(257, 'x') + "\r\n/b\r\n");
  EXPECT_EQ(cut.paths, std::vector<std::string>{"/a"});
}

TEST(PatrolListFile, ReadsByThePatrolRulesAndWritesIndexEntries) {
  const std::string text =
      "start patrol;\r\nindex page;\r\nhttp://h/a/b/c/\r\nsub page;\r\nx.html\r\n../../y.html\r\n"
      "index page;\r\nhttp://g/\r\nend patrol;\r\nhttp://never/\r\n";
  EXPECT_EQ(ParsePatrolList(text),
            (std::vector<std::string>{"http://h/a/b/c/", "http://h/a/b/c/x.html", "http://h/a/y.html",
                                      "http://g/"}));
  std::string written = FormatPatrolList({"http://h/p?id=1", "end patrol;", std::string(300, 'u')});
  EXPECT_EQ(written, "start patrol;\r\nindex page;\r\nhttp://h/p?id=1\r\nend patrol;\r\n");
  EXPECT_EQ(ParsePatrolList(written), std::vector<std::string>{"http://h/p?id=1"});
}

TEST(SniffType, TellsTypesByTheirFirstBytes) {
  struct Row {
    std::string head;
    const char* type;
  };
  const Row rows[] = {
      {"\xFF\xD8\xFF\xE0xxxx", "jpg"},
      {"GIF89a....", "gif"},
      {"\x89PNG\r\n\x1A\n....", "png"},
      {"%PDF-1.4", "pdf"},
      {"PK\x03\x04....", "zip"},
      {"xx-lh5-xxxx", "lzh"},
      {"MZ\x90\x00", "exe"},
      {"MThd\0\0\0\x06", "mid"},
      {"ID3\x03", "mp3"},
      {std::string("RIFF\x10\0\0\0WAVEfmt ", 16), "wav"},
      {std::string("RIFF\x10\0\0\0AVI LIST", 16), "avi"},
      {std::string("\0\0\0\x14" "ftypqt  ", 12), "mov"},
      {"FWS\x06", "swf"},
      {"  <!DOCTYPE html>", "html"},
      {"plain text", ""},
      {"", ""},
  };
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(SniffType(rows[i].head), rows[i].type) << "row " << i;
}

}  // namespace
}  // namespace mireva::dl
