// The windows of the link commands: the frame-analysis dialog (template 133)
// and the engine's progress window, and the program's factory of the module.
#include <algorithm>
#include <cstdlib>
#include <functional>

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/listbox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/utils.h>
#include <wx/weakref.h>

#include "linkharvest/wx/link_harvest_commands.h"

#include "linkharvest/link_harvest.h"
#include "platform/process.h"
#include "platform/wx/wx_text.h"
#include "pagesave/page_save.h"

namespace mireva {

namespace {

constexpr int kFrameList = 1014;
constexpr int kGoButton = 2301;
constexpr int kAnalyseButton = 2302;

class FrameAnalysisDialog : public wxDialog {
 public:
  FrameAnalysisDialog(wxWindow* parent, const std::vector<std::string>& tags)
      : wxDialog(parent, 133, ToWx("フレーム解析")) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* text = new wxStaticText(
        this, wxID_ANY,
        ToWx("フレームが使用されています。フレーム内を閲覧する場合はフレームを選んでから「GO」を押します。"
             "フレーム内の解析をする場合はフレームをえらんでから「解析」を押します。"));
    text->Wrap(ConvertDialogToPixels(wxSize(260, 0)).x);
    top->Add(text, 0, wxALL | wxEXPAND, 8);
    list_ = new wxListBox(this, kFrameList, wxDefaultPosition, wxDefaultSize, 0, nullptr, wxLB_SINGLE);
    for (const std::string& tag : tags) {
      if (tag.empty()) break;
      list_->Append(ToWx(FrameEntryText(tag)));
    }
    if (list_->GetCount() > 0) list_->SetSelection(0);
    top->Add(list_, 1, wxLEFT | wxRIGHT | wxEXPAND, 8);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(new wxButton(this, kGoButton, "GO"), 0, wxALL, 4);
    buttons->Add(new wxButton(this, kAnalyseButton, ToWx("解析")), 0, wxALL, 4);
    buttons->Add(new wxButton(this, wxID_CANCEL, ToWx("ｷｬﾝｾﾙ")), 0, wxALL, 4);
    top->Add(buttons, 0, wxALIGN_RIGHT | wxALL, 4);
    SetSizer(top);
    SetSize(ConvertDialogToPixels(wxSize(279, 144)));
    // Enter reaches no default button: only GO and 解析 end with a choice.
    SetAffirmativeId(wxID_NONE);
    SetEscapeId(wxID_CANCEL);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Pick(FrameAction::Go); }, kGoButton);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Pick(FrameAction::Analyse); }, kAnalyseButton);
  }
  FrameChoice Choice() const { return choice_; }

 private:
  void Pick(FrameAction action) {
    int selected = list_->GetSelection();
    if (selected == wxNOT_FOUND) return;
    choice_.action = action;
    choice_.index = static_cast<size_t>(selected);
    EndModal(wxID_OK);
  }
  wxListBox* list_ = nullptr;
  FrameChoice choice_;
};

class WxFrameChooser : public FrameChooser {
 public:
  explicit WxFrameChooser(wxWindow* parent) : parent_(parent) {}
  FrameChoice Choose(const std::vector<std::string>& tags) override {
    FrameAnalysisDialog dialog(parent_, tags);
    if (dialog.ShowModal() != wxID_OK) return FrameChoice{};
    return dialog.Choice();
  }

 private:
  wxWindow* parent_;
};

