// The windows of the link commands: the frame-analysis dialog (template 133)
// and the engine's progress window, and the program's factory of the module.
#include <cstdlib>

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/listbox.h>
#include <wx/progdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "app/link_harvest.h"
#include "platform/test_hooks.h"
#include "platform/wx/wx_text.h"
#ifdef MIREVA_HAVE_PAGE_SAVE
#include "app/page_save.h"
#endif

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
  explicit WxFrameChooser(ViewContext& ctx) : ctx_(ctx) {}
  FrameChoice Choose(const std::vector<std::string>& tags) override {
    if (TestModeActive()) return ChooseForTest(tags);
    FrameAnalysisDialog dialog(ctx_.DialogParent(), tags);
    if (dialog.ShowModal() != wxID_OK) return FrameChoice{};
    return dialog.Choice();
  }

 private:
  // Under the test driver the dialog is not shown: its entries are logged and
  // the choice is the next answer, "go N", "analyse N" or anything else (cancel).
  FrameChoice ChooseForTest(const std::vector<std::string>& tags) {
    size_t count = 0;
    for (const std::string& tag : tags) {
      if (tag.empty()) break;
      TestLog("frame", FrameEntryText(tag));
      ++count;
    }
    FrameChoice choice;
    auto answer = NextTestAnswer();
    if (!answer) return choice;
    size_t sp = answer->find(' ');
    std::string verb = answer->substr(0, sp);
    size_t index = sp == std::string::npos ? count : std::strtoul(answer->c_str() + sp + 1, nullptr, 10);
    if (index >= count || (verb != "go" && verb != "analyse")) return choice;
    choice.action = verb == "go" ? FrameAction::Go : FrameAction::Analyse;
    choice.index = index;
    return choice;
  }

  ViewContext& ctx_;
};

class WxEngineProgress : public EngineProgressView {
 public:
  explicit WxEngineProgress(ViewContext& ctx) : ctx_(ctx) {}
  void Begin(const std::string& title) override {
    dialog_ = std::make_unique<wxProgressDialog>(
        ToWx(title), ToWx(title), 100, ctx_.DialogParent(),
        wxPD_CAN_ABORT | wxPD_APP_MODAL | wxPD_ELAPSED_TIME | wxPD_SMOOTH);
  }
  bool Update(const std::string& text) override {
    if (!dialog_) return false;
    return !dialog_->Pulse(ToWx(text));
  }
  void End() override { dialog_.reset(); }

 private:
  ViewContext& ctx_;
  std::unique_ptr<wxProgressDialog> dialog_;
};

}  // namespace

std::unique_ptr<CommandModule> MakeLinkHarvestCommands(ViewContext& ctx) {
  return std::make_unique<LinkHarvestCommands>(
      ctx, std::make_unique<WxFrameChooser>(ctx), std::make_unique<WxEngineProgress>(ctx),
      [&ctx](const std::string& address, const std::string& target) {
#ifdef MIREVA_HAVE_PAGE_SAVE
        FetchToFile(ctx, address, target, ' ', 'D');
#else
        SavePageWithHovrel(ctx, address, target);
#endif
      });
}

}  // namespace mireva
