#include "companions/tollick/cache_collector.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "companions/tollick/content_sniffer.h"
#include "platform/file_util.h"

namespace mireva::tollick {
namespace fs = std::filesystem;

namespace {

int64_t NowNs() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

bool ReadFileBounded(const std::string& path, uint64_t limit, std::string* out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  out->clear();
  char buf[65536];
  size_t n;
  bool ok = true;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    if (out->size() + n > limit) {
      ok = false;
      break;
    }
    out->append(buf, n);
  }
  if (std::ferror(f)) ok = false;
  std::fclose(f);
  return ok;
}

bool UnderRecords(const fs::path& p) {
  for (const auto& part : p)
    if (part == "Records") return true;
  return false;
}

}  // namespace

uint64_t ContentHash(const std::string& data) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : data) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  return h;
}

CacheCollector::CacheCollector(std::string cacheFolder, std::string outputFolder)
    : cacheFolder_(std::move(cacheFolder)), outputFolder_(std::move(outputFolder)) {}

void CacheCollector::SetTypes(const DownloadTypeFlags& types) {
  // Files passed over for a type that is now enabled must be looked at again.
  if (types != types_) seen_.clear();
  types_ = types;
}

int CacheCollector::ChooseType(uint32_t mask) const {
  for (int i = 0; i < kDownloadTypeCount; ++i)
    if ((mask & (uint32_t{1} << i)) && types_[static_cast<size_t>(i)]) return i;
  return -1;
}

std::vector<std::string> CacheCollector::Scan(ScanKind kind) {
  std::vector<std::string> collected;
  if (!AnyEnabled(types_)) return collected;
  std::error_code ec;
  const int64_t settledBefore = NowNs() - 1000000000;
  std::map<std::string, std::pair<uint64_t, int64_t>> present;
  auto it = fs::recursive_directory_iterator(cacheFolder_,
                                             fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    struct stat st;
    const std::string path = it->path().string();
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    const int64_t mtime = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (size == 0 || size > kMaxFileBytes) continue;
    const auto stamp = std::make_pair(size, mtime);
    auto old = seen_.find(path);
    if (old != seen_.end() && old->second == stamp) {
      present.emplace(path, stamp);
      continue;
    }
    if (kind == ScanKind::During && mtime > settledBefore) continue;
    present.emplace(path, stamp);
    std::string name = Collect(path, UnderRecords(it->path()), size);
    if (!name.empty()) collected.push_back(name);
  }
  // Only files still in the cache are remembered, so a watcher that runs for
  // months keeps no record of long-gone entries.
  seen_.swap(present);
  return collected;
}

std::string CacheCollector::Collect(const std::string& path, bool inRecords, uint64_t size) {
  std::string head;
  {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::string();
    head.resize(4096);
    head.resize(std::fread(head.data(), 1, head.size(), f));
    std::fclose(f);
  }
  if (TypeMask mask = SniffTypes(head, Strictness::WholeFile)) {
    int type = ChooseType(mask);
    std::string content;
    if (type < 0 || !ReadFileBounded(path, kMaxFileBytes, &content)) return std::string();
    return Store(content, type);
  }
  if (!inRecords || size > kMaxRecordBytes) return std::string();
  std::string record;
  if (!ReadFileBounded(path, kMaxRecordBytes, &record)) return std::string();
  size_t offset = 0;
  TypeMask mask = 0;
  if (!FindEmbeddedBody(record, &offset, &mask)) return std::string();
  int type = ChooseType(mask);
  if (type < 0) return std::string();
  return Store(record.substr(offset), type);
}

std::string CacheCollector::Store(const std::string& content, int type) {
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(ContentHash(content)));
  const std::string name =
      std::string(hex) + "." + DownloadTypeTable()[static_cast<size_t>(type)].extension;
  const std::string target = outputFolder_ + "/" + name;
  std::error_code ec;
  if (fs::exists(target, ec)) return std::string();  // this content is there already
  fs::create_directories(outputFolder_, ec);
  // Written under a dot name (".<name>.tmpXXXXXX") that folder sweeps pass
  // over, so "Cache files" never takes a half-written file; paths here are
  // the host's names already.
  if (!WriteHostFileAtomically(target, content)) return std::string();
  return name;
}

}  // namespace mireva::tollick
