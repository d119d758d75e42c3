// The results dialog of libQuandex.so in a wx host, under a (virtual) display:
// pages for several engines, the engine radios, the marks, the logo and the
// buttons, reached by their control ids as a user reaches them by clicks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/bmpbuttn.h>
#include <wx/init.h>
#include <wx/listbox.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/toplevel.h>

#include "platform/dynamic_library.h"
#include "platform/text_encoding.h"
#include "searchresults/quandex_api.h"
#include "tests/support/gtk_leak_suppressions.h"
#include "tests/support/test_server.h"

namespace mireva {
namespace {

bool HaveDisplay() {
  const char* d = std::getenv("DISPLAY");
  return d && *d;
}

// The host: a wx application that loads the library by name.
class WxHost : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!HaveDisplay()) return;
    static char arg0[] = "quandex_dialog_test";
    static char* argv[] = {arg0, nullptr};
    int argc = 1;
    wxApp::SetInstance(new wxApp);
    started = wxEntryStart(argc, argv);
    if (started) library.Open("Quandex", testing::BinDir());
  }
  void TearDown() override {
    // Unloading deletes the dialog while wx still runs.
    library.Close();
    if (started) wxEntryCleanup();
  }
  bool started = false;
  DynamicLibrary library;
};

WxHost* host = static_cast<WxHost*>(::testing::AddGlobalTestEnvironment(new WxHost));

// GUI text from a narrow (Shift_JIS) literal.
wxString U(const char* sjis) { return wxString::FromUTF8(SjisToUtf8(sjis)); }

void Pump() {
  for (int i = 0; i < 5; ++i) wxTheApp->Yield(true);
}

class ResultsDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveDisplay()) GTEST_SKIP() << "no display";
    ASSERT_TRUE(host->started);
    ASSERT_TRUE(host->library.IsOpen()) << host->library.Error();
    quandex_ = host->library.Entry<QuandexFunction>("Quandex");
    ASSERT_NE(quandex_, nullptr);
  }

  void Send(int engine, const std::string& fixture) {
    std::string text = testing::ReadFile(testing::SourceDir() + "/tests/data/searchresults/" + fixture);
    std::vector<char> page(text.begin(), text.end());
    page.push_back('\0');
    EXPECT_EQ(quandex_(engine, page.data(), 0), 0);
    Pump();
  }

  static wxTopLevelWindow* Dialog() {
    for (wxWindow* w : wxTopLevelWindows) {
      auto* tlw = dynamic_cast<wxTopLevelWindow*>(w);
      if (tlw && tlw->GetTitle() == U("検索結果")) return tlw;
    }
    return nullptr;
  }
  template <typename T>
  static T* Control(int id) {
    wxWindow* dlg = Dialog();
    return dlg ? dynamic_cast<T*>(dlg->FindWindow(id)) : nullptr;
  }
  static wxString Label(int id) {
    auto* s = Control<wxStaticText>(id);
    return s ? s->GetLabel() : wxString("<missing>");
  }
  static std::vector<wxString> Links() {
    std::vector<wxString> links;
    if (auto* list = Control<wxListBox>(501))
      for (unsigned i = 0; i < list->GetCount(); ++i) links.push_back(list->GetString(i));
    return links;
  }
  static wxString Description() {
    auto* d = Control<wxTextCtrl>(500);
    return d ? d->GetValue() : wxString("<missing>");
  }
  static void ClickRadio(int id) {
    auto* radio = Control<wxRadioButton>(id);
    ASSERT_NE(radio, nullptr) << id;
    radio->SetValue(true);
    wxCommandEvent ev(wxEVT_RADIOBUTTON, id);
    ev.SetEventObject(radio);
    ev.SetInt(1);
    radio->ProcessWindowEvent(ev);
    Pump();
  }
  static void ClickButton(int id) {
    ASSERT_NE(Dialog(), nullptr);
    wxWindow* button = Dialog()->FindWindow(id);
    ASSERT_NE(button, nullptr) << id;
    wxCommandEvent ev(wxEVT_BUTTON, id);
    ev.SetEventObject(button);
    button->ProcessWindowEvent(ev);
    Pump();
  }

  QuandexFunction quandex_ = nullptr;
};

