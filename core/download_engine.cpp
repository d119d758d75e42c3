#include "core/download_engine.h"

#include <type_traits>
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
  auto look = [this](auto& slot, const char* name, const char* message) {
    slot = engine_.Entry<std::remove_reference_t<decltype(slot)>>(name);
    if (!slot) ui_.ShowMessage(message, MessageIcon::Stop);
    return slot != nullptr;
  };
  if (!look(listLoad_, "ListLoad", "ListLoad 関数が見つかりません") ||
      !look(temporary_, "Temporary", "Temporary　関数が見つかりません") ||
      !look(dLoad_, "DLoad", "DownLoad　関数が見つかりません") ||
      !look(aLoad_, "ALoad", "AutoDownLoad 関数が見つかりません") ||
      !look(makePatrolList_, "MakePatrolList", "MakePatrolList 関数が見つかりません") ||
      !look(makeDownloadList_, "MakeDownloadList", "MakeDownloadList 関数が見つかりません"))
    return false;
  if (progress_ || message_) {
    if (auto setHost = engine_.Entry<DlSetHostFn>("DlSetHost"))
      setHost(progress_, message_, hostUser_);
  }
  return true;
}

bool DownloadEngine::IsBound(EngineEntry entry) const {
  switch (entry) {
    case EngineEntry::ListLoad:
      return listLoad_ != nullptr;
    case EngineEntry::Temporary:
      return temporary_ != nullptr;
    case EngineEntry::DLoad:
      return dLoad_ != nullptr;
    case EngineEntry::ALoad:
      return aLoad_ != nullptr;
    case EngineEntry::MakePatrolList:
      return makePatrolList_ != nullptr;
    case EngineEntry::MakeDownloadList:
      return makeDownloadList_ != nullptr;
  }
  return false;
}

bool DownloadEngine::BindEntry(EngineEntry entry) { return IsBound(entry) || Bind(); }

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
