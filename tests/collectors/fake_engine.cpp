// A stand-in download engine for the collector tests, built as libDownLoad.so
// in a folder of its own. Every call is appended to the file named by
// MIREVA_FAKE_ENGINE_LOG as one tab-separated line. MakeDownloadList returns
// MIREVA_FAKE_ENGINE_RESULT (default 1). ListLoad "downloads" every listed
// server path by copying MIREVA_FAKE_ENGINE_SOURCE/<last path segment> (or, when
// that is missing, the file MIREVA_FAKE_ENGINE_SOURCE/any.gif) into
// DownLoad/<collection>/<last path segment>.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "core/runtime/download_engine_api.h"

namespace {

void Log(const std::string& line) {
  const char* path = std::getenv("MIREVA_FAKE_ENGINE_LOG");
  if (!path) return;
  std::ofstream(path, std::ios::app) << line << "\n";
}

bool Copy(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  if (!in) return false;
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out << in.rdbuf();
  return true;
}

}  // namespace

extern "C" {

MIREVA_EXPORT void MIREVA_STDCALL ALoad(const char* page, const char* extension) {
  Log(std::string("ALoad\t") + page + "\t" + extension);
}
MIREVA_EXPORT void MIREVA_STDCALL DLoad(const char* page, const char* kind) {
  Log(std::string("DLoad\t") + page + "\t" + kind);
}
MIREVA_EXPORT void MIREVA_STDCALL ListLoad(const char* listFile, const char* collection) {
  Log(std::string("ListLoad\t") + listFile + "\t" + collection);
  const char* source = std::getenv("MIREVA_FAKE_ENGINE_SOURCE");
  if (!source) return;
  std::ifstream list(listFile, std::ios::binary);
  std::string line;
  while (std::getline(list, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("/img/", 0) != 0) continue;
    std::string name = line.substr(line.rfind('/') + 1);
    std::string target = std::string("DownLoad/") + collection + "/" + name;
    if (!Copy(std::string(source) + "/" + name, target))
      Copy(std::string(source) + "/any.gif", target);
  }
}
MIREVA_EXPORT void MIREVA_STDCALL Temporary(const char* folder, const char* pattern,
                                            const char* mode) {
  Log(std::string("Temporary\t") + folder + "\t" + pattern + "\t" + mode);
}
MIREVA_EXPORT void MIREVA_STDCALL MakePatrolList(const char* kind, const char* page) {
  Log(std::string("MakePatrolList\t") + kind + "\t" + page);
}
MIREVA_EXPORT int MIREVA_STDCALL MakeDownloadList(const char* kind) {
  Log(std::string("MakeDownloadList\t") + kind);
  const char* r = std::getenv("MIREVA_FAKE_ENGINE_RESULT");
  return r ? std::atoi(r) : 1;
}
MIREVA_EXPORT void MIREVA_STDCALL DlSetHost(DlProgressFn, DlMessageFn, void*) {}
MIREVA_EXPORT void MIREVA_STDCALL DlSetResultHost(DlCountFn, DlFileResultFn, DlCallResultFn, void*) {}

}  // extern "C"
