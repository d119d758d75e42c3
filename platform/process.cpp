#include "platform/process.h"

#include <cerrno>
#include <fcntl.h>
#include <cstdlib>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/folders.h"

extern char** environ;

namespace mireva {
namespace {

bool IsExecutable(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Splits "$VISUAL" the way a user writes it ("gedit -s", "code --wait").
std::vector<std::string> SplitWords(const std::string& s) {
  std::vector<std::string> words;
  std::string cur;
  for (char c : s) {
    if (c == ' ' || c == '\t') {
      if (!cur.empty()) words.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) words.push_back(cur);
  return words;
}

// The desktop text editors looked for when $VISUAL is unset or fails, in order.
constexpr const char* kDesktopEditors[] = {
    "gnome-text-editor", "gedit", "mousepad", "kate", "xed", "pluma", "featherpad", "leafpad"};

}  // namespace

std::string FindProgram(const std::string& name) {
  if (name.empty()) return std::string();
  if (name.find('/') != std::string::npos) return IsExecutable(name) ? name : std::string();
  std::string beside = ProgramFolder() + "/" + name;
  if (IsExecutable(beside)) return beside;
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t colon = dirs.find(':', start);
    if (colon == std::string::npos) colon = dirs.size();
    std::string dir = dirs.substr(start, colon - start);
    if (!dir.empty() && IsExecutable(dir + "/" + name)) return dir + "/" + name;
    start = colon + 1;
  }
  return std::string();
}

bool StartProgram(const std::vector<std::string>& argv, Wait wait, int* exitCode) {
  if (argv.empty()) return false;
  std::string program = FindProgram(argv[0]);
  if (program.empty()) return false;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  if (wait == Wait::No) flags |= POSIX_SPAWN_SETSID;  // a detached companion outlives us
  posix_spawnattr_setflags(&attr, flags);
  // A detached program gets no terminal streams of ours: it may outlive us, and
  // an inherited pipe would keep whoever reads our output waiting for it.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (wait == Wait::No) {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  }
  pid_t pid = 0;
  int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return false;
  if (wait == Wait::No) {
    // Nobody waits for a detached program; a small thread reaps it when it
    // ends so that no zombie is left behind.
    std::thread([pid] {
      int st = 0;
      while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
      }
    }).detach();
    return true;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return true;
}

bool OpenWithDesktop(const std::string& target) {
  return StartProgram({"xdg-open", target}, Wait::No);
}

bool OpenInTextEditor(const std::string& hostPath, Wait wait) {
  if (const char* visual = std::getenv("VISUAL"); visual && *visual) {
    std::vector<std::string> argv = SplitWords(visual);
    argv.push_back(hostPath);
    if (StartProgram(argv, wait)) return true;
  }
  for (const char* editor : kDesktopEditors) {
    if (!FindProgram(editor).empty()) {
      std::vector<std::string> argv{editor};
      // gedit and gnome-text-editor return at once when another window is open;
      // -s / --standalone keeps a window of their own that we can wait for.
      if (wait == Wait::UntilExit && std::string(editor) == "gedit") argv.push_back("-s");
      if (wait == Wait::UntilExit && std::string(editor) == "gnome-text-editor")
        argv.push_back("--standalone");
      argv.push_back(hostPath);
      return StartProgram(argv, wait);
    }
  }
  return StartProgram({"xdg-open", hostPath}, wait);
}

std::vector<std::string> TextEditorsTried() {
  std::vector<std::string> tried;
  const char* visual = std::getenv("VISUAL");
  tried.push_back(visual && *visual ? std::string("$VISUAL=") + visual : "$VISUAL");
  for (const char* editor : kDesktopEditors) tried.push_back(editor);
  tried.push_back("xdg-open");
  return tried;
}

}  // namespace mireva
