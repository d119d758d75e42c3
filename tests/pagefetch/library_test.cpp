// The built libHovrel.so, loaded by name from the build's folder as the
// browser loads it: every export resolves and makes one round trip (with the
// library's real pauses). Then hovrel-fetch, the program over it.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "core/runtime/hovrel_api.h"
#include "platform/dynamic_library.h"
#include "platform/process.h"
#include "tests/support/test_server.h"

namespace {

using mireva::testing::BinDir;
using mireva::testing::ReadFile;

const char kRoutes[] =
    "{\"routes\": {\"/p\": {\"body\": \"<b>page</b>\\n\"},"
    " \"/big\": {\"body_repeat\": [\"q\", 40000]},"
    " \"/private\": {\"auth\": \"u:p\", \"body\": \"secret page\"}}}";

struct Recorder {
  std::vector<std::string> messages;
  std::vector<std::string> progress;
  static void MIREVA_STDCALL Message(void* user, const char* text) {
    static_cast<Recorder*>(user)->messages.push_back(text);
  }
  static int MIREVA_STDCALL Password(void*, const char*, const char*, char* name, unsigned,
                                     char* pass, unsigned) {
    std::strcpy(name, "u");
    std::strcpy(pass, "p");
    return 1;
  }
  static void MIREVA_STDCALL Progress(void* user, int, const char* text, unsigned) {
    static_cast<Recorder*>(user)->progress.push_back(text);
  }
};

TEST(HovrelLibrary, LoadsByNameAndEveryExportRoundTrips) {
  unsetenv("http_proxy");
  mireva::testing::TestServer server(kRoutes);
  ASSERT_TRUE(server.Running());
  mireva::DynamicLibrary lib;
  ASSERT_TRUE(lib.Open("Hovrel", BinDir())) << lib.Error();
  auto hovrel = lib.Entry<HovrelFn>("Hovrel");
  auto adjust = lib.Entry<HtmTagadjustFn>("htmTagadjust");
  auto load = lib.Entry<LoadFileFn>("loadFile");
  auto setHost = lib.Entry<HovrelSetHostFn>("HovrelSetHost");
  ASSERT_TRUE(hovrel && adjust && load && setHost);
  // Only the interface is visible.
  EXPECT_EQ(lib.Symbol("_ZN6mireva6hovrel9FetchPageERNS0_12FetchRequestEPKciiPcm"), nullptr);

  Recorder rec;
  setHost(&Recorder::Message, &Recorder::Password, &rec);
  std::vector<char> buf(50000, 'x');
  EXPECT_EQ(hovrel(server.Url("/p").c_str(), 'S', ' ', ' ', buf.data(), 49998), 1);
  EXPECT_STREQ(buf.data(), "page\r\n");
  EXPECT_EQ(hovrel(server.Url("/private").c_str(), ' ', ' ', ' ', buf.data(), 49998), 1);
  EXPECT_STREQ(buf.data(), "secret page");

  char url[HOVREL_URL_CAPACITY];
  std::snprintf(url, sizeof url, "%s", server.Url("/p").c_str());
  char dst[100];
  EXPECT_EQ(adjust(url, dst, sizeof dst), 1);
  EXPECT_STREQ(dst, "<b>page</b>\r\n");

  std::string folder = mireva::testing::MakeTempFolder("hovrel-lib");
  std::string path = folder + "/big.txt";
  HovrelProgressTarget target{&Recorder::Progress, &rec};
  EXPECT_EQ(load(server.Url("/big").c_str(), path.c_str(), &target, 12), 1);
  EXPECT_EQ(ReadFile(path), std::string(40000, 'q'));
  EXPECT_EQ(rec.progress, (std::vector<std::string>{"12 32768", "12 40000"}));

  EXPECT_EQ(hovrel("ftp://127.0.0.1/", ' ', ' ', ' ', buf.data(), 49998), 1);
  EXPECT_STREQ(buf.data(), "");
  EXPECT_EQ(rec.messages,
            (std::vector<std::string>{"Error: can only use URLs beginning with http://"}));
  setHost(nullptr, nullptr, nullptr);
  mireva::testing::RemoveFolder(folder);
}

TEST(HovrelFetchProgram, FetchesToAFileInBothModes) {
  mireva::testing::TestServer server(kRoutes);
  std::string folder = mireva::testing::MakeTempFolder("hovrel-cli");
  const std::string program = BinDir() + "/hovrel-fetch";
  int code = -1;
  ASSERT_TRUE(mireva::StartProgram({program, "--help"}, mireva::Wait::UntilExit, &code));
  EXPECT_EQ(code, 0);
  ASSERT_TRUE(mireva::StartProgram({program, "--strip", "-o", folder + "/t.txt", server.Url("/p")},
                                   mireva::Wait::UntilExit, &code));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadFile(folder + "/t.txt"), "page\r\n");
  ASSERT_TRUE(
      mireva::StartProgram({program, "--save", "-q", "-o", folder + "/s.txt", server.Url("/big")},
                           mireva::Wait::UntilExit, &code));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadFile(folder + "/s.txt").size(), 40000u);
  ASSERT_TRUE(mireva::StartProgram({program, "-o", folder + "/x.txt", "ftp://127.0.0.1/"},
                                   mireva::Wait::UntilExit, &code));
  EXPECT_EQ(code, 1);
  mireva::testing::RemoveFolder(folder);
}

TEST(HovrelFetchProgram, AFailedFetchLeavesTheOutputFileAsItWas) {
  std::string folder = mireva::testing::MakeTempFolder("hovrel-cli");
  const std::string program = BinDir() + "/hovrel-fetch";
  for (const char* mode : {"--save", "--strip"}) {
    mireva::testing::WriteFile(folder + "/saved.html", "the page saved yesterday");
    int code = -1;
    ASSERT_TRUE(mireva::StartProgram(
        {program, mode, "-q", "-o", folder + "/saved.html", "http://127.0.0.1:1/gone"},
        mireva::Wait::UntilExit, &code));
    EXPECT_EQ(code, 1) << mode;
    EXPECT_EQ(ReadFile(folder + "/saved.html"), "the page saved yesterday") << mode;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                          std::filesystem::directory_iterator()), 1);  // no temporary left
  mireva::testing::RemoveFolder(folder);
}

}  // namespace
