#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "companions/type_dialog/type_dialog_api.h"
#include "patrol/download_types.h"
#include "platform/dynamic_library.h"
#include "tests/support/test_server.h"

namespace mireva {
namespace {

using testing::ReadFile;
using testing::WriteFile;

// Runs "LoadTypeDlg" in a child process (wx starts and ends with the call,
// once per process) in `folder`, with the scripted answer; its result.
int RunDialogIn(const std::string& folder, const std::string& answer) {
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.c_str()) != 0) _exit(90);
    setenv("MIREVA_TEST_TYPE_DIALOG", answer.c_str(), 1);
    DynamicLibrary lib;
    if (!lib.Open("Tavish2", testing::BinDir())) _exit(91);
    auto fn = lib.Entry<LoadTypeDlgFn>("LoadTypeDlg");
    if (!fn) _exit(92);
    _exit(fn() != 0 ? 1 : 0);
  }
  int status = -1;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(TypeDialogLibrary, LoadsByNameWithItsExport) {
  DynamicLibrary lib;
  ASSERT_TRUE(lib.Open("TAVISH2.DLL", testing::BinDir())) << lib.Error();
  EXPECT_NE(lib.Entry<LoadTypeDlgFn>("LoadTypeDlg"), nullptr);
  EXPECT_EQ(lib.Symbol("RunDialog"), nullptr);  // nothing else is exported
}

TEST(TypeDialogLibrary, OkWritesTheSettingsAndCancelKeepsThem) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) GTEST_SKIP() << "no display";
  const std::string dir = testing::MakeTempFolder("type-dialog");
  const std::string ini = dir + "/TollickApp.ini";
  WriteFile(ini, "[TollickApp]\r\nGIF=on\r\n");
  EXPECT_EQ(RunDialogIn(dir, "ok JPEG ZIP"), 1);
  DownloadTypeFlags want{};
  want[0] = want[11] = true;
  EXPECT_EQ(ReadDownloadTypes(ini), want);
  const std::string saved = ReadFile(ini);
  EXPECT_NE(saved.find("GIF=off\r\n"), std::string::npos);
  EXPECT_EQ(RunDialogIn(dir, "cancel"), 0);
  EXPECT_EQ(ReadFile(ini), saved);
  // "ok" alone keeps what the file says.
  EXPECT_EQ(RunDialogIn(dir, "ok"), 1);
  EXPECT_EQ(ReadDownloadTypes(ini), want);
  testing::RemoveFolder(dir);
}

}  // namespace
}  // namespace mireva
