// libQuandex.so as its callers load it, and the quandex program as scripts run it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/dynamic_library.h"
#include "platform/text_encoding.h"
#include "searchresults/quandex_api.h"
#include "tests/support/test_server.h"

extern char** environ;

namespace mireva {
namespace {

std::string Fixture(const std::string& name) {
  return testing::SourceDir() + "/tests/data/searchresults/" + name;
}

struct ProcessRun {
  int status = -1;
  std::string out;
};

// Runs a program with an argument vector and its standard output in a file.
ProcessRun RunProgram(const std::vector<std::string>& argv) {
  std::string folder = testing::MakeTempFolder("quandex-run");
  std::string outPath = folder + "/out.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  ProcessRun run;
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    int st = 0;
    waitpid(pid, &st, 0);
    run.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    run.out = testing::ReadFile(outPath);
  }
  posix_spawn_file_actions_destroy(&actions);
  testing::RemoveFolder(folder);
  return run;
}

// One round trip through the built library, loaded by name: the entry parses
// a goo page and writes the NUL at its end marker into the caller's buffer.
// Without a display the library only parses and stores, which keeps this test
// free of any window.
TEST(QuandexLibrary, LoadsByNameAndParsesThroughTheExport) {
  const char* display = std::getenv("DISPLAY");
  std::string savedDisplay = display ? display : "";
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  DynamicLibrary library;
  ASSERT_TRUE(library.Open("Quandex", testing::BinDir())) << library.Error();
  auto quandex = library.Entry<QuandexFunction>("Quandex");
  ASSERT_NE(quandex, nullptr);

  std::string text = testing::ReadFile(Fixture("goo.html"));
  size_t marker = text.find("RESULT BODY TABLE/");
  ASSERT_NE(marker, std::string::npos);
  std::vector<char> page(text.begin(), text.end());
  page.push_back('\0');
  EXPECT_EQ(quandex(1, page.data(), 0), 0);
  EXPECT_EQ(page[marker], '\0');

  // Bad input is no failure of the export.
  EXPECT_EQ(quandex(99, page.data(), 0), 0);
  EXPECT_EQ(quandex(0, nullptr, 0), 0);
  library.Close();
  if (!savedDisplay.empty()) ::setenv("DISPLAY", savedDisplay.c_str(), 1);
}

// A host without wx: the library starts wx itself for its dialog, the host
// runs a GLib loop, and unloading shuts it all down without a crash.
TEST(QuandexLibrary, WorksInAHostThatRunsNoWx) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) GTEST_SKIP() << "no display";
  ProcessRun run = RunProgram({testing::BinDir() + "/quandex_plain_host",
                               testing::BinDir() + "/libQuandex.so", "0",
                               Fixture("yahoo_site_matches.html"), "1", Fixture("goo.html")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "ok\n");
}

TEST(QuandexProgram, ListPrintsHitsThenLinksInUtf8) {
  ProcessRun run = RunProgram({testing::BinDir() + "/quandex", "--list", "0",
                        Fixture("yahoo_site_matches.html"), "1", Fixture("goo.html")});
  EXPECT_EQ(run.status, 0);
  // The expected text is written here in the sources' Shift_JIS literals.
  EXPECT_EQ(run.out, SjisToUtf8(
            "1234\n"
            "http://www.example.jp/a.html\t  Example A  最初のサイト \n"
            "http://www.example.jp/b\t  Example B  二番目のサイト \n"
            "100\n"
            "http://goo.example/x\t  タイトル一    説明文一\n"
            "http://goo.example/y\t  タイトル二    説明文二\n"));
}

TEST(QuandexProgram, HelpListsTheEngineIndicesAndBadArgumentsFail) {
  ProcessRun help = RunProgram({testing::BinDir() + "/quandex", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find(" 0  yahoo"), std::string::npos);
  EXPECT_NE(help.out.find("16  Google"), std::string::npos);
  EXPECT_NE(help.out.find(" 7  iNET Guide"), std::string::npos);

  EXPECT_EQ(RunProgram({testing::BinDir() + "/quandex", "--list", "x", Fixture("goo.html")}).status, 2);
  EXPECT_EQ(RunProgram({testing::BinDir() + "/quandex", "--list", "1"}).status, 2);
  EXPECT_EQ(RunProgram({testing::BinDir() + "/quandex", "--list", "1", "/nonexistent/page.html"}).status, 1);
}

}  // namespace
}  // namespace mireva
