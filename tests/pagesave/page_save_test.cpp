// Page save and source view against the real libHovrel.so and the loopback
// server, with a fake view. Built a second time with PAGE_SAVE_FAKE_LIBRARY,
// this file is also a libHovrel.so that lacks the export "Hovrel".
#ifdef PAGE_SAVE_FAKE_LIBRARY
#include "platform/export.h"
extern "C" MIREVA_EXPORT int MIREVA_STDCALL NotHovrel() { return 0; }
#else

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "pagesave/page_save.h"
#include "core/runtime/download_engine.h"
#include "platform/testing/fake_browser.h"
#include "platform/testing/fake_interaction.h"
#include "tests/support/fake_view_context.h"
#include "tests/support/test_server.h"
#include "tests/support/thread_runner.h"
#include "tests/support/working_folder.h"

namespace mireva {
namespace {

using testing::ReadFile;

using FakeView = testing::FakeViewContext;

// "/utf8" and "/euc" are the same Japanese page ("日本") in UTF-8 and EUC-JP,
// each declaring its encoding.
const char kRoutes[] =
    "{\"routes\": {\"/page\": {\"body\": \"<html><b>Bold</b> text\\n</html>\"},"
    " \"/long\": {\"body_repeat\": [\"0123456789\", 60000]},"
    " \"/huge\": {\"body_repeat\": [\"0123456789\", 70000000]},"
    " \"/private\": {\"auth\": \"ann:pw\", \"realm\": \"R\", \"body\": \"inside\"},"
    " \"/utf8\": {\"body\":"
    " \"<html><head><meta charset=\\\"utf-8\\\"></head><body>\\u65e5\\u672c</body></html>\"},"
    " \"/euc\": {\"body_hex\": \""
    "3c68746d6c3e3c686561643e3c6d65746120687474702d65717569763d22436f6e74656e742d54797065222063"
    "6f6e74656e743d22746578742f68746d6c3b20636861727365743d4555432d4a50223e3c2f686561643e3c626f"
    "64793ec6fccbdc3c2f626f64793e3c2f68746d6c3e\"}}}";

const char kShiftJisMeta[] =
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">";

class PageSaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("http_proxy");
    Build(testing::BinDir());
  }
  void TearDown() override {
    module.reset();
    view.reset();
  }
  void Build(const std::string& libraryFolder) {
    module.reset();
    view = std::make_unique<FakeView>(libraryFolder);
    router = CommandRouter();
    module = MakePageSaveCommands(*view, [this](const std::string& path) {
      editorOpened.push_back(path);
      return editorStarts;
    });
    module->Register(router);
  }

  testing::TestServer server{kRoutes};
  testing::WorkingFolder folder{"page-save"};  // where "temp.html" goes
  const std::string dir = folder.Path();
  std::unique_ptr<FakeView> view;
  std::unique_ptr<CommandModule> module;
  CommandRouter router;
  std::vector<std::string> editorOpened;
  bool editorStarts = true;
};

TEST_F(PageSaveTest, SavesTheCurrentPageAsHtmlOrText) {
  view->address = server.Url("/page");
  view->ui.fileAnswers = {dir + "/a.html", dir + "/a.txt"};
  EXPECT_TRUE(router.Dispatch(400));
  EXPECT_TRUE(router.Dispatch(401));
  EXPECT_EQ(ReadFile(dir + "/a.html"),
            "<html>" + std::string(kShiftJisMeta) + "<b>Bold</b> text\r\n</html>");
  EXPECT_EQ(ReadFile(dir + "/a.txt"), "Bold text\r\n");
  EXPECT_EQ(view->ui.messages, (std::vector<std::string>{"Hovrel complate", "Hovrel complate"}));
  ASSERT_EQ(view->ui.log.size(), 4u);
  EXPECT_EQ(view->ui.log[0], "save:");  // the dialog comes first
  EXPECT_TRUE(view->statusTexts.empty());
}

TEST_F(PageSaveTest, SavedHtmlSaysItIsShiftJis) {
  // The library delivers Shift_JIS and cuts the page's own label; the saved
  // file must not leave a browser to guess.
  view->address = server.Url("/utf8");
  view->ui.fileAnswers = {dir + "/utf8.html", dir + "/euc.html"};
  router.Dispatch(400);
  view->address = server.Url("/euc");
  router.Dispatch(400);
  EXPECT_EQ(ReadFile(dir + "/utf8.html"),
            "<html><head>" + std::string(kShiftJisMeta) + "<meta ></head><body>日本</body></html>");
  EXPECT_EQ(ReadFile(dir + "/euc.html"),
            "<html><head>" + std::string(kShiftJisMeta) + "</head><body>日本</body></html>");
}

