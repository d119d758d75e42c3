// The engine's exported entries: each sets up the library once, builds an
// Engine for the call with the host's callbacks and keeps every exception
// inside the library. The program calls them from a worker thread, one call at
// a time, and may set its callbacks from another thread: each call works with
// the callbacks that were set when it began.
#include <curl/curl.h>
#include <libxml/parser.h>

#include <cstdio>
#include <mutex>
#include <utility>

#include "companions/download_engine/download_engine_api.h"
#include "companions/download_engine/engine.h"
#include "platform/text_encoding.h"

namespace {

using mireva::dl::Engine;
using mireva::dl::EngineOptions;

struct HostCallbacks {
  DlProgressFn progress = nullptr;
  DlMessageFn message = nullptr;
  void* user = nullptr;
};

std::mutex& CallbacksLock() {
  static std::mutex lock;
  return lock;
}
HostCallbacks& SharedCallbacks() {
  static HostCallbacks callbacks;
  return callbacks;
}

// The host's callbacks for one call; without a host, messages go to standard error.
class ExportHost : public mireva::dl::EngineHost {
 public:
  ExportHost() {
    std::lock_guard<std::mutex> hold(CallbacksLock());
    const HostCallbacks& c = SharedCallbacks();
    progress = c.progress;
    message = c.message;
    user = c.user;
  }

  DlProgressFn progress = nullptr;
  DlMessageFn message = nullptr;
  void* user = nullptr;

  bool Progress(const std::string& text, long long done, long long total) override {
    return progress && progress(user, text.c_str(), done, total) != 0;
  }
  void Message(const std::string& text) override {
    if (message) message(user, text.c_str());
    else std::fprintf(stderr, "DownLoad: %s\n", mireva::SjisToUtf8(text).c_str());
  }
};

// curl_global_init is not thread-safe in itself; call_once makes the first
// call, from whichever thread, the only one.
void InitOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    xmlInitParser();
  });
}

EngineOptions Options() {
  EngineOptions options;
  options.fetch.cookieFile = mireva::dl::DefaultCookieFile();
  return options;
}

template <typename Fn>
auto Guarded(Fn fn, decltype(fn(std::declval<ExportHost&>())) onFailure)
    -> decltype(fn(std::declval<ExportHost&>())) {
  try {
    InitOnce();
    ExportHost host;
    return fn(host);
  } catch (...) {
    return onFailure;
  }
}

std::string Text(const char* s) { return s ? std::string(s) : std::string(); }

}  // namespace

extern "C" {

MIREVA_EXPORT void MIREVA_STDCALL ALoad(const char* page, const char* extension) {
  Guarded([&](ExportHost& host) { Engine(host, Options()).ALoad(Text(page), Text(extension)); return 0; }, 0);
}

MIREVA_EXPORT void MIREVA_STDCALL DLoad(const char* page, const char* kind) {
  Guarded([&](ExportHost& host) { Engine(host, Options()).DLoad(Text(page), Text(kind)); return 0; }, 0);
}

MIREVA_EXPORT void MIREVA_STDCALL ListLoad(const char* listFile, const char* collection) {
  Guarded([&](ExportHost& host) { Engine(host, Options()).ListLoad(Text(listFile), Text(collection)); return 0; }, 0);
}

MIREVA_EXPORT void MIREVA_STDCALL Temporary(const char* folder, const char* pattern,
                                            const char* mode) {
  Guarded(
      [&](ExportHost& host) {
        Engine(host, Options()).Temporary(Text(folder), Text(pattern), Text(mode));
        return 0;
      },
      0);
}

MIREVA_EXPORT void MIREVA_STDCALL MakePatrolList(const char* kind, const char* page) {
  Guarded([&](ExportHost& host) { Engine(host, Options()).MakePatrolList(Text(kind), Text(page)); return 0; }, 0);
}

MIREVA_EXPORT int MIREVA_STDCALL MakeDownloadList(const char* kind) {
  return Guarded([&](ExportHost& host) { return Engine(host, Options()).MakeDownloadList(Text(kind)); }, 0);
}

MIREVA_EXPORT void MIREVA_STDCALL DlSetHost(DlProgressFn progress, DlMessageFn message, void* user) {
  std::lock_guard<std::mutex> hold(CallbacksLock());
  HostCallbacks& c = SharedCallbacks();
  c.progress = progress;
  c.message = message;
  c.user = user;
}

}  // extern "C"
