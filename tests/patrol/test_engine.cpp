// A download engine for tests: records every call as a line
// "<entry>\t<arg1>\t<arg2>" in the file named by $MIREVA_TEST_ENGINE_LOG.
// Built several times, each copy leaving out the entry named by
// TEST_ENGINE_OMIT_<entry>, to exercise the binding's order and messages.
// ALoad reports progress through the host's callback, as a real engine would
// while it works, so tests can raise page events in the middle of a call.
#include <cstdio>
#include <cstdlib>

#include "companions/download_engine/download_engine_api.h"

namespace {

DlProgressFn gProgress = nullptr;
void* gUser = nullptr;

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
  if (!gProgress) return;
  // Two files found, one saved: the words a real engine uses.
  if (gProgress(gUser, page, 0, -1) || gProgress(gUser, "ダウンロード中 1/2", 4096, -1)) {
    gProgress(gUser, "ダウンロードを中止しました", 0, -1);
    return;
  }
  gProgress(gUser, "ダウンロード終了 1", 0, -1);
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

}  // extern "C"
