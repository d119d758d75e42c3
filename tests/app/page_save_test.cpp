// Page save and source view against the real libHovrel.so and the loopback
// server, with a fake view. Built a second time with PAGE_SAVE_FAKE_LIBRARY,
// this file is also a libHovrel.so that lacks the export "Hovrel".
#ifdef PAGE_SAVE_FAKE_LIBRARY
#include "platform/export.h"
extern "C" MIREVA_EXPORT int MIREVA_STDCALL NotHovrel() { return 0; }
#else

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "app/page_save.h"
#include "patrol/download_engine.h"
#include "platform/testing/fake_browser.h"
#include "platform/testing/fake_interaction.h"
#include "tests/support/fake_view_context.h"
#include "tests/support/test_server.h"

namespace mireva {
namespace {

using testing::MakeTempFolder;
using testing::ReadFile;
using testing::RemoveFolder;

using FakeView = testing::FakeViewContext;

const char kRoutes[] =
    "{\"routes\": {\"/page\": {\"body\": \"<html><b>Bold</b> text\\n</html>\"},"
    " \"/long\": {\"body_repeat\": [\"0123456789\", 60000]},"
    " \"/private\": {\"auth\": \"ann:pw\", \"realm\": \"R\", \"body\": \"inside\"}}}";

class PageSaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("http_proxy");
    dir = MakeTempFolder("page-save");
    ASSERT_TRUE(getcwd(oldCwd, sizeof oldCwd));
    ASSERT_EQ(chdir(dir.c_str()), 0);  // the working folder, where "temp.html" goes
    Build(testing::BinDir());
  }
  void TearDown() override {
    module.reset();
    view.reset();
    EXPECT_EQ(chdir(oldCwd), 0);
    RemoveFolder(dir);
  }
  void Build(const std::string& libraryFolder) {
    module.reset();
    view = std::make_unique<FakeView>(libraryFolder);
    router = CommandRouter();
    module = MakePageSaveCommands(*view, [this](const std::string& path) {
      editorOpened.push_back(path);
      return true;
    });
    module->Register(router);
  }

  testing::TestServer server{kRoutes};
  std::string dir;
  char oldCwd[4096] = {};
  std::unique_ptr<FakeView> view;
  std::unique_ptr<CommandModule> module;
  CommandRouter router;
  std::vector<std::string> editorOpened;
};

TEST_F(PageSaveTest, SavesTheCurrentPageAsHtmlOrText) {
  view->address = server.Url("/page");
  view->ui.fileAnswers = {dir + "/a.html", dir + "/a.txt"};
  EXPECT_TRUE(router.Dispatch(400));
  EXPECT_TRUE(router.Dispatch(401));
  EXPECT_EQ(ReadFile(dir + "/a.html"), "<html><b>Bold</b> text\r\n</html>");
  EXPECT_EQ(ReadFile(dir + "/a.txt"), "Bold text\r\n");
  EXPECT_EQ(view->ui.messages, (std::vector<std::string>{"Hovrel complate", "Hovrel complate"}));
  ASSERT_EQ(view->ui.log.size(), 4u);
  EXPECT_EQ(view->ui.log[0], "save:");  // the dialog comes first
  EXPECT_TRUE(view->statusTexts.empty());
}

