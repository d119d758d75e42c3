#pragma once
// The browser-path dialog "使用するブラウザ": an edit control (511) for the
// program line of the user's browser and a "参照" button (512) that fills it
// from a file dialog with the chosen path quoted.
#include <wx/dialog.h>

class wxTextCtrl;

namespace mireva {

class CBrowserPathDlg : public wxDialog {
 public:
  static constexpr int kEditId = 511;
  static constexpr int kBrowseId = 512;

  explicit CBrowserPathDlg(wxWindow* parent);
  // The edit text after OK (host text).
  wxString Line() const;

 private:
  void OnBrowse();
  wxTextCtrl* edit_ = nullptr;
};

}  // namespace mireva
