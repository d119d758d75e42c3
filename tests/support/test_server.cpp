#include "tests/support/test_server.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace mireva::testing {

std::string SourceDir() {
  const char* v = std::getenv("MIREVA_TEST_SOURCE_DIR");
  return v && *v ? v : MIREVA_SOURCE_DIR_DEFAULT;
}

std::string BinDir() {
  const char* v = std::getenv("MIREVA_TEST_BIN_DIR");
  return v && *v ? v : MIREVA_BIN_DIR_DEFAULT;
}

std::string MakeTempFolder(const std::string& prefix) {
  std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  char* made = mkdtemp(tmpl.data());
  return made ? std::string(made) : std::string();
}

void RemoveFolder(const std::string& path) {
  std::error_code ec;
  if (!path.empty()) std::filesystem::remove_all(path, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

std::string LoggedRequest::Header(const std::string& name) const {
  for (const std::string& h : headers) {
    size_t colon = h.find(':');
    if (colon == name.size() && strncasecmp(h.c_str(), name.c_str(), colon) == 0) {
      size_t v = colon + 1;
      while (v < h.size() && h[v] == ' ') ++v;
      return h.substr(v);
    }
  }
  return std::string();
}

TestServer::TestServer(const std::string& routesJson) {
  folder_ = MakeTempFolder("mireva-server");
  routesPath_ = folder_ + "/routes.json";
  logPath_ = folder_ + "/requests.log";
  SetRoutes(routesJson);
  WriteFile(logPath_, "");

  int fds[2];
  if (pipe(fds) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::string script = SourceDir() + "/tests/support/http_server.py";
  std::vector<std::string> args{"python3", script, "--routes", routesPath_, "--log", logPath_};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, "python3", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return;
  }
  pid_ = pid;
  FILE* out = fdopen(fds[0], "r");
  char line[64] = {0};
  if (out && std::fgets(line, sizeof line, out) && std::strncmp(line, "PORT ", 5) == 0)
    port_ = std::atoi(line + 5);
  if (out) std::fclose(out);
}

TestServer::~TestServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int st;
    waitpid(pid_, &st, 0);
  }
  RemoveFolder(folder_);
}

std::string TestServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void TestServer::SetRoutes(const std::string& routesJson) {
  // Written whole and renamed, so the server never reads half a file.
  std::string tmp = routesPath_ + ".tmp";
  WriteFile(tmp, routesJson);
  std::rename(tmp.c_str(), routesPath_.c_str());
}

std::vector<LoggedRequest> TestServer::Requests() const {
  std::vector<LoggedRequest> result;
  std::istringstream in(ReadFile(logPath_));
  std::string line;
  while (std::getline(in, line)) {
    LoggedRequest r;
    std::istringstream fields(line);
    std::string field;
    int i = 0;
    while (std::getline(fields, field, '\t')) {
      if (i == 0) r.method = field;
      else if (i == 1) r.path = field;
      else r.headers.push_back(field);
      ++i;
    }
    result.push_back(r);
  }
  return result;
}

void TestServer::ClearRequests() { WriteFile(logPath_, ""); }

}  // namespace mireva::testing
