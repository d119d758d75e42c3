#include "tests/support/working_folder.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/support/test_server.h"

namespace mireva::testing {
namespace {

void ChangeTo(const std::string& folder) {
  if (folder.empty() || ::chdir(folder.c_str()) != 0) {
    std::fprintf(stderr, "cannot change to the folder \"%s\"\n", folder.c_str());
    std::abort();
  }
}

}  // namespace

WorkingFolder::WorkingFolder(const std::string& prefix) : path_(MakeTempFolder(prefix)) {
  std::error_code ec;
  const std::filesystem::path current = std::filesystem::current_path(ec);
  previous_ = ec ? std::string("/") : current.string();
  ChangeTo(path_);
}

WorkingFolder::~WorkingFolder() {
  ChangeTo(previous_);
  RemoveFolder(path_);
}

}  // namespace mireva::testing
