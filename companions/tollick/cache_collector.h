#pragma once
// Collects files of the enabled download types from the browser view's cache
// folder into the working folder's "Cache".
//
// The cache is scanned recursively. A file that starts with a known signature
// is a resource of its own (WebKit keeps large bodies as plain "Blobs" files);
// a file inside a "Records" folder that does not is a WebKit cache record,
// whose body, when kept inline, is the record's tail: it is found by the first
// signature inside the record. Each content is stored once, named by its hash
// with the type's extension ("Cache/0123456789abcdef.jpg"), written to a
// temporary name beginning with a dot and renamed. Files seen unchanged (size and time) since the
// types last changed are not read again; a file changed within the last second is left for a later
// scan, as the browser may still be writing it, except in the final scan of a patrol.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/download_types.h"

namespace mireva::tollick {

class CacheCollector {
 public:
  CacheCollector(std::string cacheFolder, std::string outputFolder);

  // New types make every cache file eligible again (contents already
  // collected stay single through their hash names).
  void SetTypes(const DownloadTypeFlags& types);
  const DownloadTypeFlags& Types() const { return types_; }

  enum class ScanKind { During, Final };
  // One pass over the cache; the names (relative to the output folder) of
  // the files collected in this pass.
  std::vector<std::string> Scan(ScanKind kind);

  static constexpr uint64_t kMaxFileBytes = 1ull << 30;    // larger files are skipped
  static constexpr uint64_t kMaxRecordBytes = 8ull << 20;  // records searched for a body

 private:
  // The collected name, or "" when the file holds nothing to collect.
  std::string Collect(const std::string& path, bool inRecords, uint64_t size);
  std::string Store(const std::string& content, int type);
  int ChooseType(uint32_t mask) const;

  std::string cacheFolder_;
  std::string outputFolder_;
  DownloadTypeFlags types_{};
  // path -> (size, modification time in ns) when it was last examined
  std::map<std::string, std::pair<uint64_t, int64_t>> seen_;
};

// 64-bit FNV-1a, the content hash that names collected files.
uint64_t ContentHash(const std::string& data);

}  // namespace mireva::tollick
