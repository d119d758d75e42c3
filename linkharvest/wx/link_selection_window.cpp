#include "linkharvest/wx/link_selection_window.h"

// The window shows the model of link_selection.h and hands the chosen links
// to the engine. Decisions users rely on:
// - the list is what the view holds now (asked of the page by script), so
//   links built by script and pages behind a login are there;
// - with text in 絞り込み exactly the links it matches are chosen and the
//   named filters rest; emptied, the named filters choose again; a check box
//   ticked by hand holds until a filter changes;
// - the filters, the mask, the destination and the window's size are kept in
//   "Mireva.ini" of the working folder; the destination only when the user
//   changed it from the page's DownLoad/<host>, so another site gets its own
//   folder; what to do with a taken name starts at 名前を変える each time.
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dataview.h>
#include <wx/dirdlg.h>
#include <wx/dialog.h>
#include <wx/filedlg.h>
#include <wx/fileconf.h>
#include <wx/listbox.h>
#include <wx/radiobox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/weakref.h>
#include <wx/wrapsizer.h>

#include <gtk/gtk.h>

#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "core/command_ids.h"
#include "core/runtime/download_engine.h"
#include "linkharvest/link_selection.h"
#include "platform/file_util.h"
#include "platform/folders.h"
#include "platform/text_encoding.h"
#include "platform/wx/wx_text.h"

namespace mireva {
namespace {

enum Column : unsigned { kColChosen, kColAddress, kColText, kColKind, kColSize, kColName, kColumns };

// Names a field for the accessibility bus after the label shown beside it.
// GTK only, as is the program (the toolkit gives no portable way).
void NameWidget(GtkWidget* widget, const wxString& name, wxWindow* label) {
  AtkObject* acc = gtk_widget_get_accessible(widget);
  if (!acc) return;
  atk_object_set_name(acc, name.utf8_str());
  if (AtkObject* text = label ? gtk_widget_get_accessible(label->GetHandle()) : nullptr) {
    atk_object_add_relationship(acc, ATK_RELATION_LABELLED_BY, text);
    atk_object_add_relationship(text, ATK_RELATION_LABEL_FOR, acc);
  }
}

void NameControl(wxWindow* control, const wxString& name, wxWindow* label) {
  NameWidget(control->GetConnectWidget(), name, label);
}

// The program's settings, kept in the working folder (written whole to a
// temporary name and renamed by wxFileConfig).
std::unique_ptr<wxFileConfig> OpenSettings() {
  const wxString path = wxString::FromUTF8(WorkingFolder() + "/Mireva.ini");
  auto config = std::make_unique<wxFileConfig>(wxEmptyString, wxEmptyString, path, wxEmptyString,
                                               wxCONFIG_USE_LOCAL_FILE);
  config->SetPath("/LinkSelection");
  return config;
}

class LinkSelectionWindow;

// The list as the data view reads it: rows straight from the window's vectors.
class LinkListModel : public wxDataViewVirtualListModel {
 public:
  explicit LinkListModel(LinkSelectionWindow& owner) : owner_(owner) {}
  unsigned GetColumnCount() const override { return kColumns; }
  wxString GetColumnType(unsigned col) const override { return col == kColChosen ? "bool" : "string"; }
  void GetValueByRow(wxVariant& value, unsigned row, unsigned col) const override;
  bool SetValueByRow(const wxVariant& value, unsigned row, unsigned col) override;

