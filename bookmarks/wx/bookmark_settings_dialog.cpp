#include "bookmarks/wx/bookmark_settings_dialog.h"

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "platform/text_encoding.h"
#include "platform/wx/wx_text.h"

namespace mireva {
namespace {

enum class Pick { File, Folder };

struct Row {
  const char* label;
  std::string BookmarkSettings::*field;
  Pick pick;
};

constexpr Row kRows[] = {
    {"Netscape ブックマーク ファイル", &BookmarkSettings::netscapeFile, Pick::File},
    {"Firefox プロファイル", &BookmarkSettings::firefoxProfile, Pick::Folder},
    {"Chromium プロファイル", &BookmarkSettings::chromiumProfile, Pick::Folder},
    {"Opera ホットリスト", &BookmarkSettings::operaHotlist, Pick::File},
};

}  // namespace

bool ShowBookmarkSettingsDialog(wxWindow* parent, BookmarkSettings& settings) {
  wxDialog dlg(parent, wxID_ANY, ToWx("ブックマークの設定"), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER);
  auto* top = new wxBoxSizer(wxVERTICAL);
  top->Add(new wxStaticText(&dlg, wxID_ANY,
                            ToWx("oブックマーク のメニューを作るもの。メニューは起動のたびに作られます。\n"
                                 "Netscape の欄は、ファイル、Firefox、Chromium のうち最初に指定したものから作られます。")),
           0, wxALL, 10);
  auto* grid = new wxFlexGridSizer(3, 6, 6);
  grid->AddGrowableCol(1, 1);
  std::vector<wxTextCtrl*> fields;
  for (const Row& row : kRows) {
    grid->Add(new wxStaticText(&dlg, wxID_ANY, ToWx(row.label)), 0, wxALIGN_CENTER_VERTICAL);
    auto* field = new wxTextCtrl(&dlg, wxID_ANY, wxString::FromUTF8(settings.*row.field),
                                 wxDefaultPosition, wxSize(420, -1));
    field->SetName(ToWx(row.label));
    grid->Add(field, 1, wxEXPAND);
    auto* browse = new wxButton(&dlg, wxID_ANY, ToWx("参照..."));
    grid->Add(browse, 0);
    const Pick pick = row.pick;
    browse->Bind(wxEVT_BUTTON, [&dlg, field, pick](wxCommandEvent&) {
      wxString chosen;
      if (pick == Pick::Folder) {
        wxDirDialog d(&dlg, ToWx("プロファイルのフォルダ"), field->GetValue());
        if (d.ShowModal() == wxID_OK) chosen = d.GetPath();
      } else {
        wxFileDialog d(&dlg, ToWx("ブックマークのファイル"), wxEmptyString, field->GetValue());
        if (d.ShowModal() == wxID_OK) chosen = d.GetPath();
      }
      if (!chosen.empty()) field->ChangeValue(chosen);
    });
    fields.push_back(field);
  }
  top->Add(grid, 1, wxEXPAND | wxLEFT | wxRIGHT, 10);
  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  buttons->AddStretchSpacer();
  buttons->Add(new wxButton(&dlg, wxID_OK, "OK"), 0, wxRIGHT, 6);
  buttons->Add(new wxButton(&dlg, wxID_CANCEL, ToWx("キャンセル")), 0);
  top->Add(buttons, 0, wxEXPAND | wxALL, 10);
  dlg.SetSizerAndFit(top);
  if (dlg.ShowModal() != wxID_OK) return false;
  for (size_t i = 0; i < fields.size(); ++i) {
    wxString value = fields[i]->GetValue();
    value.Trim().Trim(false);
    settings.*kRows[i].field = std::string(value.utf8_str());
  }
  return true;
}

}  // namespace mireva
