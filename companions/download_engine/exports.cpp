// The engine's exported entries: each sets up the library once, builds an
// Engine for the call with the host's callbacks, reports what the call did
// through the result host and keeps every exception inside the library. The program calls them from a worker thread, one call at
// a time, and may set its callbacks from another thread: each call works with
// the callbacks that were set when it began.
#include <curl/curl.h>
#include <libxml/parser.h>

#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

#include "core/runtime/download_engine_api.h"
#include "companions/download_engine/engine.h"
#include "companions/download_engine/list_rules.h"
#include "platform/text_encoding.h"

namespace {

using mireva::dl::Engine;
using mireva::dl::EngineOptions;

struct HostCallbacks {
  DlProgressFn progress = nullptr;
  DlMessageFn message = nullptr;
  void* user = nullptr;
  DlCountFn count = nullptr;
  DlFileResultFn file = nullptr;
  DlCallResultFn call = nullptr;
  void* resultUser = nullptr;
  DlHostWaitFn wait = nullptr;
  void* waitUser = nullptr;
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
    callbacks = c;
  }

  HostCallbacks callbacks;

  bool Progress(const std::string& text, long long done, long long total) override {
    return callbacks.progress &&
           callbacks.progress(callbacks.user, text.c_str(), done, total) != 0;
  }
  void Message(const std::string& text) override {
    if (callbacks.message) callbacks.message(callbacks.user, text.c_str());
    else std::fprintf(stderr, "DownLoad: %s\n", mireva::SjisToUtf8(text).c_str());
  }
  void Counted(size_t done, size_t total) override {
    if (callbacks.count)
      callbacks.count(callbacks.resultUser, static_cast<long>(done), static_cast<long>(total));
  }
  void FileDone(const DlFileResult& result) override {
    if (callbacks.file) callbacks.file(callbacks.resultUser, &result);
  }
  void CallDone(const DlCallResult& result) override {
    if (callbacks.call) callbacks.call(callbacks.resultUser, &result);
  }
  void HostWait(const std::string& host, long long waitMs) override {
    if (callbacks.wait) callbacks.wait(callbacks.waitUser, host.c_str(), waitMs);
  }
};

// Hands the host what the call did; a call that threw ends as failed.
void ReportCall(ExportHost& host, const mireva::dl::CallSummary& s) {
  DlCallResult r;
  r.outcome = s.outcome;
  r.page = s.page;
  r.pageAddress = s.pageAddress.c_str();
  r.folder = s.folder.c_str();
  r.found = s.found;
  r.saved = s.saved;
  r.failed = s.failed;
  r.skipped = s.skipped;
  r.entries = s.entries;
  r.reason = s.reason.c_str();
  host.CallDone(r);
}

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
  mireva::dl::LoadEngineSettings(mireva::dl::RulesFilePath(), options.fetch);
  return options;
}

// Runs one entry on an Engine of its own and reports how it ended; nothing
// thrown inside leaves the library.
template <typename Fn>
auto Guarded(Fn fn, decltype(fn(std::declval<Engine&>())) onFailure)
    -> decltype(fn(std::declval<Engine&>())) {
  ExportHost host;
  try {
    InitOnce();
    Engine engine(host, Options());
    auto result = fn(engine);
    ReportCall(host, engine.Summary());
    return result;
  } catch (...) {
    mireva::dl::CallSummary failed;
    failed.outcome = DL_CALL_FAILED;
    failed.reason = "ダウンロードエンジンの内部エラー";
    try {
      ReportCall(host, failed);
    } catch (...) {
    }
    return onFailure;
  }
}

std::string Text(const char* s) { return s ? std::string(s) : std::string(); }

}  // namespace

extern "C" {

MIREVA_EXPORT void MIREVA_STDCALL ALoad(const char* page, const char* extension) {
  Guarded([&](Engine& e) { e.ALoad(Text(page), Text(extension)); return 0; }, 0);
}

MIREVA_EXPORT void MIREVA_STDCALL DLoad(const char* page, const char* kind) {
  Guarded([&](Engine& e) { e.DLoad(Text(page), Text(kind)); return 0; }, 0);
}

MIREVA_EXPORT void MIREVA_STDCALL ListLoad(const char* listFile, const char* collection) {
  Guarded([&](Engine& e) { e.ListLoad(Text(listFile), Text(collection)); return 0; }, 0);
}

MIREVA_EXPORT void MIREVA_STDCALL Temporary(const char* folder, const char* pattern,
                                            const char* mode) {
  Guarded([&](Engine& e) { e.Temporary(Text(folder), Text(pattern), Text(mode)); return 0; }, 0);
}

MIREVA_EXPORT void MIREVA_STDCALL MakePatrolList(const char* kind, const char* page) {
  Guarded([&](Engine& e) { e.MakePatrolList(Text(kind), Text(page)); return 0; }, 0);
}

MIREVA_EXPORT int MIREVA_STDCALL MakeDownloadList(const char* kind) {
  return Guarded([&](Engine& e) { return e.MakeDownloadList(Text(kind)); }, 0);
}

MIREVA_EXPORT void MIREVA_STDCALL DlLoadSelection(const char* page, const char* folder,
                                                  const char* items, const char* existing) {
  Guarded([&](Engine& e) {
    std::vector<mireva::dl::SelectedFile> files;
    const std::string text = Text(items);
    size_t begin = 0;
    while (begin < text.size()) {
      size_t end = text.find('\n', begin);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(begin, end - begin);
      begin = end + 1;
      const size_t tab = line.find('\t');
      if (tab == std::string::npos || tab == 0) continue;
      files.push_back({line.substr(0, tab), line.substr(tab + 1)});
    }
    const std::string how = Text(existing);
    e.LoadSelection(Text(page), Text(folder), files,
                    how == "skip"        ? mireva::dl::ExistingFile::Skip
                    : how == "overwrite" ? mireva::dl::ExistingFile::Overwrite
                                         : mireva::dl::ExistingFile::Rename);
    return 0;
  }, 0);
}

MIREVA_EXPORT void MIREVA_STDCALL DlSetHost(DlProgressFn progress, DlMessageFn message, void* user) {
  std::lock_guard<std::mutex> hold(CallbacksLock());
  HostCallbacks& c = SharedCallbacks();
  c.progress = progress;
  c.message = message;
  c.user = user;
}

MIREVA_EXPORT void MIREVA_STDCALL DlSetResultHost(DlCountFn count, DlFileResultFn file,
                                                  DlCallResultFn call, void* user) {
  std::lock_guard<std::mutex> hold(CallbacksLock());
  HostCallbacks& c = SharedCallbacks();
  c.count = count;
  c.file = file;
  c.call = call;
  c.resultUser = user;
}

MIREVA_EXPORT void MIREVA_STDCALL DlSetWaitHost(DlHostWaitFn wait, void* user) {
  std::lock_guard<std::mutex> hold(CallbacksLock());
  HostCallbacks& c = SharedCallbacks();
  c.wait = wait;
  c.waitUser = user;
}

}  // extern "C"
