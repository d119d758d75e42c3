// The engine's exported entries: each sets up the library once, builds an
// Engine for the call with the host's callbacks and keeps every exception
// inside the library.
#include <curl/curl.h>
#include <libxml/parser.h>

#include <cstdio>
#include <mutex>

#include "companions/download_engine/download_engine_api.h"
#include "companions/download_engine/engine.h"
#include "platform/text_encoding.h"

namespace {

using mireva::dl::Engine;
using mireva::dl::EngineOptions;

// The host's callbacks; without a host, messages go to standard error.
class ExportHost : public mireva::dl::EngineHost {
 public:
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

ExportHost& Host() {
  static ExportHost host;
  return host;
}

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
auto Guarded(Fn fn, decltype(fn()) onFailure) -> decltype(fn()) {
  try {
    InitOnce();
    return fn();
  } catch (...) {
    return onFailure;
  }
}

std::string Text(const char* s) { return s ? std::string(s) : std::string(); }

}  // namespace

extern "C" {

MIREVA_EXPORT void MIREVA_STDCALL ALoad(const char* page, const char* extension) {
  Guarded([&] { Engine(Host(), Options()).ALoad(Text(page), Text(extension)); return 0; }, 0);
}

MIREVA_EXPORT void MIREVA_STDCALL DLoad(const char* page, const char* kind) {
  Guarded([&] { Engine(Host(), Options()).DLoad(Text(page), Text(kind)); return 0; }, 0);
}

MIREVA_EXPORT void MIREVA_STDCALL ListLoad(const char* listFile, const char* collection) {
  Guarded([&] { Engine(Host(), Options()).ListLoad(Text(listFile), Text(collection)); return 0; }, 0);
}

MIREVA_EXPORT void MIREVA_STDCALL Temporary(const char* folder, const char* pattern,
                                            const char* mode) {
  Guarded(
      [&] {
        Engine(Host(), Options()).Temporary(Text(folder), Text(pattern), Text(mode));
        return 0;
      },
      0);
}

MIREVA_EXPORT void MIREVA_STDCALL MakePatrolList(const char* kind, const char* page) {
  Guarded([&] { Engine(Host(), Options()).MakePatrolList(Text(kind), Text(page)); return 0; }, 0);
}

MIREVA_EXPORT int MIREVA_STDCALL MakeDownloadList(const char* kind) {
  return Guarded([&] { return Engine(Host(), Options()).MakeDownloadList(Text(kind)); }, 0);
}

MIREVA_EXPORT void MIREVA_STDCALL DlSetHost(DlProgressFn progress, DlMessageFn message, void* user) {
  ExportHost& host = Host();
  host.progress = progress;
  host.message = message;
  host.user = user;
}

}  // extern "C"