 private:
  LinkSelectionWindow& owner_;
};

class LinkSelectionWindow : public wxDialog {
 public:
  LinkSelectionWindow(wxWindow* parent, ViewContext& ctx, std::vector<PageLink> links)
      : wxDialog(parent, wxID_ANY, ToWx("リンクの選択"), wxDefaultPosition, wxDefaultSize,
                 wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
        ctx_(ctx),
        links_(std::move(links)) {
    page_ = ctx_.AddressField();
    title_ = ctx_.Browser().CurrentTitle();
    settings_ = OpenSettings();
    LoadFilters();
    Build();
    kinds_.reserve(links_.size());
    for (const PageLink& l : links_) kinds_.push_back(KindOf(filters_, l.address));
    chosen_ = ChooseLinks(links_, filters_, "");
    model_->Reset(static_cast<unsigned>(links_.size()));
    Recompute(Refresh::No);
  }

  ~LinkSelectionWindow() override { SaveSettings(); }

  // The model's view of the rows.
  void Value(wxVariant& value, unsigned row, unsigned col) const {
    if (row >= links_.size()) return;
    const PageLink& l = links_[row];
    switch (col) {
      case kColChosen: value = static_cast<bool>(chosen_[row]); break;
      case kColAddress: value = ToWx(l.address); break;
      case kColText: value = ToWx(l.text); break;
      case kColKind: value = ToWx(kinds_[row]); break;
      case kColSize:
        value = l.width > 0 ? wxString::Format("%dx%d", l.width, l.height) : wxString();
        break;
      case kColName: value = ToWx(names_[row]); break;
      default: value = wxString();
    }
  }
  void Toggle(unsigned row, bool on) {
    if (row >= chosen_.size()) return;
    chosen_[row] = on;
    Recompute(Refresh::Yes);
  }

 private:
  enum class Refresh { No, Yes };

  void LoadFilters() {
    std::string text = ReadWholeFile(kFiltersFile).value_or("");
    filters_ = ParseFilters(text);
    if (filters_.empty()) filters_ = ParseFilters(DefaultFiltersText());
    const wxString on = settings_->Read("Filters", wxEmptyString);
    for (NamedFilter& f : filters_) f.on = (";" + on + ";").Contains(";" + ToWx(f.name) + ";");
  }

  wxStaticText* Label(const char* text) { return new wxStaticText(this, wxID_ANY, ToWx(text)); }

  void Build() {
    auto* top = new wxBoxSizer(wxVERTICAL);
    // 絞り込み and the count.
    auto* quickRow = new wxBoxSizer(wxHORIZONTAL);
    wxStaticText* quickLabel = Label("絞り込み");
    quick_ = new wxTextCtrl(this, wxID_ANY);
    quick_->SetHint("*.zip  /\\.(jpe?g|png)$/");
    NameControl(quick_, ToWx("絞り込み"), quickLabel);
    count_ = new wxStaticText(this, wxID_ANY, wxEmptyString);
    quickRow->Add(quickLabel, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    quickRow->Add(quick_, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, 12);
    quickRow->Add(count_, 0, wxALIGN_CENTER_VERTICAL);
    top->Add(quickRow, 0, wxEXPAND | wxALL, 8);
    // The named filters.
    auto* filterRow = new wxWrapSizer(wxHORIZONTAL);
    for (size_t i = 0; i < filters_.size(); ++i) {
      auto* box = new wxCheckBox(this, wxID_ANY, ToWx(filters_[i].name));
      box->SetValue(filters_[i].on);
      box->Bind(wxEVT_CHECKBOX, [this, i](wxCommandEvent& e) {
        filters_[i].on = e.IsChecked();
        if (quick_->IsEmpty()) Choose();
      });
      filterRow->Add(box, 0, wxRIGHT | wxBOTTOM, 8);
    }
    top->Add(filterRow, 0, wxEXPAND | wxLEFT | wxRIGHT, 8);
    // The list.
    list_ = new wxDataViewCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(-1, 320),
                               wxDV_ROW_LINES | wxDV_SINGLE);
    model_ = new LinkListModel(*this);
    list_->AssociateModel(model_);
    model_->DecRef();
    list_->AppendToggleColumn(ToWx("選択"), kColChosen, wxDATAVIEW_CELL_ACTIVATABLE, 50);
    list_->AppendTextColumn(ToWx("アドレス"), kColAddress, wxDATAVIEW_CELL_INERT, 320,
                            wxALIGN_NOT, wxDATAVIEW_COL_RESIZABLE);
    list_->AppendTextColumn(ToWx("テキスト"), kColText, wxDATAVIEW_CELL_INERT, 140, wxALIGN_NOT,
                            wxDATAVIEW_COL_RESIZABLE);
    list_->AppendTextColumn(ToWx("種類"), kColKind, wxDATAVIEW_CELL_INERT, 90, wxALIGN_NOT,
                            wxDATAVIEW_COL_RESIZABLE);
    list_->AppendTextColumn(ToWx("大きさ"), kColSize, wxDATAVIEW_CELL_INERT, 70, wxALIGN_NOT,
                            wxDATAVIEW_COL_RESIZABLE);
    list_->AppendTextColumn(ToWx("保存名"), kColName, wxDATAVIEW_CELL_INERT, 200, wxALIGN_NOT,
                            wxDATAVIEW_COL_RESIZABLE);
    NameWidget(list_->GtkGetTreeView(), ToWx("リンク"), nullptr);
    top->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT, 8);
    auto* choiceRow = new wxBoxSizer(wxHORIZONTAL);
    auto* all = new wxButton(this, wxID_ANY, ToWx("すべて選択"));
    auto* none = new wxButton(this, wxID_ANY, ToWx("選択解除"));
    auto* invert = new wxButton(this, wxID_ANY, ToWx("反転"));
    choiceRow->Add(all, 0, wxRIGHT, 4);
    choiceRow->Add(none, 0, wxRIGHT, 4);
    choiceRow->Add(invert, 0);
    top->Add(choiceRow, 0, wxALL, 8);
    // Names and destination.
    auto* grid = new wxFlexGridSizer(3, 6, 6);
    grid->AddGrowableCol(1);
    wxStaticText* maskLabel = Label("名前の付け方");
    mask_ = new wxTextCtrl(this, wxID_ANY, settings_->Read("Mask", kDefaultMask));
    NameControl(mask_, ToWx("名前の付け方"), maskLabel);
    grid->Add(maskLabel, 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(mask_, 1, wxEXPAND);
    grid->Add(new wxStaticText(this, wxID_ANY,
                               "*name* *ext* *text* *title* *host* *subdirs* *num* *date* ..."),
              0, wxALIGN_CENTER_VERTICAL);
    wxStaticText* destLabel = Label("保存先");
    defaultDestination_ = DefaultDestination(page_);
    const wxString kept = settings_->Read("Destination", wxEmptyString);
    dest_ = new wxTextCtrl(this, wxID_ANY, kept.empty() ? ToWx(defaultDestination_) : kept);
    NameControl(dest_, ToWx("保存先"), destLabel);
    auto* browse = new wxButton(this, wxID_ANY, ToWx("参照..."));
    grid->Add(destLabel, 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(dest_, 1, wxEXPAND);
    grid->Add(browse, 0);
    top->Add(grid, 0, wxEXPAND | wxLEFT | wxRIGHT, 8);
    const wxString ways[] = {ToWx("名前を変える"), ToWx("飛ばす"), ToWx("上書き")};
    existing_ = new wxRadioBox(this, wxID_ANY, ToWx("同じ名前のファイルがあるとき"),
                               wxDefaultPosition, wxDefaultSize, 3, ways, 1, wxRA_SPECIFY_ROWS);
    top->Add(existing_, 0, wxALL, 8);
    // What the last download did.
    results_ = new wxListBox(this, wxID_ANY, wxDefaultPosition, wxSize(-1, 110));
    NameControl(results_, ToWx("結果"), nullptr);
    results_->Hide();
    top->Add(results_, 0, wxEXPAND | wxLEFT | wxRIGHT, 8);
    status_ = new wxStaticText(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                               wxST_ELLIPSIZE_END);
    top->Add(status_, 0, wxEXPAND | wxALL, 8);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    retry_ = new wxButton(this, wxID_ANY, ToWx("失敗したものを再試行"));
    retry_->Disable();
    auto* writeList = new wxButton(this, wxID_ANY, ToWx("リストを書き出す"));
    download_ = new wxButton(this, wxID_OK, ToWx("ダウンロード"));
    auto* close = new wxButton(this, wxID_CLOSE, ToWx("閉じる"));
    buttons->Add(retry_, 0, wxRIGHT, 4);
    buttons->Add(writeList, 0, wxRIGHT, 4);
    buttons->AddStretchSpacer();
    buttons->Add(download_, 0, wxRIGHT, 4);
    buttons->Add(close, 0);
    top->Add(buttons, 0, wxEXPAND | wxALL, 8);
    SetSizerAndFit(top);
    const int w = settings_->Read("Width", 0L), h = settings_->Read("Height", 0L);
    SetSize(w > 200 && h > 200 ? wxSize(w, h) : wxSize(900, 700));
    SetAffirmativeId(wxID_NONE);
    SetEscapeId(wxID_CLOSE);

    quick_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { Choose(); });
    mask_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { Recompute(Refresh::Yes); });
    all->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { SetAll([](bool) { return true; }); });
    none->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { SetAll([](bool) { return false; }); });
    invert->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { SetAll([](bool was) { return !was; }); });
    browse->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Browse(); });
    writeList->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { WriteList(); });
    download_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Download(ChosenIndexes()); });
    retry_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Download(failed_); });
    close->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Close(); });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& e) {
      if (running_ && e.CanVeto()) {
        ctx_.Engine().Cancel();  // closing while the engine works stops it first
        e.Veto();
        return;
      }
      Destroy();
    });
    // Ctrl+A chooses every listed link, except in a text field, where it
    // selects the field's text as everywhere.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& e) {
      if (e.GetKeyCode() == 'A' && e.GetModifiers() == wxMOD_CONTROL &&
          !wxDynamicCast(FindFocus(), wxTextCtrl)) {
        SetAll([](bool) { return true; });
        return;
      }
      e.Skip();
    });
  }

  void Choose() {
    chosen_ = ChooseLinks(links_, filters_, FromWx(quick_->GetValue()));
    Recompute(Refresh::Yes);
  }

  template <typename Fn>
  void SetAll(Fn fn) {
    for (size_t i = 0; i < chosen_.size(); ++i) chosen_[i] = fn(chosen_[i]);
    Recompute(Refresh::Yes);
  }

  std::vector<size_t> ChosenIndexes() const {
    std::vector<size_t> out;
    for (size_t i = 0; i < chosen_.size(); ++i)
      if (chosen_[i]) out.push_back(i);
    return out;
  }

  // The preview names follow the chosen links (*num* counts them) and the mask.
  void Recompute(Refresh refresh) {
    const std::vector<size_t> chosen = ChosenIndexes();
    MaskContext mc;
    mc.pageAddress = page_;
    mc.pageTitle = title_;
    mc.now = std::time(nullptr);
    mc.count = chosen.size();
    const std::string mask = FromWx(mask_->GetValue());
    names_.assign(links_.size(), std::string());
    size_t number = 0;
    std::vector<size_t> position(links_.size(), 0);
    for (size_t i : chosen) position[i] = ++number;
    // Only chosen links get a name: a name shown beside an unchosen link
    // would claim a number that the download does not give.
    for (size_t i : chosen) names_[i] = ApplyMask(mask, links_[i], position[i], mc);
    count_->SetLabel(ToWx("選択: " + std::to_string(chosen.size()) + " / " +
                          std::to_string(links_.size()) + " 件"));
    download_->Enable(!chosen.empty() && !running_);
    if (refresh == Refresh::Yes) {
      wxDataViewItemArray rows;
      for (unsigned i = 0; i < links_.size(); ++i) rows.Add(model_->GetItem(i));
      model_->ItemsChanged(rows);
    }
    Layout();
  }

  void Browse() {
    wxDirDialog dialog(this, ToWx("保存先"), dest_->GetValue(), wxDD_DEFAULT_STYLE);
    if (dialog.ShowModal() == wxID_OK) dest_->SetValue(dialog.GetPath());
  }

  void WriteList() {
    wxFileDialog dialog(this, ToWx("リストを書き出す"), wxEmptyString, "links.txt",
                        ToWx("テキスト (*.txt)|*.txt|すべて (*)|*"),
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK) return;
    std::string text;
    for (size_t i : ChosenIndexes()) text += links_[i].address + "\n";
    if (!WriteFileAtomically(FromWx(dialog.GetPath()), text))
      ctx_.Ui().ShowMessage("リストを書き出せません。(" + FromWx(dialog.GetPath()) + ")",
                            MessageIcon::Exclamation);
    else
      status_->SetLabel(ToWx("リストを書き出しました: " + FromWx(dialog.GetPath())));
  }

  void Download(const std::vector<size_t>& which) {
    if (which.empty() || running_) return;
    std::vector<PageLink> links;
    std::vector<std::string> names;
    for (size_t i : which) {
      links.push_back(links_[i]);
      // A retry keeps the names the first run gave.
      auto given = givenNames_.find(links_[i].address);
      names.push_back(given != givenNames_.end() ? given->second : names_[i]);
      givenNames_[links_[i].address] = names.back();
    }
    const ExistingChoice existing = existing_->GetSelection() == 1   ? ExistingChoice::Skip
                                    : existing_->GetSelection() == 2 ? ExistingChoice::Overwrite
                                                                     : ExistingChoice::Rename;
    std::string dest = FromWx(dest_->GetValue());
    if (dest.empty()) dest = defaultDestination_;
    running_ = true;
    download_->Disable();
    retry_->Disable();
    CallHooks hooks;
    hooks.progress = [this](const std::string& text, long long) {
      ctx_.SetStatusText(text);
      status_->SetLabel(ToWx(text));
      return false;
    };
    wxWeakRef<LinkSelectionWindow> alive(this);
    CallResult result =
        ctx_.Engine().LoadSelection(page_, dest, SelectionItems(links, names), ExistingWord(existing), hooks);
    if (!alive) return;
    running_ = false;
    Recompute(Refresh::No);
    if (!result.Ran()) return;
    failed_.clear();
    for (const std::string& address : FailedAddresses(result))
      for (size_t i = 0; i < links_.size(); ++i)
        if (links_[i].address == address) failed_.push_back(i);
    wxArrayString lines;
    for (const std::string& line : DescribeSelectionFiles(result)) lines.Add(ToWx(line));
    results_->Set(lines);
    results_->Show();
    retry_->Enable(!failed_.empty());
    std::string summary = "保存 " + std::to_string(result.saved) + "、飛ばした " +
                          std::to_string(result.skipped) + "、失敗 " + std::to_string(result.failed);
    if (result.status == CallStatus::Cancelled) summary += " (中止しました)";
    if (!result.reason.empty()) summary += " " + result.reason;
    status_->SetLabel(ToWx(summary));
    ctx_.SetStatusText(summary);
    Layout();
  }

  void SaveSettings() {
    wxString on;
    for (const NamedFilter& f : filters_)
      if (f.on) on += ToWx(f.name) + ";";
    settings_->Write("Filters", on);
    settings_->Write("Mask", mask_->GetValue());
    const wxString dest = dest_->GetValue();
    settings_->Write("Destination", dest == ToWx(defaultDestination_) ? wxString() : dest);
    const wxSize size = GetSize();
    settings_->Write("Width", static_cast<long>(size.x));
    settings_->Write("Height", static_cast<long>(size.y));
    settings_->Flush();
  }

  ViewContext& ctx_;
  std::vector<PageLink> links_;
  std::vector<std::string> kinds_;
  std::vector<bool> chosen_;
  std::vector<std::string> names_;
  std::vector<NamedFilter> filters_;
  std::map<std::string, std::string> givenNames_;
  std::vector<size_t> failed_;
  std::string page_, title_, defaultDestination_;
  std::unique_ptr<wxFileConfig> settings_;
  bool running_ = false;

  wxTextCtrl* quick_ = nullptr;
  wxTextCtrl* mask_ = nullptr;
  wxTextCtrl* dest_ = nullptr;
  wxStaticText* count_ = nullptr;
  wxStaticText* status_ = nullptr;
  wxDataViewCtrl* list_ = nullptr;
  LinkListModel* model_ = nullptr;
  wxRadioBox* existing_ = nullptr;
  wxListBox* results_ = nullptr;
  wxButton* retry_ = nullptr;
  wxButton* download_ = nullptr;
};

