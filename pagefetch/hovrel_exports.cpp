// The library's exports. Each builds its own FetchRequest, runs the fetch and
// turns the outcome into 1 or 0; nothing thrown inside gets past them.
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "pagefetch/fetch.h"
#include "pagefetch/host.h"
#include "core/runtime/hovrel_api.h"
#include "pagefetch/save_file.h"
#include "pagefetch/tag_adjust.h"

namespace {

namespace hovrel = mireva::hovrel;

constexpr int kPauseAfterCall = 100;  // ms, at the end of every successful call

int HovrelCall(const char* url, int markupOption, int reloadOption, char mode, char* dst,
               unsigned size) {
  if (!url || !dst) return 0;
  // The working area: size + 2 bytes, in both modes.
  const size_t area = static_cast<size_t>(size) + 2;
  std::vector<char> work(area, '\0');
  hovrel::FetchRequest request;
  request.progressWindow = nullptr;
  if (mode == 'D' || mode == 'd') {
    size_t length = strnlen(dst, area);
    if (length >= area) {
      // The path does not fit the working area: refused, nothing created.
      hovrel::ShowMessage(hovrel::FileFailureMessage(hovrel::FileStep::Create, ENAMETOOLONG,
                                                     std::string(dst, area - 1)));
      return 0;
    }
    std::memcpy(work.data(), dst, length + 1);
    request.saveToFile = 1;
  } else {
    request.saveToFile = 0;
  }
  hovrel::FetchResult result =
      hovrel::FetchPage(request, url, markupOption, reloadOption, work.data(), size);
  // Only a file failure is told to the caller; every other failure has been
  // shown to the user already.
  if (result == hovrel::FetchResult::FileFailed) return 0;
  if (!request.saveToFile) {
    // At most size + 1 bytes: the converter stops there.
    std::memcpy(dst, work.data(), std::strlen(work.data()) + 1);
  }
  hovrel::Pause(kPauseAfterCall);
  return request.textFull ? HOVREL_TEXT_FULL : 1;
}

}  // namespace

extern "C" {

MIREVA_EXPORT int MIREVA_STDCALL Hovrel(const char* url, int markupOption, int reloadOption,
                                        char mode, char* dst, unsigned size) {
  try {
    return HovrelCall(url, markupOption, reloadOption, mode, dst, size);
  } catch (...) {
    return 0;
  }
}

MIREVA_EXPORT int MIREVA_STDCALL htmTagadjust(char* url, char* dst, unsigned size) {
  if (!url || !dst) return 0;
  try {
    hovrel::FetchRequest request;
    return hovrel::AdjustTags(request, url, dst, size);
  } catch (...) {
    return 0;
  }
}

MIREVA_EXPORT int MIREVA_STDCALL loadFile(const char* url, const char* path,
                                          const HovrelProgressTarget* progress,
                                          unsigned short transferId) {
  if (!url || !path) return 0;
  try {
    hovrel::FetchRequest request;
    request.progressWindow = progress;
    request.transferId = transferId;
    request.saveToFile = 1;
    hovrel::FetchResult result =
        hovrel::FetchPage(request, url, ' ', ' ', const_cast<char*>(path), 128);
    if (result == hovrel::FetchResult::FileFailed) return 0;
    hovrel::Pause(kPauseAfterCall);
    return 1;
  } catch (...) {
    return 0;
  }
}

MIREVA_EXPORT void MIREVA_STDCALL HovrelSetHost(HovrelMessageFn message, HovrelPasswordFn password,
                                                void* user) {
  hovrel::SetHost(message, password, user);
}

}  // extern "C"