TEST(DeclareShiftJis, RewritesEveryDeclarationAndAddsOneWhereNoneIsNearTheStart) {
  struct Row {
    std::string page;
    std::string saved;
  };
  const std::string meta = kShiftJisMeta;
  const std::string script = "<script>" + std::string(1100, 'x') + "</script>";
  const Row rows[] = {
      {"", ""},  // a failed download stays empty
      {"<html><head><meta charset=\"Windows-31J\"><title>表示</title></head>",
       "<html><head><meta charset=\"Shift_JIS\"><title>表示</title></head>"},
      {"<HTML><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; \"></HEAD>",
       "<HTML><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
       "charset=Shift_JIS\"></HEAD>"},
      {"<meta http-equiv=content-type content=text/html><p>x",
       "<meta http-equiv=content-type content=\"text/html; charset=Shift_JIS\"><p>x"},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!DOCTYPE html>\r\n<p>ソ",
       "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<!DOCTYPE html>" + meta + "\r\n<p>ソ"},
      {"<!-- <meta charset=\"euc-jp\"> --><html lang=ja><body>",
       "<!-- <meta charset=\"euc-jp\"> --><html lang=ja>" + meta + "<body>"},
      {"<html><head>" + script + "<meta charset=euc-jp></head>",
       "<html><head>" + meta + script + "<meta charset=Shift_JIS></head>"},
      {"<meta name=\"説明\" content=\"能力\"><header>",  // no declaration, no head
       meta + "<meta name=\"説明\" content=\"能力\"><header>"},
  };
  for (size_t i = 0; i < std::size(rows); ++i)
    EXPECT_EQ(DeclareShiftJis(rows[i].page), rows[i].saved) << "row " << i;
}

TEST_F(PageSaveTest, CancelledDialogDoesNothing) {
  view->address = server.Url("/page");
  EXPECT_TRUE(router.Dispatch(401));
  EXPECT_TRUE(view->ui.messages.empty());
  EXPECT_TRUE(server.Requests().empty());
}

// A page beyond the save limit is saved up to it, and the message says so
// (a large page saved whole: tests/gui/test_page_commands.py).
TEST_F(PageSaveTest, TextModeSavesUpToTheLimitAndSaysWhenItCuts) {
  view->address = server.Url("/huge");
  view->ui.fileAnswers = {dir + "/huge.txt"};
  router.Dispatch(401);
  EXPECT_EQ(ReadFile(dir + "/huge.txt").size(), size_t{kTextSaveLimit});
  ASSERT_EQ(view->ui.messages.size(), 1u);
  EXPECT_EQ(view->ui.messages[0].rfind("ページが 64 MB を超えるため、先頭の 64 MB だけを保存しました。", 0), 0u);
}

// Ctrl+S asks where to save a page the first time, then saves it there again.
TEST_F(PageSaveTest, StandardSaveSavesThePageAsHtmlAskingForANameOnce) {
  view->address = server.Url("/page");
  view->ui.fileAnswers = {dir + "/s.html"};
  EXPECT_TRUE(router.Dispatch(57603));
  EXPECT_TRUE(router.Dispatch(57603));
  EXPECT_EQ(view->ui.fileAnswers.size(), 0u);
  EXPECT_EQ(ReadFile(dir + "/s.html"),
            "<html>" + std::string(kShiftJisMeta) + "<b>Bold</b> text\r\n</html>");
  EXPECT_EQ(server.Requests().size(), 2u);
}

