#pragma once
// The modeless results dialog "検索結果": the list of links of the engine on
// show (501), its description (500), hit count (507), the logo (504) and home
// address (502) of the last engine with a home page, the engine radios
// (600-617) with their marks (630-648), the browser choice (508-510) and the
// buttons save (505), GO (503) and close (2). Closing hides the dialog; the
// object and its state stay for later pages. The logic is ResultListModel.
#include <functional>
#include <string>

#include <wx/dialog.h>

#include "searchresults/engine_results.h"
#include "searchresults/result_list_model.h"

class wxBitmapButton;
class wxListBox;
class wxStaticText;
class wxTextCtrl;

namespace mireva {

class Launcher;

class CResultListDlg : public wxDialog {
 public:
  enum : int {
    kDescriptionId = 500, kListId = 501, kHomeAddressId = 502, kGoId = 503, kLogoId = 504,
    kSaveId = 505, kHitCountId = 507, kSystemBrowserId = 508, kOriginalBrowserId = 509,
    kUserBrowserId = 510, kCloseId = 2,
  };

  // `store` and `launcher` outlive the dialog. `programFolder` holds mireva.
  // `onDestroy` runs when the window is deleted (by its owner or by wx at exit).
  CResultListDlg(const EngineResultStore& store, int engine, Launcher& launcher,
                 std::string programFolder, std::function<void()> onDestroy);
  ~CResultListDlg() override;

  // A page for `engine` has arrived: show its list and mark its row.
  void RefreshFor(int engine);

  // The results dialog never keeps a host application running.
  bool ShouldPreventAppExit() const override { return false; }

  const ResultListModel& Model() const { return model_; }

 private:
  void BuildControls();
  void ShowEngine(int engine);
  void ShowModelState();
  void OnSelect();
  void OnGo();
  void OnSave();
  void OnLogo();
  void OnUserBrowser();
  void Guard(const std::function<void()>& action);

  ResultListModel model_;
  Launcher& launcher_;
  std::string programFolder_;
  std::function<void()> onDestroy_;
  wxListBox* list_ = nullptr;
  wxTextCtrl* description_ = nullptr;
  wxStaticText* homeAddress_ = nullptr;
  wxStaticText* hitCount_ = nullptr;
  wxBitmapButton* logo_ = nullptr;
  int logoShown_ = -2;
};

}  // namespace mireva
