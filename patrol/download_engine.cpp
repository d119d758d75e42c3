#include "patrol/download_engine.h"

#include <utility>

namespace mireva {

DownloadEngine::DownloadEngine(Interaction& ui, std::string libraryFolder)
    : ui_(ui), folder_(std::move(libraryFolder)) {}

bool DownloadEngine::Bind() {
  if (!engine_.IsOpen() && !engine_.Open("DownLoad", folder_)) {
    ui_.ShowMessage("DOWNLOAD.dll　が見つかりません", MessageIcon::Stop);
    return false;
  }
  // Looked up in this order; the first missing entry ends the attempt.
  struct Step {
    const char* name;
    void** slot;
    const char* message;
  };
  const Step steps[] = {
      {"ListLoad", reinterpret_cast<void**>(&listLoad_), "ListLoad 関数が見つかりません"},
      {"Temporary", reinterpret_cast<void**>(&temporary_), "Temporary　関数が見つかりません"},
      {"DLoad", reinterpret_cast<void**>(&dLoad_), "DownLoad　関数が見つかりません"},
      {"ALoad", reinterpret_cast<void**>(&aLoad_), "AutoDownLoad 関数が見つかりません"},
      {"MakePatrolList", reinterpret_cast<void**>(&makePatrolList_),
       "MakePatrolList 関数が見つかりません"},
      {"MakeDownloadList", reinterpret_cast<void**>(&makeDownloadList_),
       "MakeDownloadList 関数が見つかりません"},
  };
  for (const Step& s : steps) {
    *s.slot = engine_.Symbol(s.name);
    if (!*s.slot) {
      ui_.ShowMessage(s.message, MessageIcon::Stop);
      return false;
    }
  }
  if (progress_ || message_) {
    if (auto setHost = engine_.Entry<DlSetHostFn>("DlSetHost")) setHost(progress_, message_, hostUser_);
  }
  return true;
}

void DownloadEngine::SetHost(DlProgressFn progress, DlMessageFn message, void* user) {
  progress_ = progress;
  message_ = message;
  hostUser_ = user;
  if (engine_.IsOpen())
    if (auto setHost = engine_.Entry<DlSetHostFn>("DlSetHost")) setHost(progress, message, user);
}

bool DownloadEngine::ALoad(const std::string& page, const std::string& extension) {
  if (!aLoad_ && !Bind()) return false;
  aLoad_(page.c_str(), extension.c_str());
  return true;
}

bool DownloadEngine::DLoad(const std::string& page, const std::string& kind) {
  if (!dLoad_ && !Bind()) return false;
  dLoad_(page.c_str(), kind.c_str());
  return true;
}

bool DownloadEngine::ListLoad(const std::string& listFile, const std::string& collection) {
  if (!listLoad_ && !Bind()) return false;
  listLoad_(listFile.c_str(), collection.c_str());
  return true;
}

bool DownloadEngine::Temporary(const std::string& folder, const std::string& pattern,
                               const std::string& mode) {
  if (!temporary_ && !Bind()) return false;
  temporary_(folder.c_str(), pattern.c_str(), mode.c_str());
  return true;
}

bool DownloadEngine::MakePatrolList(const std::string& kind, const std::string& page) {
  if (!makePatrolList_ && !Bind()) return false;
  makePatrolList_(kind.c_str(), page.c_str());
  return true;
}

int DownloadEngine::MakeDownloadList(const std::string& kind) {
  if (!makeDownloadList_ && !Bind()) return -1;
  return makeDownloadList_(kind.c_str());
}

}  // namespace mireva
