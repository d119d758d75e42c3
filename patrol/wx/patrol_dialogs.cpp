#include "patrol/wx/patrol_dialogs.h"

// The wx dialogs of the patrol commands: the patrol-list editor and the news
// and weather catalogue dialog, built in code. Each shows its model
// (patrol_dialog_models.h) and forwards its buttons; files and messages are
// the model's business.
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/listbox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

#include <memory>

#include "patrol/patrol_commands.h"
#include "platform/wx/wx_text.h"

namespace mireva {
namespace {

// Runs a handler so that no exception escapes into wx's event loop.
template <typename Fn>
void Guarded(Fn&& fn) {
  try {
    fn();
  } catch (...) {
  }
}

// Names a control that has no caption of its own (a list, a field) for the
// accessibility bus, so that a screen reader says what it is for; `label`, the
// text shown beside it, is linked to it as its label.
void NameControl(wxWindow* control, const wxString& name, wxWindow* label = nullptr) {
#ifdef __WXGTK__
  AtkObject* acc = gtk_widget_get_accessible(control->GetConnectWidget());
  if (!acc) return;
  atk_object_set_name(acc, name.utf8_str());
  if (AtkObject* text = label ? gtk_widget_get_accessible(label->GetHandle()) : nullptr) {
    atk_object_add_relationship(acc, ATK_RELATION_LABELLED_BY, text);
    atk_object_add_relationship(text, ATK_RELATION_LABEL_FOR, acc);
  }
#else
  (void)control;
  (void)name;
  (void)label;
#endif
}

void Fill(wxListBox* box, const std::vector<std::string>& items, int selection) {
  box->Freeze();
  box->Clear();
  for (const std::string& item : items) box->Append(ToWx(item));
  if (selection >= 0 && selection < static_cast<int>(items.size())) box->SetSelection(selection);
  box->Thaw();
}

// The patrol-list editor.
class PatrolListDialog : public wxDialog {
 public:
  PatrolListDialog(wxWindow* parent, Interaction& ui, const std::string& folder)
      : wxDialog(parent, 132, ToWx("巡回リスト"), wxDefaultPosition, wxDefaultSize,
                 wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
        model_(ui, folder) {
    list_ = new wxListBox(this, 500, wxDefaultPosition, wxSize(440, 260), 0, nullptr, wxLB_SINGLE);
    edit_ = new wxTextCtrl(this, 510, wxEmptyString, wxDefaultPosition, wxSize(360, -1));
    edit_->SetMaxLength(static_cast<unsigned long>(kMaxListLine));
    auto* urlLabel = new wxStaticText(this, wxID_ANY, "URL");
    NameControl(list_, ToWx("巡回リスト"));
    NameControl(edit_, "URL", urlLabel);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(urlLabel, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    row->Add(edit_, 1, wxEXPAND);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    const struct {
      int id;
      const char* caption;
    } kButtons[] = {
        {501, "追加"}, {502, "削除"}, {504, "クリア"}, {505, "保存"}, {wxID_CANCEL, "閉じる"}};
    for (const auto& b : kButtons)
      buttons->Add(new wxButton(this, b.id, ToWx(b.caption)), 0, wxALL, 3);
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(list_, 1, wxEXPAND | wxALL, 8);
    top->Add(row, 0, wxEXPAND | wxLEFT | wxRIGHT, 8);
    top->Add(buttons, 0, wxALIGN_RIGHT | wxALL, 8);
    SetSizerAndFit(top);
    SetEscapeId(wxID_CANCEL);

    list_->Bind(wxEVT_LISTBOX,
                [this](wxCommandEvent&) { model_.selection = list_->GetSelection(); });
    Bind(
        wxEVT_BUTTON,
        [this](wxCommandEvent&) {
          Guarded([this] { Apply(model_.Add(FromWx(edit_->GetValue()))); });
        },
        501);
    Bind(
        wxEVT_BUTTON,
        [this](wxCommandEvent&) {
          Guarded([this] {
            model_.Delete();
            Apply(true);
          });
        },
        502);
    Bind(
        wxEVT_BUTTON,
        [this](wxCommandEvent&) {
          Guarded([this] {
            model_.Clear();
            Apply(true);
          });
        },
        504);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Guarded([this] { model_.Save(); }); }, 505);

    model_.Load();
    Apply(true);
    CentreOnParent();
  }

 private:
  void Apply(bool changed) {
    if (changed) Fill(list_, model_.items, model_.selection);
  }

