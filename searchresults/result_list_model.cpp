#include "searchresults/result_list_model.h"

#include <cstdio>
#include <string>
#include <utility>

#include "platform/text_encoding.h"
#include "searchresults/engine_table.h"
#include "searchresults/results_page.h"

namespace mireva {

const char* const kNoDataDescription = "一致するデータがありませんでした。";

ResultListModel::ResultListModel(const EngineResultStore& store, int dialogEngine)
    : store_(store), dialogEngine_(dialogEngine), engineOnShow_(dialogEngine) {}

void ResultListModel::ShowEngine(int engine) {
  engineOnShow_ = engine;
  onShow_ = store_.Slot(engine);
  if (onShow_.count < 1) {
    description_ = kNoDataDescription;
  } else {
    description_ = onShow_.entries[0].text;
  }
  if (onShow_.hits >= 1) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d 件", static_cast<int>(onShow_.hits));
    hitText_ = buf;
  } else {
    hitText_ = " ";
  }
  selection_ = 0;
  shownCount_ = onShow_.count < 0 ? 0 : onShow_.count;
  // Only engines with a home page (0 to 11) change the logo and address.
  if (std::string home = HomeAddress(engine); !home.empty()) {
    homeAddress_ = std::move(home);
    logoEngine_ = engine;
  }
}

void ResultListModel::Refresh(int engine) {
  ShowEngine(engine);
  if (EngineResultStore::HasSlot(engine)) marks_[static_cast<size_t>(engine)] = true;
}

void ResultListModel::Select(int index) {
  if (index < 0 || index >= shownCount_) return;
  selection_ = index;
  description_ = onShow_.entries[static_cast<size_t>(index)].text;
}

bool ResultListModel::Marked(int engine) const {
  return EngineResultStore::HasSlot(engine) && marks_[static_cast<size_t>(engine)];
}

bool ResultListModel::SetUserBrowser(const std::string& hostLine) {
  if (Utf8ToSjis(hostLine).size() > kMaxUserBrowserBytes) return false;
  userBrowserPath_ = hostLine;
  browserChoice_ = BrowserChoice::User;
  return true;
}

// The file is named after the engine on show rather than the engine of the
// first page, so that the name always says whose list the page holds.
SaveOutcome ResultListModel::SaveResultsPage() const {
  std::string name = ResultsFileName(engineOnShow_);
  if (name.empty()) return SaveOutcome::NoFileName;
  return WriteResultsPage(onShow_, name) ? SaveOutcome::Written : SaveOutcome::Failed;
}

bool ResultListModel::OpenSelected(Launcher& launcher, const std::string& programFolder) {
  if (selection_ < 0 || selection_ >= shownCount_) return false;
  const ResultEntry& entry = onShow_.entries[static_cast<size_t>(selection_)];
  description_ = entry.text;
  // The address goes whole as one argument; its length needs no limit here.
  return LaunchLink(launcher, browserChoice_, userBrowserPath_, programFolder, entry.url);
}

bool ResultListModel::OpenHome(Launcher& launcher) const {
  if (homeAddress_.empty()) return false;
  return launcher.OpenWithDesktop(SjisToUtf8(homeAddress_));
}

}  // namespace mireva
