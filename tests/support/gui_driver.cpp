#include "tests/support/gui_driver.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/test_server.h"

extern char** environ;

namespace mireva::testing {

bool DisplayAvailable() {
  const char* d = std::getenv("DISPLAY");
  return d && *d;
}

std::vector<std::string> GuiRun::Values(const std::string& kind) const {
  std::vector<std::string> v;
  for (const auto& [k, val] : log)
    if (k == kind) v.push_back(val);
  return v;
}

bool GuiRun::Has(const std::string& kind, const std::string& value) const {
  for (const auto& [k, val] : log)
    if (k == kind && val == value) return true;
  return false;
}

std::string GuiRun::Dump() const {
  std::string s = "exit " + std::to_string(exitCode) + (timedOut ? " (timed out)" : "") + "\n";
  for (const auto& [k, v] : log) s += k + "\t" + v + "\n";
  return s;
}

namespace {

// The program starts companions (the watcher) that outlive it by design; a
// test ends those of its own run, known by the log path in their environment.
void StopCompanions(const std::string& logPath) {
  std::string marker = "MIREVA_TEST_LOG=" + logPath;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    std::string name = entry.path().filename();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string env = ReadFile(entry.path().string() + "/environ");
    size_t pos = 0;
    bool ours = false;
    while (pos < env.size() && !ours) {
      size_t end = env.find('\0', pos);
      if (end == std::string::npos) end = env.size();
      ours = env.compare(pos, end - pos, marker) == 0;
      pos = end + 1;
    }
    if (ours) kill(std::stoi(name), SIGTERM);
  }
}

}  // namespace

GuiRun RunMireva(const GuiOptions& o) {
  GuiRun run;
  run.home = o.home.empty() ? MakeTempFolder("mireva-gui") : o.home;
  std::string side = run.home + "/.test";
  std::filesystem::create_directories(side + "/run");
  std::filesystem::create_directories(side + "/cache");
  std::filesystem::create_directories(side + "/data");
  std::string logPath = side + "/events.log";
  std::string scriptPath = side + "/script.txt";
  std::string answersPath = side + "/answers.txt";
  WriteFile(logPath, "");
  std::string script, answers;
  for (const auto& l : o.script) script += l + "\n";
  for (const auto& l : o.answers) answers += l + "\n";
  WriteFile(scriptPath, script);
  WriteFile(answersPath, answers);

  std::vector<std::string> env;
  std::vector<std::pair<std::string, std::string>> set = {
      {"MIREVA_HOME", run.home},
      {"MIREVA_TEST_LOG", logPath},
      {"MIREVA_TEST_ANSWERS", answersPath},
      {"XDG_RUNTIME_DIR", side + "/run"},
      {"XDG_CACHE_HOME", side + "/cache"},
      {"XDG_DATA_HOME", side + "/data"},
      // GTK keeps caches and allocations for the life of the process.
      {"ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1"},
      {"NO_AT_BRIDGE", "1"},
      {"GTK_A11Y", "none"},
      {"MESA_SHADER_CACHE_DISABLE", "true"},
  };
  for (const auto& e : o.env) set.push_back(e);
  for (char** e = environ; *e; ++e) {
    std::string kv = *e;
    std::string key = kv.substr(0, kv.find('='));
    bool overridden = false;
    for (const auto& s : set) overridden |= s.first == key;
    if (!overridden) env.push_back(kv);
  }
  for (const auto& s : set) env.push_back(s.first + "=" + s.second);

  std::vector<std::string> args = {BinDir() + "/mireva", "--script", scriptPath};
  for (const auto& a : o.args) args.push_back(a);
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return run;
  time_t deadline = std::time(nullptr) + o.timeoutSeconds;
  int status = 0;
  while (true) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (std::time(nullptr) > deadline) {
      run.timedOut = true;
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    usleep(50 * 1000);
  }
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  StopCompanions(logPath);
  std::istringstream in(ReadFile(logPath));
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos) run.log.emplace_back(line, "");
    else run.log.emplace_back(line.substr(0, tab), line.substr(tab + 1));
  }
  return run;
}

}  // namespace mireva::testing