  PatrolListEditor model_;
  wxListBox* list_;
  wxTextCtrl* edit_;
};

// Sites from a catalogue into the patrol list.
class NewsDialog : public wxDialog {
 public:
  NewsDialog(wxWindow* parent, Interaction& ui, CatalogueKind kind, const std::string& folder)
      : wxDialog(parent, 141, ToWx("ニュース"), wxDefaultPosition, wxDefaultSize,
                 wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
        model_(kind, ui, folder) {
    caption_ = new wxStaticText(this, 756, wxEmptyString);
    catalogue_ =
        new wxListBox(this, 752, wxDefaultPosition, wxSize(220, 280), 0, nullptr, wxLB_SINGLE);
    patrol_ =
        new wxListBox(this, 753, wxDefaultPosition, wxSize(320, 280), 0, nullptr, wxLB_SINGLE);
    auto* middle = new wxBoxSizer(wxVERTICAL);
    middle->AddStretchSpacer();
    middle->Add(new wxButton(this, 754, ToWx("追加")), 0, wxALL, 3);
    middle->Add(new wxButton(this, 755, ToWx("削除")), 0, wxALL, 3);
    middle->AddStretchSpacer();
    auto* left = new wxBoxSizer(wxVERTICAL);
    left->Add(caption_, 0, wxBOTTOM, 4);
    left->Add(catalogue_, 1, wxEXPAND);
    auto* right = new wxBoxSizer(wxVERTICAL);
    auto* patrolLabel = new wxStaticText(this, wxID_ANY, ToWx("巡回リスト"));
    NameControl(patrol_, ToWx("巡回リスト"), patrolLabel);
    right->Add(patrolLabel, 0, wxBOTTOM, 4);
    right->Add(patrol_, 1, wxEXPAND);
    auto* lists = new wxBoxSizer(wxHORIZONTAL);
    lists->Add(left, 1, wxEXPAND | wxALL, 8);
    lists->Add(middle, 0, wxEXPAND);
    lists->Add(right, 1, wxEXPAND | wxALL, 8);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto* ok = new wxButton(this, wxID_OK, ToWx("巡回"));
    ok->SetDefault();
    buttons->Add(ok, 0, wxALL, 3);
    buttons->Add(new wxButton(this, wxID_CANCEL, ToWx("ｷｬﾝｾﾙ")), 0, wxALL, 3);
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(lists, 1, wxEXPAND);
    top->Add(buttons, 0, wxALIGN_RIGHT | wxALL, 8);
    SetSizerAndFit(top);

    catalogue_->Bind(wxEVT_LISTBOX, [this](wxCommandEvent&) {
      model_.catalogueSelection = catalogue_->GetSelection();
    });
    patrol_->Bind(wxEVT_LISTBOX,
                  [this](wxCommandEvent&) { model_.patrolSelection = patrol_->GetSelection(); });
    Bind(
        wxEVT_BUTTON,
        [this](wxCommandEvent&) {
          Guarded([this] {
            model_.Add(catalogue_->GetSelection());
            Refresh();
          });
        },
        754);
    Bind(
        wxEVT_BUTTON,
        [this](wxCommandEvent&) {
          Guarded([this] {
            model_.Delete();
            Refresh();
          });
        },
        755);
    // OK saves first; a list that could not be written keeps the dialog open.
    Bind(
        wxEVT_BUTTON,
        [this](wxCommandEvent&) {
          Guarded([this] {
            if (model_.Save()) EndModal(wxID_OK);
          });
        },
        wxID_OK);

    model_.Load();
    caption_->SetLabel(ToWx(model_.Caption()));
    NameControl(catalogue_, caption_->GetLabel(), caption_);
    for (const CatalogueEntry& e : model_.catalogue) names_.push_back(e.name);
    Fill(catalogue_, names_, model_.catalogueSelection);
    Refresh();
    CentreOnParent();
  }

 private:
  void Refresh() { Fill(patrol_, model_.patrolItems, model_.patrolSelection); }

  NewsDialogModel model_;
  std::vector<std::string> names_;
  wxStaticText* caption_;
  wxListBox* catalogue_;
  wxListBox* patrol_;
};

class WxPatrolDialogs : public PatrolDialogs {
 public:
  explicit WxPatrolDialogs(wxWindow* parent) : parent_(parent) {}
  void EditPatrolList(ViewContext& ctx, const std::string& folder) override {
    PatrolListDialog dialog(parent_, ctx.Ui(), folder);
    dialog.ShowModal();
  }
  bool ChooseNewsSites(ViewContext& ctx, CatalogueKind kind, const std::string& folder) override {
    NewsDialog dialog(parent_, ctx.Ui(), kind, folder);
    return dialog.ShowModal() == wxID_OK;
  }

 private:
  wxWindow* parent_;
};

}  // namespace

std::unique_ptr<CommandModule> MakePatrolCommands(ViewContext& ctx, wxWindow* parent) {
  return std::make_unique<PatrolCommands>(ctx, std::make_unique<WxPatrolDialogs>(parent),
                                          PatrolCommands::Options{});
}

}  // namespace mireva
