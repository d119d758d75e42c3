#include "platform/folders.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mireva {
namespace fs = std::filesystem;

namespace {
std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::string(v) : fallback;
}
}  // namespace

std::string HomeFolder() {
  const char* h = std::getenv("HOME");
  if (h && *h) return h;
  if (passwd* pw = getpwuid(getuid())) return pw->pw_dir;
  return "/tmp";
}

std::string ProgramFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  return exe.parent_path().string();
}

std::string WorkingFolder() {
  if (const char* v = std::getenv("MIREVA_HOME"); v && *v) return v;
  return EnvOr("XDG_DATA_HOME", HomeFolder() + "/.local/share") + "/mireva";
}

std::string CacheFolder() {
  return EnvOr("XDG_CACHE_HOME", HomeFolder() + "/.cache") + "/mireva";
}

std::string RuntimeFolder() {
  const char* v = std::getenv("XDG_RUNTIME_DIR");
  if (v && *v) return std::string(v) + "/mireva";
  return "/tmp/mireva-" + std::to_string(getuid());
}

bool CheckRuntimeFolder(std::string* problem) {
  const std::string folder = RuntimeFolder();
  struct stat st {};
  std::string why;
  if (::lstat(folder.c_str(), &st) != 0)
    why = std::strerror(errno);
  else if (S_ISLNK(st.st_mode))
    why = "it is a symbolic link";
  else if (!S_ISDIR(st.st_mode))
    why = "it is not a folder";
  else if (st.st_uid != ::geteuid())
    why = "it belongs to another user";
  else if ((st.st_mode & 07777) != 0700)
    why = "others may use it (its mode must be 0700)";
  if (why.empty()) return true;
  if (problem) *problem = "the runtime folder " + folder + " cannot be trusted: " + why;
  return false;
}

bool PrepareRuntimeFolder(std::string* problem) {
  const std::string folder = RuntimeFolder();
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    if (problem) *problem = "cannot create the runtime folder " + folder + ": " + std::strerror(errno);
    return false;
  }
  return CheckRuntimeFolder(problem);
}

std::string DataFolder() {
  // Installed: <prefix>/lib/mireva/mireva and <prefix>/share/mireva/data.
  // Built: build/bin/mireva and build/bin/data.
  std::error_code ec;
  std::string beside = ProgramFolder() + "/data";
  if (fs::is_directory(beside, ec)) return beside;
  return fs::path(ProgramFolder()).parent_path().parent_path().string() + "/share/mireva/data";
}

bool PrepareWorkingFolder(const std::string& folder, const std::string& dataFolder) {
  std::error_code ec;
  for (const char* sub : {"", "/Cache", "/DownLoad", "/DownLoad/Weather", "/DownLoad/JapanMap"})
    fs::create_directories(folder + sub, ec);
  if (!fs::is_directory(folder, ec)) return false;
  if (fs::is_directory(dataFolder, ec)) {
    for (const auto& entry : fs::recursive_directory_iterator(dataFolder, ec)) {
      fs::path rel = fs::relative(entry.path(), dataFolder, ec);
      fs::path dest = fs::path(folder) / rel;
      if (entry.is_directory()) {
        fs::create_directories(dest, ec);
      } else if (!fs::exists(dest, ec)) {
        fs::copy_file(entry.path(), dest, fs::copy_options::skip_existing, ec);
      }
    }
  }
  return ::chdir(folder.c_str()) == 0;
}

}  // namespace mireva