TEST_F(PageSaveTest, CancelledDialogDoesNothing) {
  view->address = server.Url("/page");
  EXPECT_TRUE(router.Dispatch(401));
  EXPECT_TRUE(view->ui.messages.empty());
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(PageSaveTest, TextModeKeepsAtMostTheLibrarysSize) {
  view->address = server.Url("/long");
  view->ui.fileAnswers = {dir + "/long.txt"};
  router.Dispatch(400);
  EXPECT_EQ(ReadFile(dir + "/long.txt").size(), 49998u);
}

TEST_F(PageSaveTest, LibraryMessagesAndPasswordGoThroughTheView) {
  view->address = "/home/user/page.html";  // after opening a local file
  view->ui.fileAnswers = {dir + "/local.txt"};
  router.Dispatch(401);
  EXPECT_EQ(view->ui.messages,
            (std::vector<std::string>{"Error: can only use URLs beginning with http://",
                                      "Hovrel complate"}));
  EXPECT_TRUE(std::filesystem::exists(dir + "/local.txt"));
  EXPECT_EQ(ReadFile(dir + "/local.txt"), "");

  view->ui.messages.clear();
  view->address = server.Url("/private");
  view->ui.fileAnswers = {dir + "/private.txt"};
  view->ui.passwordAnswers = {Credentials{"ann", "pw"}};
  router.Dispatch(400);
  EXPECT_EQ(ReadFile(dir + "/private.txt"), "inside");
  EXPECT_EQ(view->ui.log.back(), "message:Hovrel complate");
  EXPECT_NE(std::find(view->ui.log.begin(), view->ui.log.end(), "password:127.0.0.1"),
            view->ui.log.end());
}

TEST_F(PageSaveTest, ViewSourceWritesTempHtmlAndOpensTheEditor) {
  view->address = server.Url("/page");
  EXPECT_TRUE(router.Dispatch(801));
  EXPECT_EQ(ReadFile(dir + "/temp.html"), "<html><b>Bold</b> text\n</html>");  // raw bytes
  ASSERT_EQ(editorOpened.size(), 1u);
  EXPECT_EQ(editorOpened[0], dir + "/temp.html");
  EXPECT_TRUE(view->ui.messages.empty());
  EXPECT_TRUE(view->statusTexts.empty());

  // A second source view replaces the file.
  view->address = server.Url("/long");
  router.Dispatch(801);
  EXPECT_EQ(ReadFile(dir + "/temp.html").size(), 60000u);
  EXPECT_EQ(editorOpened.size(), 2u);
}

TEST_F(PageSaveTest, SourceFileThatCannotBeCreatedSetsTheStatusText) {
  std::filesystem::create_directory(dir + "/temp.html");
  view->address = server.Url("/page");
  router.Dispatch(801);
  EXPECT_EQ(view->statusTexts, (std::vector<std::string>{"読み込み失敗"}));
  ASSERT_EQ(view->ui.messages.size(), 1u);
  EXPECT_EQ(view->ui.messages[0].rfind("ファイルの作成が失敗しました。", 0), 0u);
  EXPECT_TRUE(editorOpened.empty());
}

TEST_F(PageSaveTest, MissingLibraryOrEntryIsReportedEachTime) {
  Build(dir + "/nowhere");
  view->address = server.Url("/page");
  router.Dispatch(801);
  EXPECT_EQ(view->ui.messages, (std::vector<std::string>{"HOVREL.DLL が見つかりません。"}));
  EXPECT_EQ(view->ui.icons.back(), MessageIcon::Stop);
  EXPECT_TRUE(editorOpened.empty());

  Build(PAGE_SAVE_FAKE_LIBRARY_DIR);
  view->address = server.Url("/page");
  view->ui.fileAnswers = {dir + "/x.html"};
  router.Dispatch(801);
  router.Dispatch(400);
  EXPECT_EQ(view->ui.messages, (std::vector<std::string>{"関数 Hovrel が見つかりません。",
                                                         "関数 Hovrel が見つかりません。"}));
  EXPECT_FALSE(std::filesystem::exists(dir + "/x.html"));
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(PageSaveTest, SavePageUsesTheBrowsersOwnSave) {
  view->browser.title = "ニュース/今日";
  view->ui.fileAnswers = {dir + "/saved.html"};
  router.Dispatch(402);
  EXPECT_EQ(view->ui.log, (std::vector<std::string>{"save:ニュース_今日.html"}));
  EXPECT_EQ(view->browser.log, (std::vector<std::string>{"save:" + dir + "/saved.html"}));
}

}  // namespace
}  // namespace mireva
#endif
