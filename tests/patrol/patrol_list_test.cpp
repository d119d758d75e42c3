#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "patrol/patrol_list.h"
#include "platform/testing/fake_interaction.h"
#include "tests/support/test_server.h"

namespace mireva {
namespace {

using testing::MakeTempFolder;
using testing::ReadFile;
using testing::RemoveFolder;
using testing::WriteFile;

std::string Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  return out;
}

class PatrolListFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempFolder("patrol-list");
    path = dir + "/Patrol.lst";
  }
  void TearDown() override { RemoveFolder(dir); }
  std::vector<std::string> ReadAll(PatrolListReader& reader) {
    std::vector<std::string> out;
    std::string a;
    while (reader.NextEntry(&a)) out.push_back(a);
    return out;
  }
  FakeInteraction ui;
  std::string dir, path;
};

TEST(PatrolListWriter, EmptyListIsThreeLines) {
  EXPECT_EQ(FormatPatrolList({}), Lines({"start patrol;", "index page;", "end patrol;"}));
}

TEST(PatrolListWriter, MarksEachRunOfSubPages) {
  // A first sub-page item opens its block right after the index marker.
  EXPECT_EQ(FormatPatrolList({"  a.html"}),
            Lines({"start patrol;", "index page;", "sub page;", "a.html", "end patrol;"}));
  // Two runs of sub-pages separated by an index item; three blanks all go.
  EXPECT_EQ(FormatPatrolList(
                {"http://h/", "  a.html", "   b.html", "http://k/", "  c.html", "http://m/"}),
            Lines({"start patrol;", "index page;", "http://h/", "sub page;", "a.html", "b.html",
                   "index page;", "http://k/", "sub page;", "c.html", "index page;", "http://m/",
                   "end patrol;"}));
}

TEST_F(PatrolListFiles, LoadAndSaveAgainGivesTheSameBytes) {
  const std::string original = ReadFile(PATROL_TEST_DATA "/two_sites.lst");
  WriteFile(path, original);
  auto items = ReadPatrolListItems(path);
  EXPECT_EQ(items,
            (std::vector<std::string>{"http://nature.example/photo/", "  Mountine/MtPage.html",
                                      "http://garden.example/book/", "  Flower/Flower.html",
                                      "  Insect/Insect.html"}));
  ASSERT_TRUE(WritePatrolList(items, ui, path));
  EXPECT_EQ(ReadFile(path), original);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(PatrolListFiles, FailedSaveKeepsTheOldListAndSaysSo) {
  WriteFile(path, "old");
  const std::string missingFolder = dir + "/no/such/Patrol.lst";
  EXPECT_FALSE(WritePatrolList({"http://x/"}, ui, missingFolder));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], "リストが保存できませんでした。");
  EXPECT_EQ(ReadFile(path), "old");
}

TEST(PatrolListEditorRule, AddCutsAbsoluteAddressesBackToTheFolder) {
  EXPECT_EQ(EditorItemFromText("http://host/dir/page.html"), "http://host/dir/");
  EXPECT_EQ(EditorItemFromText("https://host/dir/"), "https://host/dir/");
  EXPECT_EQ(EditorItemFromText("dir/page.html"), "  dir/page.html");
  EXPECT_EQ(EditorItemFromText("HTTP://host/x"), "  HTTP://host/x");  // case-sensitive
  EXPECT_EQ(EditorItemFromText("httpnoslash"), "h");                  // first byte stays
}

TEST(PatrolListResolve, ClimbsTwoFoldersOnlyForTheExactPrefix) {
  EXPECT_EQ(ResolveSubPage("http://host/a/b/c/", "../../x.html"), "http://host/a/x.html");
  EXPECT_EQ(ResolveSubPage("http://host/a/b/c/i.html", "../../x.html"), "http://host/a/x.html");
  EXPECT_EQ(ResolveSubPage("http://host/a/", "../x.html"), "http://host/a/../x.html");
  EXPECT_EQ(ResolveSubPage("http://host/a/", "./x.html"), "http://host/a/./x.html");
  EXPECT_EQ(ResolveSubPage("http://host/a/", "x.html"), "http://host/a/x.html");
  // Too few folders: everything but the first byte goes, never past it.
  EXPECT_EQ(ResolveSubPage("ab/", "../../x"), "ax");
  EXPECT_EQ(ResolveSubPage("", "../../x"), "x");
}

