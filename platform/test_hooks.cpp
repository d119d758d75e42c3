#include "platform/test_hooks.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>

#include "platform/file_util.h"
#include "platform/text_encoding.h"

namespace mireva {
namespace {

const char* LogPath() {
  const char* p = std::getenv("MIREVA_TEST_LOG");
  return p && *p ? p : nullptr;
}

std::mutex& Lock() {
  static std::mutex m;
  return m;
}

}  // namespace

bool TestModeActive() { return LogPath() != nullptr; }

void TestLog(const std::string& kind, const std::string& sjisValue) {
  const char* path = LogPath();
  if (!path) return;
  std::string value = SjisToUtf8(sjisValue);
  for (char& c : value)
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  std::lock_guard<std::mutex> guard(Lock());
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\t%s\n", kind.c_str(), value.c_str());
    std::fclose(f);
  }
}

std::optional<std::string> NextTestAnswer() {
  static std::deque<std::string> answers;
  static bool loaded = false;
  std::lock_guard<std::mutex> guard(Lock());
  if (!loaded) {
    loaded = true;
    const char* p = std::getenv("MIREVA_TEST_ANSWERS");
    if (p && *p) {
      if (auto text = ReadWholeFile(p))
        for (std::string& line : SplitLines(*text))
          if (!line.empty()) answers.push_back(std::move(line));
    }
  }
  if (answers.empty()) return std::nullopt;
  std::string a = answers.front();
  answers.pop_front();
  return a;
}

}  // namespace mireva
