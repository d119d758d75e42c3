#pragma once
// The state and behaviour of the results dialog without its window: which
// engine's list is on show, the selection, the description and hit-count
// texts, the home page and logo of the last engine that has one, the marks of
// the engines whose pages have arrived, and the browser choice. The wx dialog
// (searchresults/wx/result_list_dlg.h) draws this state and forwards clicks.
// Texts are Shift_JIS except the user's browser line, which is host text.
#include <array>
#include <string>

#include "searchresults/browser_launch.h"
#include "searchresults/engine_results.h"

namespace mireva {

enum class SaveOutcome { Written, NoFileName, Failed };

class ResultListModel {
 public:
  static constexpr size_t kMaxUserBrowserBytes = 127;

  // `store` outlives the model; `dialogEngine` is the engine of the first page.
  ResultListModel(const EngineResultStore& store, int dialogEngine);

  // Copies engine k's list into the working copy, selects its first entry and
  // sets the description and hit count; engines 0 to 11 also set the home
  // page and logo, the others keep those of the engine shown before.
  void ShowEngine(int engine);
  // A page for engine k has arrived: show it and mark its row.
  void Refresh(int engine);
  // The list's selection changed.
  void Select(int index);

  void SetBrowserChoice(BrowserChoice choice) { browserChoice_ = choice; }
  // The browser-path dialog ended with OK: the line becomes the user's browser
  // and the choice becomes User. A line whose Shift_JIS form is longer than
  // 127 bytes is refused (a cut path names another program): false, and
  // nothing changes, as after a cancel.
  bool SetUserBrowser(const std::string& hostLine);

  // Writes the list on show as the results page named after the engine on
  // show, in the current folder.
  SaveOutcome SaveResultsPage() const;
  // GO: opens the selected link in the chosen browser; nothing for an empty list.
  bool OpenSelected(Launcher& launcher, const std::string& programFolder);
  // The logo: opens the home page with the desktop's handler, whatever the choice.
  bool OpenHome(Launcher& launcher) const;

  const EngineResults& OnShow() const { return onShow_; }
  int EngineOnShow() const { return engineOnShow_; }
  int DialogEngine() const { return dialogEngine_; }
  int Selection() const { return selection_; }
  int ShownCount() const { return shownCount_; }
  const std::string& Description() const { return description_; }
  const std::string& HitText() const { return hitText_; }
  const std::string& HomeAddressText() const { return homeAddress_; }
  int LogoEngine() const { return logoEngine_; }  // -1 before any engine with a logo
  bool Marked(int engine) const;
  BrowserChoice Choice() const { return browserChoice_; }
  const std::string& UserBrowserPath() const { return userBrowserPath_; }

 private:
  const EngineResultStore& store_;
  int dialogEngine_;
  int engineOnShow_;
  EngineResults onShow_;
  int selection_ = 0;
  int shownCount_ = 0;
  std::string description_;
  std::string hitText_;
  std::string homeAddress_;
  int logoEngine_ = -1;
  std::array<bool, kEngineSlots> marks_{};
  BrowserChoice browserChoice_ = BrowserChoice::System;
  std::string userBrowserPath_;
};

// "一致するデータがありませんでした。", the description of an empty list.
extern const char* const kNoDataDescription;

}  // namespace mireva
