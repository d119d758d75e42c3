#include "companions/download_engine/fetch_record.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "companions/download_engine/output_folder.h"

namespace mireva::dl {

namespace {
constexpr size_t kMaxEntries = 500000;
constexpr size_t kMaxLine = 16384;
constexpr size_t kMaxFileBytes = 256u << 20;

bool Clean(const std::string& s) {
  for (char c : s)
    if (c == '\t' || c == '\n' || c == '\r') return false;
  return true;
}
}  // namespace

void FetchRecord::Load(int downloadFolderFd) {
  entries_.clear();
  changed_ = false;
  int fd = openat(downloadFolderFd, kRecordName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  std::string data;
  char buf[65536];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0 && data.size() < kMaxFileBytes)
    data.append(buf, static_cast<size_t>(n));
  close(fd);
  size_t pos = 0;
  while (pos < data.size() && entries_.size() < kMaxEntries) {
    size_t end = data.find('\n', pos);
    if (end == std::string::npos) break;  // a cut last line is dropped
    std::string line = data.substr(pos, end - pos);
    pos = end + 1;
    if (line.size() > kMaxLine) continue;
    size_t t1 = line.find('\t');
    size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
    size_t t3 = t2 == std::string::npos ? t2 : line.find('\t', t2 + 1);
    if (t3 == std::string::npos || t1 == 0) continue;
    Entry e;
    e.size = std::strtoll(line.c_str() + t1 + 1, nullptr, 10);
    e.time = std::strtoll(line.c_str() + t2 + 1, nullptr, 10);
    e.file = line.substr(t3 + 1);
    e.order = next_++;
    entries_[line.substr(0, t1)] = std::move(e);
  }
}

void FetchRecord::Add(const std::string& url, long long size, long long time,
                      const std::string& file) {
  if (!Clean(url) || !Clean(file) || url.size() > kMaxLine / 2) return;
  entries_[url] = Entry{size, time, file, next_++};
  changed_ = true;
}

bool FetchRecord::Save(int downloadFolderFd, const std::function<bool()>& keepGoing) {
  if (!changed_) return true;
  std::vector<std::pair<const std::string*, const Entry*>> order;
  order.reserve(entries_.size());
  for (const auto& [url, e] : entries_) order.push_back({&url, &e});
  std::sort(order.begin(), order.end(),
            [](const auto& a, const auto& b) { return a.second->order < b.second->order; });
  // The oldest entries give way when the record grows past its limit.
  size_t first = order.size() > kMaxEntries ? order.size() - kMaxEntries : 0;
  std::string text;
  for (size_t i = first; i < order.size(); ++i) {
    const Entry& e = *order[i].second;
    text += *order[i].first + "\t" + std::to_string(e.size) + "\t" + std::to_string(e.time) +
            "\t" + e.file + "\n";
  }
  std::string temp = TemporaryName();
  int fd = openat(downloadFolderFd, temp.c_str(),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  constexpr size_t kPiece = 1u << 20;
  size_t done = 0;
  bool ok = true;
  while (ok && done < text.size()) {
    const size_t end = std::min(text.size(), done + kPiece);
    while (done < end) {
      ssize_t w = write(fd, text.data() + done, end - done);
      if (w < 0) {
        if (errno == EINTR) continue;
        ok = false;
        break;
      }
      done += static_cast<size_t>(w);
    }
    if (ok && done < text.size() && keepGoing && !keepGoing()) ok = false;
  }
  if (ok && !SyncFd(fd)) ok = false;
  if (close(fd) != 0) ok = false;
  // renameat replaces the name itself; a symbolic link there is not followed.
  if (ok && renameat(downloadFolderFd, temp.c_str(), downloadFolderFd, kRecordName) != 0) ok = false;
  if (!ok) unlinkat(downloadFolderFd, temp.c_str(), 0);
  if (ok) SyncFd(downloadFolderFd);
  if (ok) changed_ = false;
  return ok;
}

}  // namespace mireva::dl