// The pages arrive one after the other, as from a caller searching several
// engines; the dialog and the lists live as long as the library.
TEST_F(ResultsDialog, SwitchesEnginesKeepsMarksAndLogo) {
  Send(0, "yahoo_site_matches.html");
  wxTopLevelWindow* dlg = Dialog();
  ASSERT_NE(dlg, nullptr);
  EXPECT_TRUE(dlg->IsShown());
  EXPECT_EQ(Links(), (std::vector<wxString>{"http://www.example.jp/a.html", "http://www.example.jp/b"}));
  EXPECT_EQ(Label(507), U("1234 件"));
  EXPECT_EQ(Description(), U("  Example A  最初のサイト "));
  EXPECT_EQ(Label(502), "http://www.yahoo.co.jp/");
  EXPECT_EQ(Label(630), U("○"));
  EXPECT_EQ(Label(631), " ");

  // A second page for goo switches the list and marks goo; yahoo's mark stays.
  Send(1, "goo.html");
  EXPECT_EQ(Dialog(), dlg);
  EXPECT_EQ(Links(), (std::vector<wxString>{"http://goo.example/x", "http://goo.example/y"}));
  EXPECT_EQ(Label(507), U("100 件"));
  EXPECT_EQ(Label(631), U("○"));
  EXPECT_EQ(Label(630), U("○"));
  EXPECT_EQ(Label(502), "http://www.goo.ne.jp/");
  EXPECT_TRUE(Control<wxRadioButton>(601)->GetValue());

  // Google has no logo of its own: the list changes, logo and address stay goo's.
  Send(16, "google.html");
  EXPECT_EQ(Links(), (std::vector<wxString>{"http://google.example/g1", "http://google.example/g2"}));
  EXPECT_EQ(Label(634), U("○"));
  EXPECT_EQ(Label(502), "http://www.goo.ne.jp/");
  EXPECT_EQ(Control<wxBitmapButton>(504)->GetToolTipText(), "http://www.goo.ne.jp/");

  // "Not Use" and the row without a caption change nothing.
  for (int id : {605, 611, 615}) {
    ClickRadio(id);
    EXPECT_EQ(Links(), (std::vector<wxString>{"http://google.example/g1", "http://google.example/g2"}));
    EXPECT_EQ(Label(502), "http://www.goo.ne.jp/");
  }

  // Yahoo's radio brings its list back; an engine without a page shows no data.
  ClickRadio(600);
  EXPECT_EQ(Links().size(), 2u);
  EXPECT_EQ(Label(502), "http://www.yahoo.co.jp/");
  ClickRadio(607);
  EXPECT_TRUE(Links().empty());
  EXPECT_EQ(Description(), U("一致するデータがありませんでした。"));
  EXPECT_EQ(Label(507), " ");
  EXPECT_EQ(Label(637), " ");  // clicking marks nothing

  // Selecting a link shows its description.
  ClickRadio(600);
  auto* list = Control<wxListBox>(501);
  list->SetSelection(1);
  wxCommandEvent sel(wxEVT_LISTBOX, 501);
  sel.SetEventObject(list);
  sel.SetInt(1);
  list->ProcessWindowEvent(sel);
  EXPECT_EQ(Description(), U("  Example B  二番目のサイト "));
}

TEST_F(ResultsDialog, CloseHidesAndAnotherPageShowsItAgain) {
  Send(2, "excite.html");
  ASSERT_NE(Dialog(), nullptr);
  ClickButton(2);
  EXPECT_FALSE(Dialog()->IsShown());
  Send(3, "infoseek.html");
  ASSERT_NE(Dialog(), nullptr);
  EXPECT_TRUE(Dialog()->IsShown());
  EXPECT_EQ(Links(), (std::vector<wxString>{"http://infoseek.example/r1", "http://infoseek.example/r2"}));
  EXPECT_EQ(Label(632), U("○"));  // excite's mark is kept while hidden
}

TEST_F(ResultsDialog, SaveWritesTheListOnShowIntoTheCurrentFolder) {
  std::string folder = testing::MakeTempFolder("quandex-dialog");
  std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  Send(5, "lycos.html");
  ClickButton(505);
  std::string saved = testing::ReadFile(folder + "/LYCOS.html");
  EXPECT_EQ(saved.rfind("<HTML><HEAD><TITLE>", 0), 0u);
  EXPECT_NE(saved.find("<a href=\"http://lycos.example/hit1\">http://lycos.example/hit1</a>"),
            std::string::npos);
  std::filesystem::current_path(old);
  testing::RemoveFolder(folder);
}

}  // namespace
}  // namespace mireva
