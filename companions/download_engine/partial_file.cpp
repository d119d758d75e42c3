#include "companions/download_engine/partial_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "companions/download_engine/output_folder.h"

namespace mireva::dl {

namespace {

constexpr char kResumePrefix[] = ".mireva-resume-";
constexpr char kRecordSuffix[] = ".rec";
constexpr char kRecordMagic[] = "mireva-resume 1";
constexpr size_t kMaxRecordBytes = 16384;

std::string Key(const std::string& address) {
  unsigned long long h = 0xcbf29ce484222325ull;  // FNV-1a
  for (unsigned char c : address) h = (h ^ c) * 0x100000001b3ull;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", h);
  return text;
}

std::string ReadSmallFile(int folderFd, const std::string& name) {
  int fd = openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return "";
  std::string text;
  char buf[4096];
  ssize_t n;
  while (text.size() < kMaxRecordBytes && (n = read(fd, buf, sizeof buf)) != 0) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    text.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return text;
}

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

}  // namespace

std::string PartialName(const std::string& address) { return kResumePrefix + Key(address); }

std::string PartialRecordName(const std::string& address) {
  return PartialName(address) + kRecordSuffix;
}

bool IsPartialName(const std::string& name) {
  return name.compare(0, sizeof kResumePrefix - 1, kResumePrefix) == 0;
}

std::optional<PartialRecord> FindPartial(int folderFd, const std::string& address) {
  const std::string text = ReadSmallFile(folderFd, PartialRecordName(address));
  if (text.empty()) {
    // A partial file without its record cannot be resumed.
    unlinkat(folderFd, PartialName(address).c_str(), 0);
    return std::nullopt;
  }
  std::istringstream in(text);
  std::string magic, recorded, validatorLine, sizeText;
  std::getline(in, magic);
  std::getline(in, recorded);
  std::getline(in, validatorLine);
  std::getline(in, sizeText);
  PartialRecord r;
  r.address = recorded;
  const size_t colon = validatorLine.find(": ");
  if (colon != std::string::npos) {
    r.validatorHeader = validatorLine.substr(0, colon);
    r.validator = validatorLine.substr(colon + 2);
  }
  r.size = std::strtoll(sizeText.c_str(), nullptr, 10);
  // Another address with the same key keeps its partial file.
  if (magic == kRecordMagic && recorded != address) return std::nullopt;
  struct stat st;
  const bool agrees =
      magic == kRecordMagic && (r.validatorHeader == "ETag" || r.validatorHeader == "Last-Modified") &&
      !r.validator.empty() && r.size > 0 &&
      fstatat(folderFd, PartialName(address).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISREG(st.st_mode) && st.st_size == r.size;
  if (!agrees) {
    DropPartial(folderFd, address);
    return std::nullopt;
  }
  return r;
}

bool WritePartialRecord(int folderFd, const PartialRecord& record) {
  if (HasLineBreak(record.address) || HasLineBreak(record.validator)) return false;
  const std::string text = std::string(kRecordMagic) + "\n" + record.address + "\n" +
                           record.validatorHeader + ": " + record.validator + "\n" +
                           std::to_string(record.size) + "\n";
  const std::string temp = TemporaryName();
  int fd = openat(folderFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ok = close(fd) == 0 && ok;
  ok = ok && renameat(folderFd, temp.c_str(), folderFd, PartialRecordName(record.address).c_str()) == 0;
  if (!ok) unlinkat(folderFd, temp.c_str(), 0);
  return ok;
}

void DropPartial(int folderFd, const std::string& address) {
  unlinkat(folderFd, PartialRecordName(address).c_str(), 0);
  unlinkat(folderFd, PartialName(address).c_str(), 0);
}

std::optional<std::pair<std::string, std::string>> ResumeValidator(const std::string& etag,
                                                                    const std::string& lastModified) {
  if (!etag.empty() && etag.rfind("W/", 0) != 0) return std::make_pair(std::string("ETag"), etag);
  if (!lastModified.empty()) return std::make_pair(std::string("Last-Modified"), lastModified);
  return std::nullopt;
}

}  // namespace mireva::dl
