// The watcher's reading of the browser cache: the content sniffer on any
// bytes, the search for a body inside a cache record, and a whole collection
// pass over a cache that holds the input as a record and as a blob.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "companions/tollick/cache_collector.h"
#include "companions/tollick/content_sniffer.h"
#include "fuzz/fuzz_support.h"

using namespace mireva;
using namespace mireva::tollick;
namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  (void)SniffTypes(bytes, Strictness::WholeFile);
  (void)SniffTypes(bytes, Strictness::Embedded);
  size_t offset = 0;
  TypeMask types = 0;
  const bool embedded = FindEmbeddedBody(bytes, &offset, &types);
  if (embedded && (offset >= size || types == 0)) std::abort();
  // The collector reads the same bytes from its files with these two calls;
  // its pass over the files (reading, naming, storing) runs when they find a
  // body to store, and for one input in 64 besides, as a pass that finds
  // nothing only reads.
  const bool wholeFile = SniffTypes(bytes.substr(0, 4096), Strictness::WholeFile) != 0;
  if (!embedded && !wholeFile && !fuzz::OneIn64(data, size)) return 0;

  static const std::string cache = fuzz::ScratchFolder() + "/cache";
  static const std::string out = fuzz::ScratchFolder() + "/out";
  static const bool made = [] {
    fs::create_directories(cache + "/Records");
    fs::create_directories(cache + "/Blobs");
    fs::create_directories(out);
    return true;
  }();
  (void)made;
  if (size == 0) return 0;  // an empty cache file is passed over anyway
  fuzz::WriteScratch("cache/Records/record", data, size);
  fuzz::WriteScratch("cache/Blobs/blob", data, size);

  DownloadTypeFlags all;
  all.fill(true);
  CacheCollector collector(cache, out);
  collector.SetTypes(all);
  for (const std::string& name : collector.Scan(CacheCollector::ScanKind::Final)) {
    if (name.empty() || name[0] == '.' || name.find('/') != std::string::npos) std::abort();
  }
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(out, ec)) fs::remove(entry.path(), ec);
  return 0;
}
