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

#include "core/runtime/hovrel_api.h"

namespace mireva::hovrel {

// Request flags of a FetchRequest.
constexpr uint32_t kFlagReload = 0x80000000;          // never answer from a cache
constexpr uint32_t kFlagKeepConnection = 0x20000000;  // reuse a connection within the call
constexpr uint32_t kFlagNoAutoRedirect = 0x00200000;  // redirects are followed by hand

// Bounds on what one server can make a fetch wait for or write. A server that
// trickles a byte now and then never stalls; the deadlines bound how long it
// can hold the caller, whose window waits for the call.
struct FetchLimits {
  long stallSeconds = 60;  // less than a byte a second for this long ends it
  // Whole time of one exchange in text mode and of the tag adjustment's read.
  long textDeadlineMs = 120000;
  // Whole time of one exchange of a save. Half an hour still lets a file at
  // the size limit arrive at about 2.4 MB/s.
  long saveDeadlineMs = 30L * 60 * 1000;
  long long saveBytes = 1LL << 32;  // the longest body a save keeps
};

// One per export call.
struct FetchRequest {
  std::string url;
  uint8_t stripTags = 0;
  uint8_t saveToFile = 0;
  uint32_t accessType = 0;  // 0: the system's settings, proxy included
  uint32_t requestFlags = kFlagKeepConnection | kFlagNoAutoRedirect;
  const HovrelProgressTarget* progressWindow = nullptr;
  uint16_t transferId = 0;
  FetchLimits limits;
  // Set by a text-mode fetch that read `size` page bytes: the page may go on.
  bool textFull = false;
  // The Content-Type of the page as the server sent it (set by FetchPage);
  // its charset is the page's encoding before anything the page says.
  std::string contentType;
};

// What FetchPage came to. Every outcome but Completed has been reported to
// the user through the host's message callback.
enum class FetchResult {
  Completed,   // the page is in the text area, or saved in the file
  FileFailed,  // the output file could not be created or written
  Refused,     // the address is not a web address, or the password prompt was cancelled
  Failed,      // the network, the server or its redirect failed, or the body was too long
};

// Text mode (saveToFile 0): `buffer` receives at most `size` page bytes,
// converted and NUL-terminated within `size` + 1 bytes; it holds an empty
// text after a failure. `request.textFull` says whether `size` bytes were read. Save mode: `buffer` is the Shift_JIS file path.
FetchResult FetchPage(FetchRequest& request, const char* url, int markupOption, int reloadOption,
                      char* buffer, size_t size);

enum class AdjustRead { TextRead, NothingRead };

// Reads at most `capacity` - 2 bytes of `url` into `buffer` and normalises
// them (text within `capacity` bytes). TextRead when at least one byte
// arrived; `buffer` is left untouched when nothing arrived.
AdjustRead FetchForAdjust(FetchRequest& request, const char* url, char* buffer, size_t capacity);

}  // namespace mireva::hovrel
