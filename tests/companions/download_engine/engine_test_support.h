#pragma once
// Shared pieces of the engine tests: a recording host and a fixture that runs
// each test in a fresh working folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "companions/download_engine/engine.h"
#include "tests/support/test_server.h"
#include "tests/support/working_folder.h"

namespace mireva::dl::testing {

class RecordingHost : public EngineHost {
 public:
  std::vector<std::string> messages;
  std::vector<std::string> progress;
  int cancelAfterCalls = -1;  // >= 0: answer "cancel" from that call on
  std::function<void(const std::string&)> onProgress;  // may set `cancelled`
  bool cancelled = false;
  bool Progress(const std::string& text, long long, long long) override {
    progress.push_back(text);
    if (onProgress) onProgress(text);
    if (cancelAfterCalls >= 0 && static_cast<int>(progress.size()) > cancelAfterCalls) cancelled = true;
    return cancelled;
  }
  void Message(const std::string& text) override { messages.push_back(text); }
  std::vector<std::pair<std::string, long long>> waits;  // host, ms
  void HostWait(const std::string& h, long long waitMs) override { waits.emplace_back(h, waitMs); }
};

class EngineFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    options.pageCacheMs = 0;
    options.fetch.cookieFile = "";
    options.fetch.defaultBackoffMs = 200;
  }
  Engine MakeEngine() { return Engine(host, options); }

  // Names in a folder below the working folder, sorted, hidden ones included.
  static std::vector<std::string> Files(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static int Count(const mireva::testing::TestServer& server, const std::string& path) {
    int n = 0;
    for (const auto& r : server.Requests())
      if (r.path == path) ++n;
    return n;
  }

  mireva::testing::WorkingFolder folder{"dl-engine"};
  const std::string dir = folder.Path();
  RecordingHost host;
  EngineOptions options;
};

}  // namespace mireva::dl::testing
