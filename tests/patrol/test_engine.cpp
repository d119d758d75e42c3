// A download engine for tests: records every call as a line
// "<entry>\t<arg1>\t<arg2>" in the file named by $MIREVA_TEST_ENGINE_LOG.
// Built several times, each copy leaving out the entry named by
// TEST_ENGINE_OMIT_<entry>, to exercise the binding's order and messages.
// ALoad reports progress through the host's callback, as a real engine would
// while it works, so tests can raise page events in the middle of a call, and
// its results as values: two files found, "<page>#1.jpg" saved as
// "DownLoad/h/1.jpg", "<page>#2.jpg" failed with HTTP 404.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/runtime/download_engine_api.h"

namespace {

DlProgressFn gProgress = nullptr;
void* gUser = nullptr;
DlFileResultFn gFile = nullptr;
DlCallResultFn gCall = nullptr;
void* gResultUser = nullptr;

[[maybe_unused]] void ReportCall(int outcome, int page, long saved, long failed) {
  if (!gCall) return;
  DlCallResult r{};
  r.outcome = outcome;
  r.page = page;
  r.pageAddress = "";
  r.folder = "DownLoad/h";
  r.found = saved + failed;
  r.saved = saved;
  r.failed = failed;
  r.reason = "";
  gCall(gResultUser, &r);
}

[[maybe_unused]] void ReportFile(int outcome, const std::string& address, const char* saved, long status) {
  if (!gFile) return;
  DlFileResult r{};
  r.outcome = outcome;
  r.address = address.c_str();
  r.finalAddress = address.c_str();
  r.savedPath = saved;
  r.size = outcome == DL_FILE_SAVED ? 6 : 0;
  r.status = status;
  r.reason = outcome == DL_FILE_SAVED ? "" : "HTTP 404";
  gFile(gResultUser, &r);
}

void Record(const char* entry, const char* a, const char* b) {
  const char* path = std::getenv("MIREVA_TEST_ENGINE_LOG");
  if (!path) return;
  if (FILE* f = std::fopen(path, "ab")) {
    std::fprintf(f, "%s\t%s\t%s\n", entry, a ? a : "", b ? b : "");
    std::fclose(f);
  }
}

}  // namespace

extern "C" {

#ifndef TEST_ENGINE_OMIT_ALoad
MIREVA_EXPORT void MIREVA_STDCALL ALoad(const char* page, const char* extension) {
  Record("ALoad", page, extension);
  const std::string address = page ? page : "";
  if (gProgress && (gProgress(gUser, page, 0, -1) || gProgress(gUser, "ダウンロード中 1/2", 4096, -1))) {
    gProgress(gUser, "ダウンロードを中止しました", 0, -1);
    ReportCall(DL_CALL_CANCELLED, DL_PAGE_FETCHED, 0, 0);
    return;
  }
  ReportFile(DL_FILE_SAVED, address + "#1.jpg", "DownLoad/h/1.jpg", 200);
  ReportFile(DL_FILE_FAILED, address + "#2.jpg", "", 404);
  if (gProgress) gProgress(gUser, "ダウンロード終了 1", 0, -1);
  ReportCall(DL_CALL_DONE, DL_PAGE_FETCHED, 1, 1);
}
#endif
#ifndef TEST_ENGINE_OMIT_DLoad
MIREVA_EXPORT void MIREVA_STDCALL DLoad(const char* page, const char* kind) {
  Record("DLoad", page, kind);
}
#endif
#ifndef TEST_ENGINE_OMIT_ListLoad
MIREVA_EXPORT void MIREVA_STDCALL ListLoad(const char* list, const char* coll) {
  Record("ListLoad", list, coll);
}
#endif
#ifndef TEST_ENGINE_OMIT_Temporary
MIREVA_EXPORT void MIREVA_STDCALL Temporary(const char* folder, const char* pattern,
                                            const char* mode) {
  Record("Temporary", folder, pattern);
  Record("TemporaryMode", mode, "");
}
#endif
#ifndef TEST_ENGINE_OMIT_MakePatrolList
MIREVA_EXPORT void MIREVA_STDCALL MakePatrolList(const char* kind, const char* page) {
  Record("MakePatrolList", kind, page);
}
#endif
#ifndef TEST_ENGINE_OMIT_MakeDownloadList
MIREVA_EXPORT int MIREVA_STDCALL MakeDownloadList(const char* kind) {
  Record("MakeDownloadList", kind, "");
  return 7;
}
#endif
MIREVA_EXPORT void MIREVA_STDCALL DlSetHost(DlProgressFn progress, DlMessageFn, void* user) {
  gProgress = progress;
  gUser = user;
}
MIREVA_EXPORT void MIREVA_STDCALL DlSetResultHost(DlCountFn, DlFileResultFn file, DlCallResultFn call,
                                                  void* user) {
  gFile = file;
  gCall = call;
  gResultUser = user;
}

}  // extern "C"
