// libTavish2.so: the download file-type dialog behind "LoadTypeDlg". Shows the
// 21 types with a check box each, preset from "TollickApp.ini" of the current
// folder; OK writes every type as "on" or "off" and returns 1, cancel returns 0.
#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/init.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>

#include <string>
#include <vector>

#include "core/runtime/type_dialog_api.h"
#include "core/download_types.h"
#include "platform/wx/wx_text.h"

namespace {

using mireva::DownloadTypeFlags;
using mireva::ToWx;

class TypeDialog : public wxDialog {
 public:
  TypeDialog(wxWindow* parent, const DownloadTypeFlags& flags)
      : wxDialog(parent, wxID_ANY, ToWx("ダウンロードファイル")) {
    auto* grid = new wxGridSizer(3, 4, 16);
    const auto& table = mireva::DownloadTypeTable();
    for (size_t i = 0; i < table.size(); ++i) {
      boxes_.push_back(new wxCheckBox(
          this, wxID_ANY, wxString::Format("%s (.%s)", table[i].key, table[i].extension)));
      boxes_.back()->SetValue(flags[i]);
      grid->Add(boxes_.back());
    }
    auto* all = new wxButton(this, wxID_ANY, ToWx("すべて選択"));
    auto* none = new wxButton(this, wxID_ANY, ToWx("すべて解除"));
    all->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { SetAll(true); });
    none->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { SetAll(false); });
    auto* ok = new wxButton(this, wxID_OK, "OK");
    ok->SetDefault();
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(all, 0, wxALL, 3);
    row->Add(none, 0, wxALL, 3);
    row->AddStretchSpacer();
    row->Add(ok, 0, wxALL, 3);
    row->Add(new wxButton(this, wxID_CANCEL, ToWx("キャンセル")), 0, wxALL, 3);
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(grid, 1, wxALL, 12);
    top->Add(row, 0, wxEXPAND | wxALL, 8);
    SetSizerAndFit(top);
    CentreOnParent();
  }

  DownloadTypeFlags Flags() const {
    DownloadTypeFlags flags{};
    for (size_t i = 0; i < boxes_.size(); ++i) flags[i] = boxes_[i]->GetValue();
    return flags;
  }

 private:
  void SetAll(bool on) {
    for (wxCheckBox* b : boxes_) b->SetValue(on);
  }
  std::vector<wxCheckBox*> boxes_;
};

int RunDialog() {
  const std::string ini = mireva::kTypeSettingsFile;
  TypeDialog dialog(wxTheApp ? wxTheApp->GetTopWindow() : nullptr, mireva::ReadDownloadTypes(ini));
  if (dialog.ShowModal() != wxID_OK) return 0;
  if (!mireva::WriteDownloadTypes(ini, dialog.Flags())) {
    // Unsaved settings would not reach the program: report and count as cancelled.
    wxMessageBox(ToWx("TollickApp.ini が保存できませんでした。"), "Tavish2",
                 wxOK | wxICON_EXCLAMATION);
    return 0;
  }
  return 1;
}

}  // namespace

extern "C" MIREVA_EXPORT int MIREVA_STDCALL LoadTypeDlg(void) {
  try {
    // Inside the program wx runs already; a host without wx gets a wx
    // application for the time of the call.
    if (wxTheApp) return RunDialog();
    static char name[] = "Tavish2";
    static char* argv[] = {name, nullptr};
    int argc = 1;
    wxApp::SetInstance(new wxApp());
    if (!wxEntryStart(argc, argv)) return 0;
    int result = 0;
    if (wxTheApp->CallOnInit()) result = RunDialog();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
  } catch (...) {
    return 0;
  }
}
