// The markup primitives on their own: the tag table's matching rules and the
// in-place removal of all markup.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pagefetch/markup.h"

namespace mireva::hovrel {
namespace {

std::string Apply(const std::string& in, void (*fn)(char*)) {
  std::vector<char> buf(in.begin(), in.end());
  buf.push_back('\0');
  fn(buf.data());
  return buf.data();
}

std::string Table(const std::string& in) { return Apply(in, ApplyTagTable); }

TEST(Markup, RemoveAllMarkupJoinsTheTextRuns) {
  EXPECT_EQ(Apply("a<b>bold</b>c", RemoveAllMarkup), "aboldc");
  EXPECT_EQ(Apply("", RemoveAllMarkup), "");
  EXPECT_EQ(Apply("x<unclosed tag", RemoveAllMarkup), "x");
  // Each call starts outside a tag: the next page keeps its beginning.
  EXPECT_EQ(Apply("next page<p>", RemoveAllMarkup), "next page");
}

TEST(Markup, TableCellInCapitalsLeavesTheWord) {
  EXPECT_EQ(Table("<TABLE BORDER=1 WIDTH=\"100%\"><TR><TD>word</TD></TR></TABLE>"), "word");
  EXPECT_EQ(Table("<Table>x</Table>"), "<Table>x</Table>");  // mixed case stays
}

TEST(Markup, ScriptsAndSelectsGoAsWholeElements) {
  EXPECT_EQ(Table("<script>var a=1;</script>A<SCRIPT src=x></SCRIPT>B"), "AB");
  EXPECT_EQ(Table("<select name=a><option>1</select>x<select><option>2"), "x<select><option>2");
  // With no closing tag the select stays, and the later passes still run.
  EXPECT_EQ(Table("<select><option>1<font color=red>t</font>"), "<select><option>1t");
}

TEST(Markup, TagOpeningsGoButSomeEndTagsStay) {
  EXPECT_EQ(Table("<embed src=a.mid></embed><img src=a.gif><input type=text></img>"),
            "</embed></img>");
  EXPECT_EQ(Table("<p>text<div align=center>c</div><img src=\"x.gif\""), "<p>textc");
  EXPECT_EQ(Table("<font><font size=2>adjacent</font></font>"), "adjacent");
  EXPECT_EQ(Table("<a href=x>link</a><h1>h</h1>"), "<a href=x>link</a><h1>h</h1>");
}

TEST(Markup, ShiftJisTextIsNotSplit) {
  // "ソ" is 0x83 0x5C: its second byte is no "<", so nothing matches inside it.
  EXPECT_EQ(Table("ソ表<td>能</td>"), "ソ表能");
}

}  // namespace
}  // namespace mireva::hovrel