// The engine's progress: its text and a bar of files done of all, with a
// cancel button. The engine works on a worker thread, so the main window
// stays usable meanwhile (a second engine command is refused until this one
// ends). At the end
// it stays open, not modal, with what the call did (files saved, skipped and
// failed, each file that was not saved with its reason), the bar at files
// saved of files tried, the folder the files went to, "フォルダを開く",
// "もう一度取得" when files were skipped as already fetched, and "閉じる".
class DownloadProgressWindow : public wxDialog {
 public:
  DownloadProgressWindow(wxWindow* parent, ViewContext& ctx, const std::string& title)
      : wxDialog(parent, wxID_ANY, ToWx(title), wxDefaultPosition, wxDefaultSize,
                 wxCAPTION | wxCLOSE_BOX | wxRESIZE_BORDER),
        ctx_(ctx) {
    const int width = ConvertDialogToPixels(wxSize(220, 0)).x;
    auto* top = new wxBoxSizer(wxVERTICAL);
    status_ = new wxStaticText(this, wxID_ANY, ToWx(title), wxDefaultPosition, wxSize(width, -1),
                               wxST_ELLIPSIZE_END);
    top->Add(status_, 0, wxALL | wxEXPAND, 8);
    gauge_ = new wxGauge(this, wxID_ANY, 100, wxDefaultPosition, wxSize(width, -1),
                         wxGA_HORIZONTAL | wxGA_SMOOTH);
    top->Add(gauge_, 0, wxLEFT | wxRIGHT | wxEXPAND, 8);
    folder_ = new wxStaticText(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(width, -1),
                               wxST_ELLIPSIZE_MIDDLE);
    top->Add(folder_, 0, wxALL | wxEXPAND, 8);
    folder_->Hide();
    details_ = new wxListBox(this, wxID_ANY, wxDefaultPosition,
                             wxSize(width, ConvertDialogToPixels(wxSize(0, 60)).y));
    top->Add(details_, 1, wxLEFT | wxRIGHT | wxEXPAND, 8);
    details_->Hide();
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    again_ = new wxButton(this, wxID_REFRESH, ToWx("もう一度取得"));
    buttons->Add(again_, 0, wxALL, 4);
    again_->Hide();
    open_ = new wxButton(this, wxID_OPEN, ToWx("フォルダを開く"));
    close_ = new wxButton(this, wxID_CLOSE, ToWx("閉じる"));
    cancel_ = new wxButton(this, wxID_CANCEL, ToWx("キャンセル"));
    buttons->Add(open_, 0, wxALL, 4);
    buttons->Add(close_, 0, wxALL, 4);
    buttons->Add(cancel_, 0, wxALL, 4);
    open_->Hide();
    close_->Hide();
    top->Add(buttons, 0, wxALIGN_RIGHT | wxALL, 4);
    SetSizerAndFit(top);
    SetEscapeId(wxID_CANCEL);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { cancelled_ = true; }, wxID_CANCEL);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Destroy(); }, wxID_CLOSE);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OpenFolder(); }, wxID_OPEN);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
      // The next call opens a window of its own: this one goes first.
      auto again = fetchAgain_;
      Destroy();
      if (again) again();
    }, wxID_REFRESH);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& e) {
      if (running_ && e.CanVeto()) {
        cancelled_ = true;  // closing the window while the engine works stops it
        e.Veto();
        return;
      }
      Destroy();
    });
  }

  bool Update(const std::string& text, size_t done, size_t total) {
    const wxString label = ToWx(text);
    if (status_->GetLabel() != label) status_->SetLabel(label);
    if (total > 0) {
      const int range = static_cast<int>(std::min<size_t>(total, 1000000000));
      if (gauge_->GetRange() != range) gauge_->SetRange(range);
      gauge_->SetValue(static_cast<int>(std::min<size_t>(done, static_cast<size_t>(range))));
      counted_ = true;
      pulsing_ = false;
    } else if (!counted_) {
      gauge_->Pulse();  // nothing counted yet; a text without a count later keeps the bar
      pulsing_ = true;
    }
    return cancelled_;
  }

  void Finish(const EngineEnd& end) {
    running_ = false;
    folderPath_ = end.folder;
    status_->SetLabel(ToWx(end.summary));
    // The bar ends at what was saved of what was tried: a call whose files
    // all failed never shows a full bar.
    pulsing_ = false;
    if (end.tried > 0) {
      gauge_->SetRange(static_cast<int>(std::min<size_t>(end.tried, 1000000000)));
      gauge_->SetValue(static_cast<int>(std::min(end.saved, end.tried)));
    } else {
      gauge_->SetValue(0);
    }
    if (!end.folder.empty()) {
      folder_->SetLabel(ToWx("保存先: " + end.folder));
      folder_->SetToolTip(ToWx(end.folder));
      folder_->Show();
      open_->Show();
    }
    if (!end.details.empty()) {
      wxArrayString lines;
      for (const std::string& line : end.details) lines.Add(ToWx(line));
      details_->Set(lines);
      details_->Show();
    }
    fetchAgain_ = end.fetchAgain;
    if (fetchAgain_) again_->Show();
    cancel_->Hide();
    close_->Show();
    SetEscapeId(wxID_CLOSE);
    SetAffirmativeId(wxID_CLOSE);
    close_->SetDefault();
    close_->SetFocus();
    GetSizer()->Fit(this);
    Layout();
  }

 private:
  void OpenFolder() {
    if (!OpenWithDesktop(HostPath(folderPath_)))
      ctx_.Ui().ShowMessage("フォルダを開けません。(" + folderPath_ + ")",
                            MessageIcon::Exclamation);
  }

  ViewContext& ctx_;
  wxStaticText* status_ = nullptr;
  wxGauge* gauge_ = nullptr;
  wxStaticText* folder_ = nullptr;
  wxButton* open_ = nullptr;
  wxButton* close_ = nullptr;
  wxButton* cancel_ = nullptr;
  wxButton* again_ = nullptr;
  wxListBox* details_ = nullptr;
  std::function<void()> fetchAgain_;
  std::string folderPath_;
  bool running_ = true;
  bool cancelled_ = false;
  bool counted_ = false;
  bool pulsing_ = false;
};

class WxEngineProgress : public EngineProgressView {
 public:
  WxEngineProgress(ViewContext& ctx, wxWindow* parent) : ctx_(ctx), parent_(parent) {}
  ~WxEngineProgress() override {
    if (window_) window_->Destroy();
  }
  void Begin(const std::string& title) override {
    if (window_) window_->Destroy();  // the end of the previous run, still open
    window_ = new DownloadProgressWindow(parent_, ctx_, title);
    window_->Show();
  }
  bool Update(const std::string& text, size_t done, size_t total) override {
    if (!window_) return false;
    return window_->Update(text, done, total);
  }
  void End(const EngineEnd& end) override {
    if (!window_) return;
    if (end.summary.empty()) {
      window_->Destroy();
      return;
    }
    window_->Finish(end);
    window_->Raise();
  }

 private:
  ViewContext& ctx_;
  wxWindow* parent_;
  wxWeakRef<DownloadProgressWindow> window_;
};

}  // namespace

std::unique_ptr<CommandModule> MakeLinkHarvestCommands(ViewContext& ctx, wxWindow* parent) {
  return std::make_unique<LinkHarvestCommands>(
      ctx, std::make_unique<WxFrameChooser>(parent), std::make_unique<WxEngineProgress>(ctx, parent),
      [&ctx](const std::string& address, const std::string& target) {
        return FetchToFile(ctx, address, target, PageMarkup::Keep, FetchMode::SaveFile);
      });
}

}  // namespace mireva
