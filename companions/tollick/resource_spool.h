#pragma once
// The spool through which the browser view hands the watcher the resources its
// pages showed, in the working folder's "Spool":
//
//   collecting     written by the watcher while it collects (from "download
//                  start" until "download break" or "off"): lines
//                  "types=<21 digits 0/1 in table order>", "limit=<bytes>". The
//                  view spools nothing while it is absent, so plain browsing
//                  costs one stat per resource.
//   <id>.dat       a resource's bytes, exactly as the page received them
//   <id>.rec       its record, written after the bytes: lines "address=",
//                  "page=", "type=" (the type's key, e.g. "JPEG"), "time="
//                  (milliseconds since 1970) and "size="
//
// Every file is written to a dot name and renamed, so a record the watcher sees
// always has its whole body beside it (not flushed to disk: a hand-over between
// running programs; the record's size tells a body cut short by a crash). What
// the watcher stores in "Cache" is flushed (WriteHostFileAtomically). The watcher
// takes each record with its body into "Cache" under its rules (named by the
// content's hash with the type's extension, a content already there not again)
// and deletes both; bodies without a record and temporaries an hour old are
// swept. Paths are the host's (UTF-8).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/download_types.h"
#include "companions/tollick/content_sniffer.h"

namespace mireva::tollick {

inline constexpr const char kSpoolFolderName[] = "Spool";
inline constexpr const char kSpoolStateName[] = "collecting";
// The per-resource size limit: key "MaxResourceMB" in the watcher's settings
// section, in whole megabytes (1..1024); default 64 MB.
inline constexpr const char kResourceLimitKey[] = "MaxResourceMB";
inline constexpr uint64_t kDefaultResourceLimit = 64ull << 20;

struct SpoolState {
  DownloadTypeFlags types{};
  uint64_t limit = 0;  // bytes; 0: nothing is collected
};

// The watcher's side of the state file.
bool WriteSpoolState(const std::string& spool, const SpoolState& state);
void RemoveSpoolState(const std::string& spool);
// The limit from the settings file (a Shift_JIS path).
uint64_t ReadResourceLimit(const std::string& iniPath);

// The types a response may be: from its MIME type when it names one of the
// types, else (no MIME type, or a generic binary one) from its first bytes.
TypeMask ResourceTypes(std::string_view mime, std::string_view head);

// The view's side: decides a resource's type and spools it when the watcher
// collects that type.
class SpoolWriter {
 public:
  explicit SpoolWriter(std::string spool) : spool_(std::move(spool)) {}
  // The limit in force now, 0 while the watcher does not collect. One stat of
  // the state file; it is read again only when it changed.
  uint64_t Limit();
  // Spools one resource; false when it is not wanted (type off, too large,
  // nothing collected now, a file: address) or could not be written.
  bool Offer(const std::string& address, const std::string& page, std::string_view mime,
             std::string_view bytes);
  // Whether a resource WebKit keeps no bytes of (audio, video, a script's
  // fetch) is of a type collected now, by its MIME type: such a resource is
  // fetched by the engine instead.
  bool WantsWithoutBytes(const std::string& address, std::string_view mime);

 private:
  std::string spool_;
  SpoolState state_;
  int64_t stateStamp_ = -1;  // modification time of the state file read, -1: none
  uint64_t serial_ = 0;
};

// The watcher's side: takes the records into the output folder.
class SpoolCollector {
 public:
  SpoolCollector(std::string spool, std::string outputFolder)
      : spool_(std::move(spool)), outputFolder_(std::move(outputFolder)) {}
  // Collects every record of an enabled type within the limit (others are
  // dropped); the names (relative to the output folder) of the files stored.
  std::vector<std::string> Collect(const SpoolState& state);

 private:
  std::string spool_;
  std::string outputFolder_;
};

// Stores one content in `outputFolder` as "<hash>.<ext>"; "" when the same
// content is there already or it could not be written.
std::string StoreCollected(const std::string& outputFolder, std::string_view content, int type);

// 64-bit FNV-1a, the content hash that names collected files.
uint64_t ContentHash(std::string_view data);

}  // namespace mireva::tollick
