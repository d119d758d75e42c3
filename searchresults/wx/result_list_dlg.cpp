#include "searchresults/wx/result_list_dlg.h"

#include <wx/bmpbuttn.h>
#include <wx/fontenum.h>
#include <wx/listbox.h>
#include <wx/msgdlg.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "platform/wx/wx_text.h"
#include "searchresults/engine_table.h"
#include "searchresults/wx/browser_path_dlg.h"
#include "searchresults/wx/text_faces.h"

namespace mireva {
namespace {

// The dialog's face: a Japanese serif at 10 points, when one is installed.
wxFont DialogFont() {
  for (const char* face : {"Noto Serif CJK JP", "IPAPMincho", "Noto Sans CJK JP"}) {
    if (wxFontEnumerator::IsValidFacename(face))
      return wxFont(wxFontInfo(10).FaceName(face));
  }
  return wxFont(wxFontInfo(10).Family(wxFONTFAMILY_ROMAN));
}

}  // namespace

CResultListDlg::CResultListDlg(const EngineResultStore& store, int engine, Launcher& launcher,
                               std::string programFolder, std::function<void()> onDestroy)
    : wxDialog(nullptr, wxID_ANY, ToWx("検索結果"), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxMINIMIZE_BOX),
      model_(store, engine),
      launcher_(launcher),
      programFolder_(std::move(programFolder)),
      onDestroy_(std::move(onDestroy)) {
  SetFont(DialogFont());
  BuildControls();
  // Radio 508 is checked and every text is empty until the first refresh.
  RefreshFor(engine);
}

CResultListDlg::~CResultListDlg() {
  if (onDestroy_) onDestroy_();
}

void CResultListDlg::BuildControls() {
  auto* main = new wxBoxSizer(wxHORIZONTAL);
  auto* left = new wxBoxSizer(wxVERTICAL);

  auto* top = new wxBoxSizer(wxHORIZONTAL);
  logo_ = new wxBitmapButton(this, kLogoId, EngineLogoFace(-1));
  top->Add(logo_, 0, wxALL, 4);
  auto* topText = new wxBoxSizer(wxVERTICAL);
  homeAddress_ = new wxStaticText(this, kHomeAddressId, wxString());
  topText->Add(homeAddress_, 0, wxBOTTOM, 6);
  auto* hitsRow = new wxBoxSizer(wxHORIZONTAL);
  hitsRow->Add(new wxStaticText(this, wxID_ANY, ToWx("検索結果")), 0, wxRIGHT, 12);
  hitCount_ = new wxStaticText(this, kHitCountId, wxString(), wxDefaultPosition,
                               wxSize(140, -1), wxST_NO_AUTORESIZE);
  hitsRow->Add(hitCount_, 0);
  topText->Add(hitsRow, 0);
  top->Add(topText, 1, wxALIGN_CENTER_VERTICAL | wxLEFT, 8);
  left->Add(top, 0, wxEXPAND);

  list_ = new wxListBox(this, kListId, wxDefaultPosition, wxSize(460, 220), 0, nullptr,
                        wxLB_SINGLE | wxLB_ALWAYS_SB);
  left->Add(list_, 1, wxEXPAND | wxALL, 4);
  description_ = new wxTextCtrl(this, kDescriptionId, wxString(), wxDefaultPosition,
                                wxSize(460, 86),
                                wxTE_MULTILINE | wxTE_READONLY | wxTE_CHARWRAP | wxBORDER_SUNKEN);
  left->Add(description_, 0, wxEXPAND | wxALL, 4);

  auto* bottom = new wxBoxSizer(wxHORIZONTAL);
  auto* browsers = new wxStaticBoxSizer(wxHORIZONTAL, this, ToWx("使用するブラウザ"));
  browsers->Add(new wxRadioButton(browsers->GetStaticBox(), kSystemBrowserId, ToWx("システム"),
                                  wxDefaultPosition, wxDefaultSize, wxRB_GROUP), 0, wxALL, 3);
  browsers->Add(new wxRadioButton(browsers->GetStaticBox(), kOriginalBrowserId,
                                  ToWx("オリジナル")), 0, wxALL, 3);
  browsers->Add(
      new wxRadioButton(browsers->GetStaticBox(), kUserBrowserId, ToWx("ユーザ設定")), 0,
      wxALL, 3);
  bottom->Add(browsers, 0, wxALIGN_BOTTOM);
  bottom->AddStretchSpacer();
  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  struct Face {
    int id;
    const char* caption;
  };
  for (Face f : {Face{kSaveId, "保存"}, Face{kGoId, "GO"}, Face{kCloseId, "閉じる"}}) {
    auto* b = new wxBitmapButton(this, f.id, ButtonFace(ToWx(f.caption)));
    b->SetToolTip(ToWx(f.caption));
    buttons->Add(b, 0, wxLEFT, 4);
  }
  bottom->Add(buttons, 0, wxALIGN_BOTTOM | wxBOTTOM, 4);
  left->Add(bottom, 0, wxEXPAND | wxALL, 4);
  main->Add(left, 1, wxEXPAND | wxALL, 4);

  auto* engines = new wxStaticBoxSizer(wxVERTICAL, this, wxString());
  wxWindow* box = engines->GetStaticBox();
  bool first = true;
  for (const EngineRow& row : EngineRows()) {
    auto* line = new wxBoxSizer(wxHORIZONTAL);
    auto* radio = new wxRadioButton(box, row.radioId, ToWx(row.caption), wxDefaultPosition,
                                    wxSize(150, -1), first ? wxRB_GROUP : 0);
    first = false;
    line->Add(radio, 1, wxALIGN_CENTER_VERTICAL);
    line->Add(new wxStaticText(box, row.markId, " ", wxDefaultPosition, wxSize(22, -1),
                               wxST_NO_AUTORESIZE), 0, wxALIGN_CENTER_VERTICAL);
    engines->Add(line, 0, wxEXPAND | wxLEFT | wxRIGHT, 4);
  }
  engines->AddSpacer(4);
  main->Add(engines, 0, wxEXPAND | wxALL, 6);
  SetSizerAndFit(main);

  // Enter and Escape end the dialog as the close button does.
  SetEscapeId(kCloseId);
  if (auto* close = dynamic_cast<wxButton*>(FindWindow(kCloseId))) close->SetDefault();

  list_->Bind(wxEVT_LISTBOX, [this](wxCommandEvent&) { Guard([this] { OnSelect(); }); });
  list_->Bind(wxEVT_LISTBOX_DCLICK, [this](wxCommandEvent&) { Guard([this] { OnGo(); }); });
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Guard([this] { OnGo(); }); }, kGoId);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Guard([this] { OnSave(); }); }, kSaveId);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Guard([this] { OnLogo(); }); }, kLogoId);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Hide(); }, kCloseId);
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& e) {
    // The title bar's close hides as well; only a forced close (the host
    // shutting wx down) lets the window go.
    if (e.CanVeto()) {
      e.Veto();
      Hide();
    } else {
      e.Skip();
    }
  });
  Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) {
    model_.SetBrowserChoice(BrowserChoice::System);
  }, kSystemBrowserId);
  Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) {
    model_.SetBrowserChoice(BrowserChoice::Original);
  }, kOriginalBrowserId);
  Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) { Guard([this] { OnUserBrowser(); }); },
       kUserBrowserId);
  for (const EngineRow& row : EngineRows()) {
    // "Not Use" and the row without a caption show nothing.
    if (row.engine < 0) continue;
    int engine = row.engine;
    Bind(wxEVT_RADIOBUTTON, [this, engine](wxCommandEvent&) {
      Guard([this, engine] { ShowEngine(engine); });
    }, row.radioId);
  }
}

