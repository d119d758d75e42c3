#include "platform/file_util.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/text_encoding.h"

namespace mireva {

std::optional<std::string> ReadWholeFile(const std::string& sjisPath) {
  FILE* f = std::fopen(HostPath(sjisPath).c_str(), "rb");
  if (!f) return std::nullopt;
  std::string data;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return std::nullopt;
  return data;
}

bool WriteFileAtomically(const std::string& sjisPath, const std::string& data) {
  const std::string target = HostPath(sjisPath);
  std::string tmp = target + ".tmpXXXXXX";
  int fd = mkstemp(tmp.data());
  if (fd < 0) return false;
  const char* p = data.data();
  size_t left = data.size();
  bool ok = true;
  while (left > 0) {
    ssize_t w = ::write(fd, p, left);
    if (w < 0) {
      ok = false;
      break;
    }
    p += w;
    left -= static_cast<size_t>(w);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  // mkstemp makes the file private; lists and downloads are ordinary user files.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(tmp.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) nl = text.size();
    std::string_view line = text.substr(start, nl - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    start = nl + 1;
  }
  return lines;
}

bool FileExists(const std::string& sjisPath) {
  struct stat st;
  return ::stat(HostPath(sjisPath).c_str(), &st) == 0;
}

bool MakeDirectories(const std::string& sjisPath) {
  std::error_code ec;
  std::filesystem::create_directories(HostPath(sjisPath), ec);
  return std::filesystem::is_directory(HostPath(sjisPath), ec);
}

}  // namespace mireva
