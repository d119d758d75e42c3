#include "downloads/downloads_model.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include "platform/text_encoding.h"
#include "platform/text_helpers.h"

namespace mireva {

long long SinceTime(SincePeriod period, long long now) {
  int daysBack = 0;
  switch (period) {
    case SincePeriod::All:
      return 0;
    case SincePeriod::Today:
      daysBack = 0;
      break;
    case SincePeriod::Week:
      daysBack = 6;
      break;
    case SincePeriod::Month:
      daysBack = 29;
      break;
  }
  const std::time_t t = static_cast<std::time_t>(now);
  std::tm local{};
  localtime_r(&t, &local);
  local.tm_hour = 0;
  local.tm_min = 0;
  local.tm_sec = 0;
  local.tm_mday -= daysBack;  // mktime carries into earlier months
  local.tm_isdst = -1;
  return static_cast<long long>(std::mktime(&local));
}

std::string LocalTimeText(long long unixTime) {
  const std::time_t t = static_cast<std::time_t>(unixTime);
  std::tm local{};
  if (!localtime_r(&t, &local)) return std::string();
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

DownloadsModel::DownloadsModel(std::string workingFolder) : folder_(std::move(workingFolder)) {}

bool DownloadsModel::EnsureOpen() {
  if (store_.IsOpen()) return true;
  // Looking must not create the history (nor take in the engine's old record
  // behind its back): without a database there is simply nothing yet.
  struct stat st;
  const std::string path = folder_ + "/" + kHistoryFileName;
  if (::lstat(path.c_str(), &st) != 0) return false;
  if (!store_.Open(folder_)) {
    message_ = store_.Message();
    return false;
  }
  return true;
}

bool DownloadsModel::Reload() {
  message_.clear();
  rows_.clear();
  sites_.clear();
  truncated_ = false;
  // Opened afresh each time: the store's word is then about this reading, and
  // a database another program set aside or started meanwhile is seen.
  store_.Close();
  if (!EnsureOpen()) return message_.empty();
  HistoryFilter filter = filter_;
  filter.limit = kMaxRows + 1;
  rows_ = store_.List(filter);
  if (rows_.size() > kMaxRows) {
    rows_.resize(kMaxRows);
    truncated_ = true;
  }
  for (const SiteTotals& totals : store_.Stats()) sites_.push_back(totals.site);
  message_ = store_.Message();
  return message_.empty();
}

std::string DownloadsModel::FilePath(const HistoryEntry& entry) const {
  return folder_ + "/" + HostPath(entry.file);
}

std::string DownloadsModel::FolderPath(const HistoryEntry& entry) const {
  const std::string file = FilePath(entry);
  return file.substr(0, file.rfind('/'));
}

bool DownloadsModel::Forget(const std::string& address) {
  message_.clear();
  if (!EnsureOpen()) return message_.empty();
  // The store forgets by a text found anywhere in an entry: in one batch, the
  // entries that only contain the address are put back as they were.
  if (!store_.BeginBatch()) {
    message_ = store_.Message();
    return false;
  }
  HistoryFilter filter;
  filter.text = address;
  std::vector<HistoryEntry> others = store_.List(filter);
  bool ok = store_.Message().empty() && store_.Forget(filter).has_value();
  for (HistoryEntry& e : others) {
    if (!ok) break;
    if (e.address != address) ok = store_.Add(std::move(e));
  }
  ok = ok && store_.Commit();
  if (!ok) {
    store_.Rollback();
    message_ = store_.Message();
  }
  return ok;
}

bool DownloadsModel::DeleteFile(const HistoryEntry& entry) {
  message_.clear();
  const std::string& file = entry.file;
  bool outside = file.empty() || file[0] == '/';
  for (size_t begin = 0; !outside && begin <= file.size();) {
    size_t end = file.find('/', begin);
    if (end == std::string::npos) end = file.size();
    outside = file.compare(begin, end - begin, "..") == 0;
    begin = end + 1;
  }
  if (outside) {
    message_ = "作業フォルダの外のファイルは削除しません。\n" + file;
    return false;
  }
  if (std::remove(FilePath(entry).c_str()) == 0 || errno == ENOENT) return true;
  message_ = "ファイルを削除できません。\n" + file + "\n" + Utf8ToSjis(std::strerror(errno));
  return false;
}

std::optional<DownloadsModel::Refetch> DownloadsModel::RefetchOf(const HistoryEntry& entry) {
  if (entry.referrer.empty() || AddressHost(entry.referrer).empty()) return std::nullopt;
  const size_t scheme = entry.address.find("://");
  if (scheme == std::string::npos) return std::nullopt;
  std::string path = entry.address.substr(scheme + 3);
  path = path.substr(0, path.find_first_of("?#"));
  const size_t slash = path.find('/');
  if (slash == std::string::npos) return std::nullopt;
  const std::string name = path.substr(path.rfind('/') + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot + 1 >= name.size() || name.size() - dot - 1 > 8)
    return std::nullopt;
  std::string ext = name.substr(dot + 1);
  for (char c : ext)
    if (!IsAsciiAlnum(c)) return std::nullopt;
  return Refetch{entry.referrer, ext};
}

}  // namespace mireva
