// The download history's cost per engine call: open the history, look up 10
// new addresses, record the 10 files (their SHA-256 read from disk), close;
// against a history of 0, 100,000 and 1,000,000 entries. The empty history is
// the anchor; the goal is the 1,000,000 case within 1.2x of it. Each call ends
// in flushes to disk, whose time varies with whatever else the disk does, so
// the three histories are measured in turn, round after round, and each figure
// is the median of its rounds.
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "history/history_store.h"

namespace {

// <chrono> cannot be used: its "\u00b5s" has no place in the Shift_JIS literals.
double NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

constexpr int kRounds = 60;
constexpr int kFilesPerCall = 10;

// Addresses spread over the index as real ones are, not in insertion order.
std::string Address(unsigned long long i) {
  unsigned long long h = (i + 1) * 0x9E3779B97F4A7C15ull;
  h ^= h >> 29;
  char buf[96];
  std::snprintf(buf, sizeof buf, "http://site%llu.example.com/images/%016llx/%llu.jpg", h % 997, h,
                i);
  return buf;
}

bool Fill(const std::string& folder, unsigned long long from, unsigned long long to) {
  mireva::HistoryStore store;
  if (!store.Open(folder)) return false;
  const std::string digest(64, 'a');
  for (unsigned long long i = from; i < to;) {
    if (!store.BeginBatch()) return false;
    for (unsigned long long end = std::min(to, i + 50000); i < end; ++i) {
      mireva::HistoryEntry e;
      e.address = Address(i);
      e.referrer = "http://site.example.com/page.html";
      e.file = "DownLoad/site.example.com/" + std::to_string(i) + ".jpg";
      e.size = 40000;
      e.sha256 = digest;
      e.fetchedAt = 1600000000 + static_cast<long long>(i);
      e.kind = mireva::RunKind::Patrol;
      if (!store.Add(e)) return false;
    }
    if (!store.Commit()) return false;
  }
  return true;
}

// The milliseconds of one engine call's use of the history, or -1 on failure.
double Call(const std::string& folder, const std::string& files, unsigned long long* next) {
  std::vector<std::string> urls;
  for (int i = 0; i < kFilesPerCall; ++i) urls.push_back(Address((*next)++));
  const double start = NowMs();
  mireva::HistoryStore store;
  if (!store.Open(folder)) return -1;
  auto known = store.Known(urls);
  std::vector<mireva::HistoryEntry> entries;
  for (int i = 0; i < kFilesPerCall; ++i) {
    if (known.count(urls[static_cast<size_t>(i)])) continue;
    mireva::HistoryEntry e;
    e.address = urls[static_cast<size_t>(i)];
    e.referrer = "http://site.example.com/page.html";
    e.file = files + std::to_string(i) + ".jpg";
    e.size = 40000;
    e.kind = mireva::RunKind::Patrol;
    entries.push_back(std::move(e));
  }
  if (store.Record(std::move(entries)) != static_cast<size_t>(kFilesPerCall)) return -1;
  store.Close();
  return NowMs() - start;
}

}  // namespace

int main() {
  std::string tmpl =
      (std::filesystem::temp_directory_path() / "mireva-history-bench-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) return 1;
  const std::string root = tmpl;
  const std::vector<unsigned long long> sizes = {0, 100000, 1000000};
  std::vector<std::string> folders;
  int status = 0;
  for (unsigned long long size : sizes) {
    const std::string folder = root + "/" + std::to_string(size);
    std::filesystem::create_directories(folder + "/DownLoad/bench");
    for (int i = 0; i < kFilesPerCall; ++i)
      std::ofstream(folder + "/DownLoad/bench/" + std::to_string(i) + ".jpg", std::ios::binary)
          << std::string(40000, static_cast<char>('a' + i));
    folders.push_back(folder);
    if (!Fill(folder, 0, size)) {
      std::fprintf(stderr, "history_bench: could not fill a history of %llu entries\n", size);
      status = 1;
    }
  }
  // Let the writes of the filling reach the disk before measuring.
  sync();
  sleep(2);

  std::vector<std::vector<double>> ms(sizes.size());
  unsigned long long next = 1ull << 40;  // measured addresses never collide with filled ones
  for (int round = 0; status == 0 && round < kRounds; ++round) {
    for (size_t k = 0; k < sizes.size(); ++k) {
      const double t = Call(folders[k], "DownLoad/bench/", &next);
      if (t < 0) {
        std::fprintf(stderr, "history_bench: a measured call failed\n");
        status = 1;
        break;
      }
      ms[k].push_back(t);
    }
  }
  if (status == 0) {
    std::printf("history: open, look up and record %d new files, close (median of %d rounds)\n",
                kFilesPerCall, kRounds);
    std::vector<double> median;
    for (auto& v : ms) {
      std::sort(v.begin(), v.end());
      median.push_back(v[v.size() / 2]);
    }
    for (size_t k = 0; k < sizes.size(); ++k) {
      if (k == 0) {
        std::printf("  %9llu entries: %7.2f ms  (anchor)\n", sizes[k], median[k]);
      } else {
        const double ratio = median[k] / median[0];
        std::printf("  %9llu entries: %7.2f ms  %.2fx the anchor%s\n", sizes[k], median[k], ratio,
                    sizes[k] == 1000000
                        ? (ratio <= 1.2 ? "  (goal 1.2x: met)" : "  (goal 1.2x: missed)")
                        : "");
      }
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  return status;
}
