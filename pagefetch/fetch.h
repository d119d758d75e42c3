#pragma once
// HTTP retrieval on libcurl. FetchPage serves Hovrel and loadFile: one GET
// with the library's own headers, a password prompt on 401 and one retry, one
// redirect followed by hand, and delivery as converted text or as the raw body
// streamed into a file. FetchForAdjust serves the tag adjustment: the client
// follows redirects itself and one buffer's worth of text is read. Every
// failure of FetchPage is reported through the host's message callback.
#include <cstddef>
#include <cstdint>
#include <string>

#include "pagefetch/hovrel_api.h"

namespace hovrel {

// Request flags, as the interface has always carried them.
constexpr uint32_t kFlagReload = 0x80000000;          // never answer from a cache
constexpr uint32_t kFlagKeepConnection = 0x20000000;  // reuse a connection within the call
constexpr uint32_t kFlagNoAutoRedirect = 0x00200000;  // redirects are followed by hand

// One per export call.
struct FetchRequest {
  std::string url;
  uint8_t stripTags = 0;
  uint8_t saveToFile = 0;
  uint32_t accessType = 0;  // 0: the system's settings, proxy included
  uint32_t requestFlags = kFlagKeepConnection | kFlagNoAutoRedirect;
  const HovrelProgressTarget* progressWindow = nullptr;
  uint16_t transferId = 0;
};

// Results of FetchPage.
constexpr int kFetchOk = 0;
constexpr int kFetchFileFailed = -1;  // the output file could not be created or written
// 1 and 2: a failure already reported to the user.

// The save-mode block: one progress report per non-empty block read.
constexpr size_t kSaveBlockSize = 32768;

// Text mode (saveToFile 0): `buffer` receives at most `size` page bytes,
// converted and NUL-terminated within `size` + 1 bytes; it holds an empty
// text after a failure. Save mode: `buffer` is the Shift_JIS file path.
int FetchPage(FetchRequest& request, const char* url, int markupOption, int reloadOption,
              char* buffer, size_t size);

// Reads at most `capacity` - 2 bytes of `url` into `buffer` and normalises
// them (text within `capacity` bytes). 0 when at least one byte arrived, -1
// otherwise; `buffer` is left untouched when nothing arrived.
int FetchForAdjust(FetchRequest& request, const char* url, char* buffer, size_t capacity);

// The classification of a file error shown in the creation message:
// 0 none, 1 other, 2 not found, 3 bad path, 4 too many open files, 5 access
// denied, 8 directory full, 10 input/output error, 13 disk full.
int FileErrorCause(int errnoValue);

}  // namespace hovrel