// The library works on the engine's worker, as in the program; its messages
// and password prompt still reach the view on the view's own thread.
TEST_F(PageSaveTest, LibraryMessagesAndPasswordGoThroughTheView) {
  testing::ThreadRunner runner;
  int offThread = 0;
  runner.whileWaiting = [&] { ++offThread; };
  view->engine.SetRunner(&runner);
  view->address = "/home/user/page.html";  // after opening a local file
  view->ui.fileAnswers = {dir + "/local.txt"};
  testing::WriteFile(dir + "/local.txt", "saved before");
  router.Dispatch(401);
  EXPECT_EQ(view->ui.messages,
            (std::vector<std::string>{"Error: can only use URLs beginning with http://",
                                      "Hovrel complate"}));
  EXPECT_EQ(ReadFile(dir + "/local.txt"), "saved before");  // a failed save empties nothing

  view->ui.messages.clear();
  view->address = server.Url("/private");
  view->ui.fileAnswers = {dir + "/private.txt"};
  view->ui.passwordAnswers = {Credentials{"ann", "pw"}};
  router.Dispatch(400);
  EXPECT_EQ(ReadFile(dir + "/private.txt"), kShiftJisMeta + std::string("inside"));
  EXPECT_EQ(view->ui.log.back(), "message:Hovrel complate");
  EXPECT_NE(std::find(view->ui.log.begin(), view->ui.log.end(), "password:127.0.0.1"),
            view->ui.log.end());
  EXPECT_EQ(offThread, 2);  // both calls left the window's thread free
  for (const std::string& entry : view->ui.log) EXPECT_NE(entry.rfind("other thread:", 0), 0u);
  view->engine.SetRunner(nullptr);
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
  EXPECT_TRUE(view->ui.messages.empty());

  // No editor starts: the user is told what was tried.
  editorStarts = false;
  setenv("VISUAL", "no-such-editor", 1);
  router.Dispatch(801);
  unsetenv("VISUAL");
  ASSERT_EQ(view->ui.messages.size(), 1u);
  const std::string& message = view->ui.messages[0];
  EXPECT_EQ(message.rfind("ソースを表示するテキストエディタが見つかりません。", 0), 0u) << message;
  for (const char* tried : {"$VISUAL=no-such-editor", "gedit", "xdg-open"})
    EXPECT_NE(message.find(tried), std::string::npos) << tried;
  EXPECT_EQ(view->ui.icons[0], MessageIcon::Exclamation);
}

TEST_F(PageSaveTest, ViewSourceBesideAnotherInstanceUsesAFileOfItsOwn) {
  // Another instance working in this folder holds the first number.
  int other = open(".mireva-instance-1.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  testing::WriteFile(dir + "/temp.html", "the other window's page");
  view->address = server.Url("/page");
  router.Dispatch(801);
  close(other);
  EXPECT_EQ(ReadFile(dir + "/temp.html"), "the other window's page");
  EXPECT_EQ(ReadFile(dir + "/temp-2.html"), "<html><b>Bold</b> text\n</html>");
  ASSERT_EQ(editorOpened.size(), 1u);
  EXPECT_EQ(editorOpened[0], dir + "/temp-2.html");
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

// Records the filter and default extension the save dialog is opened with.
class SaveDialogUi : public FakeInteraction {
 public:
  std::string filter;
  std::string extension;
  std::optional<std::string> ChooseFileToSave(const std::string& f, const std::string& name,
                                              const std::string& ext) override {
    filter = f;
    extension = ext;
    return FakeInteraction::ChooseFileToSave(f, name, ext);
  }
};

TEST_F(PageSaveTest, SavePageOffersAnArchiveNamedAfterTheWholeTitle) {
  struct View : FakeView {
    using FakeView::FakeView;
    SaveDialogUi dialogUi;
    Interaction& Ui() override { return dialogUi; }
  } archiveView;
  auto archive = MakePageSaveCommands(archiveView, [](const std::string&) { return true; });
  CommandRouter archiveRouter;
  archive->Register(archiveRouter);
  // ソ, 表 and 能 end in the byte of "\\"; only the real "/" and "\\" go.
  archiveView.browser.title = "ソフト/表示\\能力\x01";
  archiveView.dialogUi.fileAnswers = {dir + "/saved.mhtml"};
  archiveRouter.Dispatch(402);
  EXPECT_EQ(archiveView.dialogUi.log, (std::vector<std::string>{"save:ソフト_表示_能力_.mhtml"}));
  EXPECT_EQ(archiveView.dialogUi.filter, "MHTML Files|*.mhtml;*.mht|All Files|*.*||");
  EXPECT_EQ(archiveView.dialogUi.extension, "mhtml");
  EXPECT_EQ(archiveView.browser.log, (std::vector<std::string>{"save:" + dir + "/saved.mhtml"}));

  EXPECT_EQ(SavePageFileName(""), "page.mhtml");
  EXPECT_EQ(SavePageFileName("\x83"), "page.mhtml");  // half a character is dropped
}

}  // namespace
}  // namespace mireva
#endif