void LinkListModel::GetValueByRow(wxVariant& value, unsigned row, unsigned col) const {
  owner_.Value(value, row, col);
}

bool LinkListModel::SetValueByRow(const wxVariant& value, unsigned row, unsigned col) {
  if (col != kColChosen) return false;
  owner_.Toggle(row, value.GetBool());
  return true;
}

class LinkSelectionCommands : public CommandModule {
 public:
  LinkSelectionCommands(ViewContext& ctx, wxWindow* parent) : ctx_(ctx), parent_(parent) {}
  void Register(CommandRouter& router) override {
    router.Add(kCmdSelectLinks, CommandTarget::View, [this] { Open(); },
               [this] { return !ctx_.Engine().Busy(); });
  }

 private:
  void Open() {
    std::optional<std::vector<PageLink>> links = CollectPageLinks(ctx_.Browser());
    if (!links) {
      ctx_.Ui().ShowMessage("このページのリンクを読み取れません。", MessageIcon::Exclamation);
      return;
    }
    if (window_) window_->Destroy();  // one window, for the page on show now
    window_ = new LinkSelectionWindow(parent_, ctx_, std::move(*links));
    window_->Show();
  }

  ViewContext& ctx_;
  wxWindow* parent_;
  wxWeakRef<LinkSelectionWindow> window_;
};

}  // namespace

std::unique_ptr<CommandModule> MakeLinkSelectionCommands(ViewContext& ctx, wxWindow* parent) {
  return std::make_unique<LinkSelectionCommands>(ctx, parent);
}

}  // namespace mireva
