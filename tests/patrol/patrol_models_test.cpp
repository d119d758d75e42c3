#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/download_types.h"
#include "patrol/patrol_dialog_models.h"
#include "platform/ini_file.h"
#include "platform/testing/fake_interaction.h"
#include "platform/text_encoding.h"
#include "tests/support/test_server.h"

namespace mireva {
namespace {

using testing::MakeTempFolder;
using testing::ReadFile;
using testing::RemoveFolder;
using testing::WriteFile;

class DialogModels : public ::testing::Test {
 protected:
  void SetUp() override { dir = MakeTempFolder("patrol-models"); }
  void TearDown() override { RemoveFolder(dir); }
  std::string File(const std::string& name) { return dir + "/" + name; }
  FakeInteraction ui;
  std::string dir;
};

TEST_F(DialogModels, EditorStartsEmptyWithoutAList) {
  PatrolListEditor editor(ui, dir);
  editor.Load();
  EXPECT_TRUE(editor.items.empty());
  EXPECT_EQ(editor.selection, -1);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(DialogModels, EditorAddsDeletesAndSaves) {
  WriteFile(File("Patrol.lst"), ReadFile(PATROL_TEST_DATA "/two_sites.lst"));
  PatrolListEditor editor(ui, dir);
  editor.Load();
  ASSERT_EQ(editor.items.size(), 5u);
  EXPECT_EQ(editor.selection, 0);
  // Inserted before the selected item, which stays selected.
  ASSERT_TRUE(editor.Add("http://new.example/dir/page.html"));
  EXPECT_EQ(editor.items[0], "http://new.example/dir/");
  EXPECT_EQ(editor.selection, 1);
  // The page name left out is said; a folder address is added silently.
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("フォルダ http://new.example/dir/ だけを加えました。ページ page.html"),
            std::string::npos);
  ASSERT_TRUE(editor.Add("http://new.example/top/"));
  EXPECT_EQ(ui.messages.size(), 1u);
  editor.selection = 1;
  editor.Delete();  // the folder just added
  editor.selection = 1;
  editor.Delete();
  EXPECT_EQ(editor.items[1], "  Mountine/MtPage.html");
  EXPECT_EQ(editor.selection, -1);
  editor.Delete();  // nothing selected: nothing happens
  EXPECT_EQ(editor.items.size(), 5u);
  ASSERT_TRUE(editor.Add("extra.html"));  // no selection: appended
  EXPECT_EQ(editor.items.back(), "  extra.html");
  ASSERT_TRUE(editor.Save());
  EXPECT_EQ(ReadFile(File("Patrol.lst")),
            "start patrol;\r\nindex page;\r\nhttp://new.example/dir/\r\nsub page;\r\n"
            "Mountine/MtPage.html\r\nindex page;\r\nhttp://garden.example/book/\r\nsub page;\r\n"
            "Flower/Flower.html\r\nInsect/Insect.html\r\nextra.html\r\nend patrol;\r\n");
  editor.Clear();
  EXPECT_TRUE(editor.items.empty());
}

TEST_F(DialogModels, EditorRefusesEmptyAndOverlongText) {
  PatrolListEditor editor(ui, dir);
  EXPECT_FALSE(editor.Add(""));
  EXPECT_FALSE(editor.Add(std::string(258, 'x')));
  EXPECT_TRUE(editor.Add(std::string(257, 'x')));
  EXPECT_EQ(ui.messages, (std::vector<std::string>{"URL address　を入力して下さい",
                                                   "URL address　が長すぎます"}));
  EXPECT_EQ(editor.items.size(), 1u);
}

TEST_F(DialogModels, CatalogueLinesSplitAtTheFirstSpace) {
  WriteFile(File("NewsPaper.lst"),
            "朝日新聞 https://www.asahi.com/\r\nno-space-line\r\nname http://a b/\nempty \r\n" +
                std::string(100, 'N') + " http://long/\r\n");
  std::vector<CatalogueEntry> entries;
  ASSERT_TRUE(ReadCatalogue(File("NewsPaper.lst"), &entries));
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "朝日新聞");
  EXPECT_EQ(entries[0].address, "https://www.asahi.com/");
  EXPECT_EQ(entries[1].address, "http://a b/");  // a second space belongs to the address
  EXPECT_EQ(entries[2].name.size(), 79u);
  EXPECT_FALSE(ReadCatalogue(File("missing.lst"), &entries));
}

TEST_F(DialogModels, NewsDialogMessagesForMissingFiles) {
  NewsDialogModel weather(CatalogueKind::Weather, ui, dir);
  weather.Load();
  EXPECT_EQ(ui.messages.back(), "Weather ファイルがありません。");
  EXPECT_EQ(weather.Caption(), "天気予報");
  NewsDialogModel news(CatalogueKind::News, ui, dir);
  news.Load();
  EXPECT_EQ(ui.messages.back(), "NewsPaper ファイルがありません。");
  NewsDialogModel tv(CatalogueKind::Tv, ui, dir);
  tv.Load();
  EXPECT_EQ(ui.messages.back(), "NewsTV ファイルがありません。");
  EXPECT_EQ(tv.Caption(), "ニュース　ソース");

  WriteFile(File("NewsTV.lst"), "NHK https://www3.nhk.or.jp/news/\r\n");
  NewsDialogModel tv2(CatalogueKind::Tv, ui, dir);
  tv2.Load();
  EXPECT_EQ(ui.messages.back(), "巡回リストがありません。");
  EXPECT_EQ(tv2.catalogue.size(), 1u);
  EXPECT_TRUE(tv2.patrolItems.empty());
}

TEST_F(DialogModels, NewsDialogKeepsSubPageStructure) {
  WriteFile(File("Weather.lst"), "気象庁 https://www.jma.go.jp/\r\ntenki.jp https://tenki.jp/\r\n");
  const std::string original = ReadFile(PATROL_TEST_DATA "/sub_blocks_then_index.lst");
  WriteFile(File("Patrol.lst"), original);
  NewsDialogModel model(CatalogueKind::Weather, ui, dir);
  model.Load();
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(model.catalogueSelection, 0);
  // Saved unchanged, the list keeps every byte: "http://d.example/" after
  // the sub-page block stays an index entry.
  ASSERT_TRUE(model.Save());
  EXPECT_EQ(ReadFile(File("Patrol.lst")), original);
  model.Add(1);
  model.Add(1);  // twice: two identical entries
  ASSERT_TRUE(model.Save());
  EXPECT_EQ(ReadFile(File("Patrol.lst")).substr(original.size() - 13),
            "https://tenki.jp/\r\nhttps://tenki.jp/\r\nend patrol;\r\n");
  model.patrolSelection = 0;
  model.Delete();
  EXPECT_EQ(model.patrolItems[0], "  x.html");
}

TEST_F(DialogModels, NewsDialogWithEmptyListWritesTheFrame) {
  WriteFile(File("Weather.lst"), "a http://a/\r\n");
  NewsDialogModel model(CatalogueKind::Weather, ui, dir);
  model.Load();
  ASSERT_TRUE(model.Save());
  EXPECT_EQ(ReadFile(File("Patrol.lst")), "start patrol;\r\nindex page;\r\nend patrol;\r\n");
}

// The catalogues shipped with the program: Shift_JIS, CR LF, one site a line.
TEST(ShippedCatalogues, EveryLineIsASite) {
  for (const char* name : {"Weather.lst", "NewsPaper.lst", "NewsTV.lst"}) {
    SCOPED_TRACE(name);
    const std::string path = std::string(PATROL_SHIPPED_DATA) + "/" + name;
    const std::string text = ReadFile(path);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(Utf8ToSjis(SjisToUtf8(text)), text);  // valid Shift_JIS
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    size_t lines = 0;
    for (size_t p = 0; (p = text.find('\n', p)) != std::string::npos; ++p) {
      ++lines;
      EXPECT_EQ(text[p - 1], '\r');
    }
    std::vector<CatalogueEntry> entries;
    ASSERT_TRUE(ReadCatalogue(path, &entries));
    EXPECT_EQ(entries.size(), lines);  // position n is line n
    EXPECT_GE(entries.size(), 5u);
    for (const auto& e : entries) {
      EXPECT_LE(e.name.size(), 79u);
      EXPECT_EQ(e.address.compare(0, 8, "https://"), 0) << e.address;
      EXPECT_EQ(e.address.find(' '), std::string::npos);
    }
  }
}

class TypeSettings : public DialogModels {};

TEST_F(TypeSettings, OnlyLowerCaseOnEnables) {
  WriteFile(File("TollickApp.ini"),
            "[TollickApp]\r\nJPEG=on\r\nGIF=On\r\nPNG=ON\r\nZIP=on\r\nQT=on \r\nMIDI=onion\r\n");
  DownloadTypeFlags flags = ReadDownloadTypes(File("TollickApp.ini"));
  DownloadTypeFlags want{};
  want[0] = true;   // JPEG
  want[11] = true;  // ZIP
  want[20] = true;  // QT (blanks around values are dropped)
  EXPECT_EQ(flags, want);
  EXPECT_TRUE(AnyEnabled(flags));
  EXPECT_FALSE(AnyEnabled(ReadDownloadTypes(File("missing.ini"))));
}

TEST_F(TypeSettings, WrittenSettingsReadBack) {
  DownloadTypeFlags flags{};
  flags[4] = flags[17] = true;
  ASSERT_TRUE(WriteDownloadTypes(File("TollickApp.ini"), flags));
  EXPECT_EQ(ReadDownloadTypes(File("TollickApp.ini")), flags);
  EXPECT_EQ(GetProfileString(File("TollickApp.ini"), "TollickApp", "ASF", ""), "on");
  EXPECT_EQ(GetProfileString(File("TollickApp.ini"), "TollickApp", "JPEG", ""), "off");
  const auto& table = DownloadTypeTable();
  EXPECT_STREQ(table[0].key, "JPEG");
  EXPECT_STREQ(table[12].extension, "ram");
  EXPECT_STREQ(table[20].extension, "qt");
}

TEST_F(TypeSettings, AllTypesAreWrittenInOneReplacementKeepingOtherKeys) {
  // The watcher reading while the types are written must never see a mix of
  // old and new: the file is replaced once, not once a type.
  WriteFile(File("TollickApp.ini"), "[TollickApp]\r\nJPEG=on\r\n[Window]\r\nx=1\r\n");
  int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, dir.c_str(), IN_MOVED_TO), 0);
  DownloadTypeFlags flags{};
  flags[1] = true;
  ASSERT_TRUE(WriteDownloadTypes(File("TollickApp.ini"), flags));
  alignas(inotify_event) char events[64 * (sizeof(inotify_event) + 256)];
  ssize_t n = read(watch, events, sizeof events);
  close(watch);
  int replacements = 0;
  for (ssize_t at = 0; at < n;) {
    auto* e = reinterpret_cast<inotify_event*>(events + at);
    replacements += std::string(e->name) == "TollickApp.ini";
    at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
  }
  EXPECT_EQ(replacements, 1);
  EXPECT_EQ(ReadDownloadTypes(File("TollickApp.ini")), flags);
  EXPECT_EQ(GetProfileString(File("TollickApp.ini"), "Window", "x", ""), "1");
}

