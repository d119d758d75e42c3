#pragma once
// Runs the real program build/bin/mireva for an end-to-end test: under the
// test's display (ctest runs the suite under xvfb-run), with its own working
// folder, cache and runtime folders, a script of steps (app/script_runner.h),
// answers for its dialogs, and the event log it writes (platform/test_hooks.h).
#include <string>
#include <utility>
#include <vector>

namespace mireva::testing {

struct GuiOptions {
  std::string home;                       // working folder; a fresh one when empty
  std::vector<std::string> args;          // command-line arguments
  std::vector<std::string> script;        // script lines (UTF-8)
  std::vector<std::string> answers;       // answers file lines
  std::vector<std::pair<std::string, std::string>> env;  // extra environment
  int timeoutSeconds = 120;
};

struct GuiRun {
  int exitCode = -1;
  bool timedOut = false;
  std::string home;
  std::vector<std::pair<std::string, std::string>> log;  // (kind, UTF-8 value)
  std::vector<std::string> Values(const std::string& kind) const;
  bool Has(const std::string& kind, const std::string& value) const;
  std::string Dump() const;  // the whole log, for failure messages
};

// False when no X display is available (the test should skip).
bool DisplayAvailable();
GuiRun RunMireva(const GuiOptions& options);

}  // namespace mireva::testing
