#include "platform/wx/wx_interaction.h"

#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/dialog.h>
#include <wx/button.h>

#include "platform/wx/wx_text.h"

namespace mireva {

wxString WildcardFromFilter(const std::string& filter) {
  std::string f = filter;
  while (!f.empty() && f.back() == '|') f.pop_back();
  return ToWx(f);
}

void WxInteraction::ShowMessage(const std::string& text, MessageIcon icon,
                                const std::string& caption) {
  long style = wxOK;
  switch (icon) {
    case MessageIcon::Stop: style |= wxICON_ERROR; break;
    case MessageIcon::Exclamation: style |= wxICON_EXCLAMATION; break;
    case MessageIcon::Information: style |= wxICON_INFORMATION; break;
    case MessageIcon::Question: style |= wxICON_QUESTION; break;
    case MessageIcon::None: style |= wxICON_NONE; break;
  }
  wxMessageDialog dlg(parent_, ToWx(text), ToWx(caption), style);
  dlg.ShowModal();
}

bool WxInteraction::AskYesNo(const std::string& text, const std::string& caption) {
  wxMessageDialog dlg(parent_, ToWx(text), ToWx(caption), wxYES_NO | wxICON_QUESTION);
  return dlg.ShowModal() == wxID_YES;
}

std::optional<std::string> WxInteraction::ChooseFileToOpen(const std::string& filter,
                                                           const std::string& defaultName) {
  wxFileDialog dlg(parent_, ToWx("ファイルを開く"), wxEmptyString, ToWx(defaultName),
                   WildcardFromFilter(filter), wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (dlg.ShowModal() != wxID_OK) return std::nullopt;
  return FromWx(dlg.GetPath());
}

std::optional<std::string> WxInteraction::ChooseFileToSave(const std::string& filter,
                                                           const std::string& defaultName,
                                                           const std::string& defaultExtension) {
  wxFileDialog dlg(parent_, ToWx("名前を付けて保存"), wxEmptyString, ToWx(defaultName),
                   WildcardFromFilter(filter), wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  if (dlg.ShowModal() != wxID_OK) return std::nullopt;
  wxString path = dlg.GetPath();
  if (!defaultExtension.empty() && path.AfterLast('/').Find('.') == wxNOT_FOUND)
    path += "." + ToWx(defaultExtension);
  return FromWx(path);
}

std::optional<Credentials> WxInteraction::AskPassword(const std::string& site,
                                                      const std::string& realm) {
  wxDialog dlg(parent_, wxID_ANY, ToWx("ネットワーク パスワードの入力"));
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(new wxStaticText(&dlg, wxID_ANY, ToWx("サイト: " + site)), 0, wxALL, 8);
  if (!realm.empty())
    sizer->Add(new wxStaticText(&dlg, wxID_ANY, ToWx("領域: " + realm)), 0, wxLEFT | wxRIGHT, 8);
  auto* grid = new wxFlexGridSizer(2, 6, 6);
  grid->Add(new wxStaticText(&dlg, wxID_ANY, ToWx("ユーザー名:")), 0, wxALIGN_CENTER_VERTICAL);
  auto* user = new wxTextCtrl(&dlg, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(220, -1));
  grid->Add(user, 1, wxEXPAND);
  grid->Add(new wxStaticText(&dlg, wxID_ANY, ToWx("パスワード:")), 0, wxALIGN_CENTER_VERTICAL);
  auto* pass = new wxTextCtrl(&dlg, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(220, -1),
                              wxTE_PASSWORD);
  grid->Add(pass, 1, wxEXPAND);
  sizer->Add(grid, 0, wxALL | wxEXPAND, 8);
  sizer->Add(dlg.CreateButtonSizer(wxOK | wxCANCEL), 0, wxALL | wxEXPAND, 8);
  dlg.SetSizerAndFit(sizer);
  user->SetFocus();
  if (dlg.ShowModal() != wxID_OK) return std::nullopt;
  return Credentials{FromWx(user->GetValue()), FromWx(pass->GetValue())};
}

}  // namespace mireva