TEST_F(DialogModels, SavingAListChangedOnDiskAsksFirst) {
  WriteFile(File("Patrol.lst"), "start patrol;\r\nindex page;\r\nhttp://a.example/\r\nend patrol;\r\n");
  PatrolListEditor editor(ui, dir);
  editor.Load();
  ASSERT_TRUE(editor.Add("http://mine.example/"));
  // Unchanged on disk: saved without a question, and saved again likewise.
  ASSERT_TRUE(editor.Save());
  ASSERT_TRUE(editor.Save());
  EXPECT_TRUE(ui.log.empty());

  // Another window (or a scheduled patrol) replaces the list meanwhile.
  const std::string theirs =
      "start patrol;\r\nindex page;\r\nhttp://theirs.example/\r\nend patrol;\r\n";
  WriteFile(File("Patrol.lst"), theirs);
  ui.yesNoAnswers = {false};
  EXPECT_FALSE(editor.Save());
  EXPECT_EQ(ReadFile(File("Patrol.lst")), theirs);
  ui.yesNoAnswers = {true};
  EXPECT_TRUE(editor.Save());
  EXPECT_NE(ReadFile(File("Patrol.lst")).find("mine.example"), std::string::npos);
  EXPECT_EQ(ui.log.size(), 2u);

  // The news dialog's OK asks the same way.
  NewsDialogModel news(CatalogueKind::News, ui, dir);
  WriteFile(File("NewsPaper.lst"), "paper http://paper.example/\r\n");
  news.Load();
  WriteFile(File("Patrol.lst"), theirs);
  ui.yesNoAnswers = {false};
  EXPECT_FALSE(news.Save());
  EXPECT_EQ(ReadFile(File("Patrol.lst")), theirs);
}

}  // namespace
}  // namespace mireva
