#include "searchresults/wx/browser_path_dlg.h"

#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/sizer.h>
#include <wx/textctrl.h>

#include "platform/wx/wx_text.h"

namespace mireva {

CBrowserPathDlg::CBrowserPathDlg(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, ToWx("使用するブラウザ")) {
  SetFont(wxFont(wxFontInfo(11).Family(wxFONTFAMILY_SWISS).FaceName("Noto Sans CJK JP")));
  auto* row = new wxBoxSizer(wxHORIZONTAL);
  edit_ = new wxTextCtrl(this, kEditId, wxString(), wxDefaultPosition, wxSize(380, -1));
  row->Add(edit_, 1, wxALIGN_CENTER_VERTICAL | wxALL, 6);
  auto* browse = new wxButton(this, kBrowseId, ToWx("参照"));
  row->Add(browse, 0, wxALIGN_CENTER_VERTICAL | wxALL, 6);
  auto* ok = new wxButton(this, wxID_OK, "OK");
  row->Add(ok, 0, wxALIGN_CENTER_VERTICAL | wxALL, 6);
  ok->SetDefault();
  SetSizerAndFit(row);
  browse->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    try {
      OnBrowse();
    } catch (...) {
    }
  });
}

wxString CBrowserPathDlg::Line() const { return edit_->GetValue(); }

// Programs here carry no extension, so the file dialog starts in the usual
// folder of installed programs and shows every file.
void CBrowserPathDlg::OnBrowse() {
  wxFileDialog dlg(this, ToWx("使用するブラウザ"), "/usr/bin", wxString(),
                   "Web Program (*)|*", wxFD_OPEN);
  if (dlg.ShowModal() != wxID_OK) return;
  // The path in double quotes with one space inside them, as the program
  // line takes it: the quotes keep a path with spaces in one piece.
  edit_->SetValue("\"" + dlg.GetPath() + " \"");
}

}  // namespace mireva