TEST_F(PatrolListFiles, ReaderVisitsIndexAndSubPagesInOrder) {
  WriteFile(path, ReadFile(PATROL_TEST_DATA "/two_sites.lst"));
  PatrolListReader reader(ui, path);
  ASSERT_TRUE(reader.Open());
  EXPECT_EQ(ReadAll(reader),
            (std::vector<std::string>{
                "http://nature.example/photo/", "http://nature.example/photo/Mountine/MtPage.html",
                "http://garden.example/book/", "http://garden.example/book/Flower/Flower.html",
                "http://garden.example/book/Insect/Insect.html"}));
  reader.Close();
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(PatrolListFiles, ReaderRulesForHandWrittenFiles) {
  // LF alone ends lines; entries before any "index page;" are sub-pages of
  // the (still empty) base; a control line with a trailing blank is an entry;
  // no "end patrol;" ends at end of file.
  WriteFile(path,
            "start patrol;\nfirst.html\nindex page;\nhttp://h/d/\nsub page;\nend patrol; \n"
            "../../up.html\n../one.html");
  PatrolListReader reader(ui, path);
  ASSERT_TRUE(reader.Open());
  EXPECT_EQ(ReadAll(reader),
            (std::vector<std::string>{"first.html", "http://h/d/", "http://h/d/end patrol; ",
                                      "http://up.html", "http://h/d/../one.html"}));
  reader.Close();
  // A later run opens the file again normally and keeps the last base until
  // the next index entry.
  ASSERT_TRUE(reader.Open());
  EXPECT_TRUE(reader.SubPageMode());
  EXPECT_EQ(reader.BaseAddress(), "http://h/d/");
  std::string a;
  ASSERT_TRUE(reader.NextEntry(&a));
  EXPECT_EQ(a, "http://h/d/first.html");
}

TEST_F(PatrolListFiles, ReadingStopsAtALineOverTheLimit) {
  const std::string ok(257, 'a'), tooLong(258, 'b');
  WriteFile(path, Lines({"start patrol;", "index page;", "http://h/", "sub page;", "x", ok, tooLong,
                         "y", "end patrol;"}));
  // The editor shows what precedes the long line.
  EXPECT_EQ(ReadPatrolListItems(path).size(), 3u);
  PatrolListReader reader(ui, path);
  ASSERT_TRUE(reader.Open());
  // "http://h/" + 257 bytes is over the 259-byte address limit: refused, not cut.
  EXPECT_EQ(ReadAll(reader), (std::vector<std::string>{"http://h/", "http://h/x"}));
}

TEST_F(PatrolListFiles, ResolvedAddressesUpToTheLimitAreKept) {
  const std::string base =
      "http://h/" + std::string(250, 'd') + "/";  // 260 bytes: too long for a line
  const std::string base2 = "http://h/" + std::string(240, 'd') + "/";  // 250 bytes
  WriteFile(path, Lines({"index page;", base, base2, "sub page;", "123456789", "1234567890", "z"}));
  PatrolListReader reader(ui, path);
  ASSERT_TRUE(reader.Open());
  // The 260-byte index line ends the reading at once.
  EXPECT_TRUE(ReadAll(reader).empty());
  WriteFile(path, Lines({"index page;", base2, "sub page;", "123456789", "1234567890", "z"}));
  PatrolListReader second(ui, path);
  ASSERT_TRUE(second.Open());
  auto got = ReadAll(second);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[1].size(), 259u);
  EXPECT_EQ(got[2], base2 + "z");
}

TEST_F(PatrolListFiles, OpenFailsWithItsMessage) {
  PatrolListReader reader(ui, path);
  EXPECT_FALSE(reader.Open());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], "巡回リストが見つかりません。");
  std::string a;
  EXPECT_FALSE(reader.NextEntry(&a));
}

TEST_F(PatrolListFiles, SecondOpenWhileRunningEndsTheRun) {
  WriteFile(path, Lines({"start patrol;", "index page;", "http://a/", "http://b/", "end patrol;"}));
  PatrolListReader reader(ui, path);
  ASSERT_TRUE(reader.Open());
  std::string a;
  ASSERT_TRUE(reader.NextEntry(&a));
  EXPECT_FALSE(reader.Open());
  EXPECT_EQ(ui.messages, std::vector<std::string>{"巡回リストが見つかりません。"});
  EXPECT_FALSE(reader.NextEntry(&a));
  reader.Close();
  ASSERT_TRUE(reader.Open());
  ASSERT_TRUE(reader.NextEntry(&a));
  EXPECT_EQ(a, "http://a/");
}

TEST_F(PatrolListFiles, ARunKeepsReadingTheListItStartedWith) {
  WriteFile(path, Lines({"start patrol;", "index page;", "http://a/", "http://b/", "end patrol;"}));
  PatrolListReader reader(ui, path);
  ASSERT_TRUE(reader.Open());
  std::string a;
  ASSERT_TRUE(reader.NextEntry(&a));
  ASSERT_TRUE(WritePatrolList({"http://new/"}, ui, path));
  ASSERT_TRUE(reader.NextEntry(&a));
  EXPECT_EQ(a, "http://b/");
  EXPECT_FALSE(reader.NextEntry(&a));
}

}  // namespace
}  // namespace mireva
