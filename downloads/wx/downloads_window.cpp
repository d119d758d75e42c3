// The downloads window: what the engine is doing now, then the history, newest
// first, with a search field, a site and a period filter, and the actions on
// the chosen entry (open its file or folder, fetch it again, forget it).
#include "platform/monotonic_clock.h"
#include "downloads/wx/downloads_window.h"

#include <sys/stat.h>

#include <ctime>
#include <optional>
#include <string>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/dataview.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include "core/command_ids.h"
#include "core/runtime/download_engine.h"
#include "downloads/downloads_model.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/text_encoding.h"
#include "platform/wx/wx_text.h"

namespace mireva {
namespace {

constexpr char kTitle[] = "ダウンロード履歴";
constexpr char kIdle[] = "待機中";

enum : int {
  kOpenFile = wxID_HIGHEST + 1,
  kOpenFolder,
  kRefetch,
  kForget,
};

long long NowSeconds() { return static_cast<long long>(std::time(nullptr)); }

bool Exists(const std::string& hostPath) {
  struct stat st;
  return ::stat(hostPath.c_str(), &st) == 0;
}

class DownloadsWindow : public wxDialog {
 public:
  DownloadsWindow(wxWindow* parent, DownloadEngine& engine)
      : wxDialog(parent, wxID_ANY, ToWx(kTitle), wxDefaultPosition, wxDefaultSize,
                 wxCAPTION | wxCLOSE_BOX | wxRESIZE_BORDER | wxMAXIMIZE_BOX | wxMINIMIZE_BOX),
        engine_(&engine),
        model_(WorkingFolder()) {
    auto* top = new wxBoxSizer(wxVERTICAL);

    // The engine's running work.
    auto* now = new wxBoxSizer(wxVERTICAL);
    nowText_ = new wxStaticText(this, wxID_ANY, ToWx(kIdle), wxDefaultPosition, wxDefaultSize,
                                wxST_ELLIPSIZE_END);
    nowDetail_ = new wxStaticText(this, wxID_ANY, wxEmptyString);
    gauge_ = new wxGauge(this, wxID_ANY, 100, wxDefaultPosition, wxDefaultSize,
                         wxGA_HORIZONTAL | wxGA_SMOOTH);
    now->Add(nowText_, 0, wxEXPAND | wxBOTTOM, 2);
    now->Add(nowDetail_, 0, wxEXPAND | wxBOTTOM, 2);
    now->Add(gauge_, 0, wxEXPAND);
    top->Add(now, 0, wxEXPAND | wxALL, 8);

    // The filters.
    auto* filters = new wxBoxSizer(wxHORIZONTAL);
    filters->Add(new wxStaticText(this, wxID_ANY, ToWx("検索:")), 0,
                 wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    search_ = new wxTextCtrl(this, wxID_ANY);
    search_->SetHint(ToWx("アドレスまたはファイル名"));
    filters->Add(search_, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, 12);
    filters->Add(new wxStaticText(this, wxID_ANY, ToWx("サイト:")), 0,
                 wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    site_ = new wxChoice(this, wxID_ANY);
    site_->Append(ToWx("すべてのサイト"));
    site_->SetSelection(0);
    filters->Add(site_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 12);
    filters->Add(new wxStaticText(this, wxID_ANY, ToWx("期間:")), 0,
                 wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    period_ = new wxChoice(this, wxID_ANY);
    for (const char* caption : {"すべて", "今日", "7日以内", "30日以内"})
      period_->Append(ToWx(caption));
    period_->SetSelection(0);
    filters->Add(period_, 0, wxALIGN_CENTER_VERTICAL);
    top->Add(filters, 0, wxEXPAND | wxLEFT | wxRIGHT, 8);

    notice_ = new wxStaticText(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                               wxST_ELLIPSIZE_END);
    top->Add(notice_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 8);

    // The history.
    list_ = new wxDataViewListCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(760, 320),
                                   wxDV_SINGLE | wxDV_ROW_LINES);
    list_->AppendTextColumn(ToWx("日時"), wxDATAVIEW_CELL_INERT, 150);
    list_->AppendTextColumn(ToWx("サイズ"), wxDATAVIEW_CELL_INERT, 80, wxALIGN_RIGHT);
    list_->AppendTextColumn(ToWx("アドレス"), wxDATAVIEW_CELL_INERT, 320);
    list_->AppendTextColumn(ToWx("ファイル"), wxDATAVIEW_CELL_INERT, 240);
    top->Add(list_, 1, wxEXPAND | wxALL, 8);

    // The actions on the chosen entry.
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    openFile_ = new wxButton(this, kOpenFile, ToWx("ファイルを開く"));
    openFolder_ = new wxButton(this, kOpenFolder, ToWx("フォルダを開く"));
    refetch_ = new wxButton(this, kRefetch, ToWx("再取得"));
    forget_ = new wxButton(this, kForget, ToWx("履歴から削除"));
    for (wxButton* b : {openFile_, openFolder_, refetch_, forget_}) buttons->Add(b, 0, wxRIGHT, 4);
    buttons->AddStretchSpacer();
    buttons->Add(new wxButton(this, wxID_CLOSE, ToWx("閉じる")), 0);
    top->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);

    SetSizerAndFit(top);
    SetEscapeId(wxID_CLOSE);

    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OpenFile(); }, kOpenFile);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OpenFolder(); }, kOpenFolder);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Refetch(); }, kRefetch);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Forget(); }, kForget);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { OpenFile(); }, kOpenFile);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { OpenFolder(); }, kOpenFolder);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { Refetch(); }, kRefetch);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { Forget(); }, kForget);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Close(); }, wxID_CLOSE);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Destroy(); });
    list_->Bind(wxEVT_DATAVIEW_SELECTION_CHANGED, [this](wxDataViewEvent&) { UpdateButtons(); });
    list_->Bind(wxEVT_DATAVIEW_ITEM_ACTIVATED, [this](wxDataViewEvent&) { OpenFile(); });
    list_->Bind(wxEVT_DATAVIEW_ITEM_CONTEXT_MENU, [this](wxDataViewEvent&) { ContextMenu(); });
    // Typing narrows the list once the user pauses.
    search_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { typing_.StartOnce(250); });
    typing_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Reload(); });
    site_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { Reload(); });
    period_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { Reload(); });
    // The running work is shown afresh twice a second (the speed falls when
    // nothing comes); the engine's reports come in between.
    tick_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { ShowWork(); });
    tick_.Start(500);

    Reload();
    ShowWork();
  }

  // The view is going: nothing here touches the engine any more.
  void Detach() {
    tick_.Stop();
    typing_.Stop();
    engine_ = nullptr;
  }

  void EngineProgress(const std::string& text, long long done, FileCount count) {
    meter_.Report(text, done, MonotonicMs());
    meter_.Count(count.done, count.total);
    ShowWork();
  }

  // A host the engine waits for (a server's back-off, the pause between
  // requests): shown under the progress with the seconds left.
  void EngineHostWait(const std::string& host, long long waitMs) {
    meter_.HostWait(host, waitMs, MonotonicMs());
    ShowWork();
  }

  void EngineEnded() {
    meter_.End();
    ShowWork();
    Reload();
  }

 private:
  void ShowWork() {
    const bool busy = engine_ && engine_->Busy();
    wxString text = ToWx(kIdle), detail;
    if (meter_.Active()) {
      text = ToWx(meter_.Text());
      detail = ToWx(meter_.DetailText(MonotonicMs()));
    } else if (busy) {
      text = ToWx("取得を始めています…");
    }
    if (nowText_->GetLabel() != text) nowText_->SetLabel(text);
    if (nowDetail_->GetLabel() != detail) nowDetail_->SetLabel(detail);
    if (meter_.Active() && meter_.FilesTotal() > 0) {
      const size_t total = meter_.FilesTotal();
      gauge_->SetRange(static_cast<int>(std::min<size_t>(total, 1000000000)));
      gauge_->SetValue(static_cast<int>(std::min(meter_.FilesDone(), total)));
    } else if (busy) {
      gauge_->Pulse();
    } else {
      gauge_->SetValue(0);
    }
    if (refetch_) refetch_->Enable(Selected() && !busy);
  }

  void Reload() {
    typing_.Stop();
    model_.Filter().text = FromWx(search_->GetValue());
    const int site = site_->GetSelection();
    model_.Filter().site = site > 0 ? FromWx(site_->GetString(site)) : std::string();
    static constexpr SincePeriod periods[] = {SincePeriod::All, SincePeriod::Today,
                                              SincePeriod::Week, SincePeriod::Month};
    const int period = period_->GetSelection();
    model_.SetPeriod(periods[period >= 0 && period < 4 ? period : 0], NowSeconds());

    // The chosen entry stays chosen when it is still listed.
    const std::optional<HistoryEntry> chosen = Selected();
    model_.Reload();
    list_->DeleteAllItems();
    int select = wxNOT_FOUND;
    for (const HistoryEntry& e : model_.Rows()) {
      wxVector<wxVariant> row;
      row.push_back(ToWx(LocalTimeText(e.fetchedAt)));
      row.push_back(ToWx(SizeText(e.size)));
      row.push_back(ToWx(e.address));
      row.push_back(ToWx(e.file));
      if (chosen && chosen->address == e.address) select = list_->GetItemCount();
      list_->AppendItem(row);
    }
    if (select != wxNOT_FOUND) list_->SelectRow(static_cast<unsigned>(select));
    FillSites();

    std::string notice = model_.Message();
    if (notice.empty()) {
      notice = std::to_string(model_.Rows().size()) + " 件";
      if (model_.Truncated())
        notice = "新しい順に " + notice + "を表示しています。検索や絞り込みで残りも探せます。";
    }
    notice_->SetLabel(ToWx(notice));
    notice_->SetToolTip(ToWx(notice));
    UpdateButtons();
  }

  void FillSites() {
    const wxString chosen = site_->GetSelection() > 0 ? site_->GetStringSelection() : wxString();
    wxArrayString sites;
    sites.Add(site_->GetString(0));
    for (const std::string& s : model_.Sites()) sites.Add(ToWx(s));
    bool same = sites.size() == site_->GetCount();
    for (unsigned i = 0; same && i < sites.size(); ++i) same = sites[i] == site_->GetString(i);
    if (same) return;
    site_->Set(sites);
    const int at = chosen.empty() ? 0 : site_->FindString(chosen, true);
    site_->SetSelection(at == wxNOT_FOUND ? 0 : at);
  }

  std::optional<HistoryEntry> Selected() const {
    const int row = list_->GetSelectedRow();
    if (row == wxNOT_FOUND || static_cast<size_t>(row) >= model_.Rows().size()) return std::nullopt;
    return model_.Rows()[static_cast<size_t>(row)];
  }

  void UpdateButtons() {
    const bool chosen = Selected().has_value();
    openFile_->Enable(chosen);
    openFolder_->Enable(chosen);
    forget_->Enable(chosen);
    refetch_->Enable(chosen && engine_ && !engine_->Busy());
  }

  void ContextMenu() {
    if (!Selected()) return;
    wxMenu menu;
    menu.Append(kOpenFile, ToWx("ファイルを開く"));
    menu.Append(kOpenFolder, ToWx("フォルダを開く"));
    menu.AppendSeparator();
    menu.Append(kRefetch, ToWx("再取得"));
    menu.Append(kForget, ToWx("履歴から削除"));
    menu.Enable(kRefetch, engine_ && !engine_->Busy());
    PopupMenu(&menu);
  }

  void Say(const std::string& text, long icon = wxICON_EXCLAMATION) {
    wxMessageDialog box(this, ToWx(text), ToWx(kTitle), wxOK | icon);
    box.ShowModal();
  }

  void OpenFile() {
    const auto e = Selected();
    if (!e) return;
    const std::string path = model_.FilePath(*e);
    if (!Exists(path)) {
      Say("ファイルが見つかりません。\n" + e->file);
      return;
    }
    if (!OpenWithDesktop(path)) Say("ファイルを開けません。\n" + e->file);
  }

  void OpenFolder() {
    const auto e = Selected();
    if (!e) return;
    const std::string path = model_.FolderPath(*e);
    if (!Exists(path)) {
      Say("フォルダが見つかりません。\n" + Utf8ToSjis(path));
      return;
    }
    if (!OpenWithDesktop(path)) Say("フォルダを開けません。\n" + Utf8ToSjis(path));
  }

  // Asks first; while the file is on disk, whether it goes too (a person
  // clearing out the history mostly wants the disk space back, but the
  // question is theirs to answer).
  void Forget() {
    const auto e = Selected();
    if (!e) return;
    const bool fileThere = Exists(model_.FilePath(*e));
    std::string text = "この項目を履歴から削除しますか。\n\n" + e->address +
                       "\n\n削除した項目は、次に取得するとき再び取得されます。";
    if (fileThere) text += "\nファイル " + e->file + " も削除しますか。";
    wxMessageDialog ask(this, ToWx(text), ToWx(kTitle),
                        (fileThere ? wxYES_NO | wxCANCEL | wxCANCEL_DEFAULT
                                   : wxYES_NO | wxNO_DEFAULT) |
                            wxICON_QUESTION);
    if (fileThere)
      ask.SetYesNoCancelLabels(ToWx("ファイルも削除"), ToWx("履歴だけ削除"), ToWx("キャンセル"));
    const int answer = ask.ShowModal();
    if (answer == wxID_CANCEL || (!fileThere && answer != wxID_YES)) return;
    const bool deleteFile = fileThere && answer == wxID_YES;
    if (!model_.Forget(e->address))
      Say(model_.Message());
    else if (deleteFile && !model_.DeleteFile(*e))
      Say(model_.Message());
    Reload();
  }

  // Forgets the entry, then has the engine fetch the file's kind from the page
  // it was linked from: what the history no longer holds is fetched again.
  void Refetch() {
    const auto e = Selected();
    if (!e || !engine_) return;
    if (engine_->Busy()) {
      Say("ダウンロード中です。終わるまでお待ちください。");
      return;
    }
    if (!model_.Forget(e->address)) {
      Say(model_.Message());
      Reload();
      return;
    }
    const auto plan = DownloadsModel::RefetchOf(*e);
    if (!plan) {
      Reload();
      Say("履歴から削除しました。リンク元のページが分からないため、次にこのファイルを"
          "取得するときに再び取得されます。\n" + e->address,
          wxICON_INFORMATION);
      return;
    }
    Reload();
    // The call keeps the window live; it may be closed meanwhile.
    wxWeakRef<DownloadsWindow> self(this);
    DownloadEngine* engine = engine_;
    engine->ALoad(plan->page, plan->extension);
    if (self) self->ShowWork();
  }

  DownloadEngine* engine_;
  DownloadsModel model_;
  TransferMeter meter_;
  // Without an owner: each timer's events go to its own handlers.
  wxTimer tick_;
  wxTimer typing_;
  wxStaticText* nowText_ = nullptr;
  wxStaticText* nowDetail_ = nullptr;
  wxGauge* gauge_ = nullptr;
  wxTextCtrl* search_ = nullptr;
  wxChoice* site_ = nullptr;
  wxChoice* period_ = nullptr;
  wxStaticText* notice_ = nullptr;
  wxDataViewListCtrl* list_ = nullptr;
  wxButton* openFile_ = nullptr;
  wxButton* openFolder_ = nullptr;
  wxButton* refetch_ = nullptr;
  wxButton* forget_ = nullptr;
};

