#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/runtime/download_engine.h"
#include "platform/dynamic_library.h"
#include "platform/testing/fake_interaction.h"
#include "tests/support/test_server.h"
#include "tests/support/thread_runner.h"

namespace mireva {
namespace {

std::string EngineFolder(const std::string& variant) {
  return std::string(PATROL_TEST_ENGINES) + "/engine_" + variant;
}

bool Done(const CallResult& r) { return r.status == CallStatus::Done; }

class EngineBinding : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = testing::MakeTempFolder("patrol-engine");
    log = dir + "/engine.log";
    setenv("MIREVA_TEST_ENGINE_LOG", log.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("MIREVA_TEST_ENGINE_LOG");
    testing::RemoveFolder(dir);
  }
  std::string Calls() { return testing::ReadFile(log); }
  FakeInteraction ui;
  std::string dir, log;
};

TEST_F(EngineBinding, CallsReachTheEngineWithTheirArguments) {
  DownloadEngine engine(ui, EngineFolder("full"));
  EXPECT_TRUE(Done(engine.ALoad("http://h/p.html", "jpg")));
  EXPECT_TRUE(Done(engine.DLoad("http://h/p.html", "9")));
  EXPECT_TRUE(Done(engine.ListLoad("Download.lst", "Weather")));
  EXPECT_TRUE(Done(engine.Temporary("/w/Cache", "*.*", "1")));
  EXPECT_TRUE(Done(engine.MakePatrolList("japanmap", "http://h/")));
  EXPECT_EQ(engine.MakeDownloadList("sdss mosaic").entries, 7u);
  EXPECT_EQ(
      Calls(),
      "ALoad\thttp://h/p.html\tjpg\nDLoad\thttp://h/p.html\t9\nListLoad\tDownload.lst\tWeather\n"
      "Temporary\t/w/Cache\t*.*\nTemporaryMode\t1\t\nMakePatrolList\tjapanmap\thttp://h/\n"
      "MakeDownloadList\tsdss mosaic\t\n");
  EXPECT_TRUE(ui.messages.empty());
}

// An engine without the program's own DlLoadSelection still serves the six
// entries; only the selection is missing, and says so.
TEST_F(EngineBinding, EngineWithoutTheSelectionEntryServesTheOthers) {
  DownloadEngine engine(ui, EngineFolder("full"));
  EXPECT_EQ(engine.LoadSelection("http://h/", "out", "http://h/a\ta\n", "skip").status,
            CallStatus::Missing);
  EXPECT_TRUE(Done(engine.ALoad("http://h/p.html", "jpg")));
  EXPECT_EQ(ui.messages, std::vector<std::string>{"DlLoadSelection 関数が見つかりません"});
}

TEST_F(EngineBinding, MissingLibraryIsReportedOnEveryAttempt) {
  DownloadEngine engine(ui, dir);  // no libDownLoad.so there
  EXPECT_EQ(engine.ALoad("http://h/", "jpg").status, CallStatus::Missing);
  EXPECT_EQ(engine.MakeDownloadList("japanmap").status, CallStatus::Missing);
  EXPECT_EQ(ui.messages, (std::vector<std::string>{"DOWNLOAD.dll　が見つかりません",
                                                   "DOWNLOAD.dll　が見つかりません"}));
  EXPECT_EQ(ui.icons[0], MessageIcon::Stop);
  EXPECT_FALSE(engine.BindEntry(EngineEntry::ALoad));
}

TEST_F(EngineBinding, EachMissingEntryHasItsMessage) {
  const struct {
    const char* variant;
    const char* message;
  } rows[] = {
      {"ListLoad", "ListLoad 関数が見つかりません"},
      {"Temporary", "Temporary　関数が見つかりません"},
      {"DLoad", "DownLoad　関数が見つかりません"},
      {"ALoad", "AutoDownLoad 関数が見つかりません"},
      {"MakePatrolList", "MakePatrolList 関数が見つかりません"},
      {"MakeDownloadList", "MakeDownloadList 関数が見つかりません"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.variant);
    FakeInteraction rowUi;
    DownloadEngine engine(rowUi, EngineFolder(row.variant));
    // Whatever the operation, the attempt stops at the first missing entry.
    EXPECT_FALSE(Done(engine.ListLoad("Download.lst", "Weather")) &&
                 engine.MakeDownloadList("x").Ran() && Done(engine.ALoad("a", "b")) &&
                 Done(engine.MakePatrolList("a", "b")));
    ASSERT_FALSE(rowUi.messages.empty());
    EXPECT_EQ(rowUi.messages[0], row.message);
    EXPECT_EQ(rowUi.icons[0], MessageIcon::Stop);
  }
}

TEST_F(EngineBinding, AnOperationBindsOnlyWhileItsEntryIsMissing) {
  // Without "ALoad": the first attempt binds ListLoad, Temporary and DLoad
  // before it stops. DLoad itself fails that time, but is bound from then on.
  DownloadEngine engine(ui, EngineFolder("ALoad"));
  EXPECT_FALSE(engine.DLoad("http://h/", "1").Ran());
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(engine.IsBound(EngineEntry::DLoad));
  EXPECT_FALSE(engine.IsBound(EngineEntry::ALoad));
  EXPECT_TRUE(Done(engine.DLoad("http://h/", "2")));
  EXPECT_TRUE(Done(engine.ListLoad("Download.lst", "Sdss")));
  EXPECT_EQ(ui.messages.size(), 1u);  // no further attempt, no further message
  EXPECT_EQ(engine.ALoad("http://h/", "jpg").status, CallStatus::Missing);
  EXPECT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(Calls(), "DLoad\thttp://h/\t2\nListLoad\tDownload.lst\tSdss\n");
}

// A call asked for while another runs is refused: it gets none of the
// running call's events, and its cancel never reaches that call.
TEST_F(EngineBinding, ARefusedCallNeverTouchesTheRunningOne) {
  DownloadEngine engine(ui, EngineFolder("full"));
  testing::ThreadRunner runner;
  engine.SetRunner(&runner);
  std::vector<std::string> patrolTexts, linkTexts;
  CallHooks patrol;
  patrol.progress = [&](const std::string& text, long long) {
    patrolTexts.push_back(text);
    return false;
  };
  CallHooks link;
  link.progress = [&](const std::string& text, long long) {
    linkTexts.push_back(text);
    return true;  // the link window's cancel
  };
  CallResult refused;
  runner.whileWaiting = [&] { refused = engine.DLoad("http://h/other.html", "3", link); };
  const CallResult ran = engine.ALoad("http://h/p.html", "jpg", patrol);
  EXPECT_EQ(refused.status, CallStatus::Refused);
  EXPECT_TRUE(linkTexts.empty());
  EXPECT_EQ(ran.status, CallStatus::Done);  // not cancelled by the other's hooks
  EXPECT_EQ(patrolTexts.back(), "ダウンロード終了 1");
  ASSERT_EQ(ran.files.size(), 2u);
  EXPECT_EQ(ran.files[0].savedPath, "DownLoad/h/1.jpg");
  EXPECT_EQ(ran.files[1].outcome, DL_FILE_FAILED);
  EXPECT_EQ(ran.saved, 1u);
  EXPECT_EQ(Calls(), "ALoad\thttp://h/p.html\tjpg\n");
  EXPECT_EQ(ui.messages, std::vector<std::string>{"ダウンロード中です。終わるまでお待ちください。"});
}

// The built test engine as the program loads it: by name, every export resolved.
TEST_F(EngineBinding, TestEngineExportsEveryEntry) {
  DynamicLibrary lib;
  ASSERT_TRUE(lib.Open("DownLoad.dll", EngineFolder("full"))) << lib.Error();
  for (const char* name : {"ALoad", "DLoad", "ListLoad", "Temporary", "MakePatrolList",
                           "MakeDownloadList", "DlSetHost", "DlSetResultHost"})
    EXPECT_NE(lib.Symbol(name), nullptr) << name;
  EXPECT_EQ(lib.Symbol("Record"), nullptr);  // hidden
}

}  // namespace
}  // namespace mireva