void CResultListDlg::Guard(const std::function<void()>& action) {
  // No exception may leave an event handler (nor reach the host through it).
  try {
    action();
  } catch (...) {
  }
}

void CResultListDlg::ShowEngine(int engine) {
  model_.ShowEngine(engine);
  ShowModelState();
}

void CResultListDlg::RefreshFor(int engine) {
  model_.Refresh(engine);
  ShowModelState();
  if (const EngineInfo* info = FindEngine(engine)) {
    if (auto* mark = dynamic_cast<wxStaticText*>(FindWindow(info->markId)))
      mark->SetLabel(ToWx("○"));
    // GTK always shows one radio of a group checked: let it be the engine on show.
    if (auto* radio = dynamic_cast<wxRadioButton*>(FindWindow(info->radioId)))
      radio->SetValue(true);
  }
}

void CResultListDlg::ShowModelState() {
  list_->Clear();
  const EngineResults& shown = model_.OnShow();
  if (model_.ShownCount() > 0) {
    wxArrayString urls;
    for (int i = 0; i < model_.ShownCount(); ++i)
      urls.Add(ToWx(shown.entries[static_cast<size_t>(i)].url));
    list_->Append(urls);
    list_->SetSelection(0);
  }
  description_->ChangeValue(ToWx(model_.Description()));
  hitCount_->SetLabelText(ToWx(model_.HitText()));
  if (model_.LogoEngine() != logoShown_) {
    logoShown_ = model_.LogoEngine();
    logo_->SetBitmap(EngineLogoFace(logoShown_));
    wxString address = ToWx(model_.HomeAddressText());
    homeAddress_->SetLabelText(address);
    logo_->SetToolTip(address);
    logo_->Refresh();
    Layout();
  }
}

void CResultListDlg::OnSelect() {
  model_.Select(list_->GetSelection());
  description_->ChangeValue(ToWx(model_.Description()));
}

void CResultListDlg::OnGo() {
  int selected = list_->GetSelection();
  if (selected != wxNOT_FOUND) model_.Select(selected);
  model_.OpenSelected(launcher_, programFolder_);
}

void CResultListDlg::OnSave() {
  switch (model_.SaveResultsPage()) {
    case SaveOutcome::Written:
      break;
    case SaveOutcome::NoFileName:
      wxBell();
      break;
    case SaveOutcome::Failed: {
      std::string name = ResultsFileName(model_.EngineOnShow());
      wxMessageBox(ToWx(name + " を作成できませんでした。"), ToWx("検索結果"),
                   wxOK | wxICON_ERROR, this);
      break;
    }
  }
}

void CResultListDlg::OnLogo() { model_.OpenHome(launcher_); }

void CResultListDlg::OnUserBrowser() {
  CBrowserPathDlg dlg(this);
  if (dlg.ShowModal() != wxID_OK) return;
  // A line too long for the setting is refused: the choice stays as it was.
  if (!model_.SetUserBrowser(dlg.Line().utf8_string())) wxBell();
}

}  // namespace mireva