class DownloadsCommands : public CommandModule {
 public:
  DownloadsCommands(ViewContext& ctx, wxWindow* parent)
      : ctx_(ctx), parent_(parent), window_(std::make_shared<wxWeakRef<DownloadsWindow>>()) {
    // The engine outlives nothing here: the hooks reach the window only
    // through the shared weak reference, which this module empties.
    auto window = window_;
    ctx_.Engine().AddProgressListener(
        [window](const std::string& text, long long done, FileCount count) {
          if (*window) (*window)->EngineProgress(text, done, count);
        });
    ctx_.Engine().AddHostWaitListener([window](const std::string& host, long long waitMs) {
      if (*window) (*window)->EngineHostWait(host, waitMs);
    });
    ctx_.Engine().AddCallEndedHook([window](const CallResult&) {
      if (*window) (*window)->EngineEnded();
    });
  }
  ~DownloadsCommands() override {
    if (DownloadsWindow* w = *window_) {
      w->Detach();
      w->Destroy();
    }
    *window_ = nullptr;
  }

  void Register(CommandRouter& router) override {
    router.Add(kCmdDownloadsWindow, CommandTarget::View, [this] { Open(); });
  }

 private:
  void Open() {
    if (!*window_) {
      *window_ = new DownloadsWindow(parent_, ctx_.Engine());
      (*window_)->CentreOnParent();
    }
    (*window_)->Show();
    (*window_)->Raise();
  }

  ViewContext& ctx_;
  wxWindow* parent_;
  std::shared_ptr<wxWeakRef<DownloadsWindow>> window_;
};

}  // namespace

std::unique_ptr<CommandModule> MakeDownloadsCommands(ViewContext& ctx, wxWindow* parent) {
  return std::make_unique<DownloadsCommands>(ctx, parent);
}

}  // namespace mireva
