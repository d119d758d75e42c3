// The built libDownLoad.so, loaded by name as the program loads it: every entry
// resolves, and downloads make the round trip through the host callbacks from
// a worker thread, as the program calls them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/runtime/download_engine_api.h"
#include "platform/dynamic_library.h"
#include "tests/support/test_server.h"
#include "tests/support/working_folder.h"

namespace mireva {
namespace {

using testing::ReadFile;

struct HostLog {
  std::vector<std::string> progress;
  std::vector<std::string> messages;
};

int MIREVA_STDCALL OnProgress(void* user, const char* text, long long, long long) {
  static_cast<HostLog*>(user)->progress.push_back(text);
  return 0;
}
void MIREVA_STDCALL OnMessage(void* user, const char* text) {
  static_cast<HostLog*>(user)->messages.push_back(text);
}

TEST(DownloadEngineLibrary, LoadsByNameResolvesEveryEntryAndDownloads) {
  DynamicLibrary lib;
  ASSERT_TRUE(lib.Open("DownLoad", testing::BinDir())) << lib.Error();
  for (const char* name : {"ALoad", "DLoad", "ListLoad", "Temporary", "MakePatrolList",
                           "MakeDownloadList", "DlSetHost", "DlSetResultHost", "DlLoadSelection",
                           "DlSetWaitHost"})
    EXPECT_NE(lib.Symbol(name), nullptr) << name;
  EXPECT_EQ(lib.Symbol("SafeFileName"), nullptr);  // inner names stay hidden

  testing::TestServer server(
      "{\"routes\": {\"/p.html\": {\"body\": \"<img src='pic.png'><a href='doc.zip'>z</a>\"},"
      " \"/pic.png\": {\"body\": \"PNGDATA\"}, \"/doc.zip\": {\"body\": \"ZIP\"}}}");
  ASSERT_TRUE(server.Running());
  testing::WorkingFolder folder("dl-lib");
  const std::string& dir = folder.Path();
  // The engine sends the view's cookies from the cache folder: here one without any.
  setenv("XDG_CACHE_HOME", dir.c_str(), 1);

  HostLog log;
  lib.Entry<DlSetHostFn>("DlSetHost")(OnProgress, OnMessage, &log);
  std::thread worker([&] {
    lib.Entry<ALoadFn>("ALoad")(server.Url("/p.html").c_str(), "png");
    lib.Entry<DLoadFn>("DLoad")(server.Url("/p.html").c_str(), "4");
  });
  worker.join();
  EXPECT_EQ(ReadFile("DownLoad/127.0.0.1/pic.png"), "PNGDATA");
  EXPECT_EQ(ReadFile("DownLoad/127.0.0.1/doc.zip"), "ZIP");
  EXPECT_FALSE(log.progress.empty());
  EXPECT_TRUE(log.messages.empty());

  // Bad arguments are refused quietly or with a message, never a crash.
  lib.Entry<ALoadFn>("ALoad")(nullptr, nullptr);
  lib.Entry<DLoadFn>("DLoad")("not an address", "3");
  lib.Entry<TemporaryFn>("Temporary")((dir + "/none").c_str(), "*.*", "1");
  EXPECT_EQ(lib.Entry<MakeDownloadListFn>("MakeDownloadList")("japanmap"), 0);
  lib.Entry<DlSetHostFn>("DlSetHost")(nullptr, nullptr, nullptr);
}

}  // namespace
}  // namespace mireva
