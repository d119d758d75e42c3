#pragma once
// Starts tests/support/http_server.py on a free loopback port for one test
// (or suite) and stops it again. What it answers is set with SetRoutes (the
// JSON described at the top of http_server.py); what it was asked is read back
// with Requests().
#include <string>
#include <vector>

namespace mireva::testing {

struct LoggedRequest {
  std::string method;
  std::string path;
  std::vector<std::string> headers;  // "Name: value"
  // The value of a header (case-insensitive name), or "".
  std::string Header(const std::string& name) const;
};

class TestServer {
 public:
  // Starts the server with the given routes JSON (may be "{}").
  explicit TestServer(const std::string& routesJson = "{}");
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  bool Running() const { return port_ > 0; }
  int Port() const { return port_; }
  std::string Url(const std::string& path) const;  // "http://127.0.0.1:PORT" + path
  void SetRoutes(const std::string& routesJson);
  std::vector<LoggedRequest> Requests() const;
  void ClearRequests();
  const std::string& Folder() const { return folder_; }  // a scratch folder of the server

 private:
  int pid_ = -1;
  int port_ = 0;
  std::string folder_;
  std::string routesPath_;
  std::string logPath_;
};

// The source tree (MIREVA_TEST_SOURCE_DIR, set by CTest) and the build's bin folder.
std::string SourceDir();
std::string BinDir();
// A fresh empty folder under the system's temporary folder, removed by the caller.
std::string MakeTempFolder(const std::string& prefix = "mireva-test");
void RemoveFolder(const std::string& path);
// Reads / writes a whole file (bytes as they are).
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);

}  // namespace mireva::testing
