// The floor for the program's start-up, patrol pace and memory: a bare
// wxWebView in a frame, nothing else. It loads the addresses given one after
// another, each when the one before has finished loading, and ends when the
// last has loaded (or stays open with --stay, for the start-up figure).
//
// The frame opens where and as large as the program's window, with the bars
// every browser window has around its view (a menu bar, a toolbar of 24-pixel
// tools, an address field with a button, a status bar), so both views draw
// pages of the same size: a page's layout and painting cost grow with the
// view's area.
//
// Usage: bare_window [--stay] address...
#include <algorithm>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/button.h>
#include <wx/display.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/textctrl.h>
#include <wx/toolbar.h>
#include <wx/timer.h>
#include <wx/webview.h>

namespace {

std::vector<std::string> gAddresses;
bool gStay = false;

class BareApp : public wxApp {
 public:
  bool OnInit() override {
    const wxRect area = wxDisplay(0u).GetClientArea();
    auto* frame = new wxFrame(nullptr, wxID_ANY, "bare window", wxPoint(30, 20),
                              wxSize(std::max(400, area.width - 50), std::max(300, area.height - 40)));
    auto* menus = new wxMenuBar;
    menus->Append(new wxMenu, "File");
    frame->SetMenuBar(menus);
    wxToolBar* tools = frame->CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT);
    tools->SetToolBitmapSize(wxSize(24, 24));
    tools->AddTool(wxID_ANY, "tool", wxBitmap(24, 24));
    tools->Realize();
    frame->CreateStatusBar(4);
    auto* root = new wxPanel(frame);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxTextCtrl(root, wxID_ANY), 1, wxALIGN_CENTER_VERTICAL);
    row->Add(new wxButton(root, wxID_ANY, "OK"), 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 4);
    row->Add(30, 30, 0, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 8);
    sizer->Add(row, 0, wxEXPAND | wxTOP | wxBOTTOM, 2);
    view_ = wxWebView::New(root, wxID_ANY, wxString());
    sizer->Add(view_, 1, wxEXPAND);
    root->SetSizer(sizer);
    // The empty page the view starts with reports its load as well.
    view_->Bind(wxEVT_WEBVIEW_LOADED, [this](wxWebViewEvent& e) {
      if (!e.GetURL().StartsWith("about:")) Next();
    });
    frame->Show(true);
    if (!gAddresses.empty()) view_->LoadURL(wxString::FromUTF8(gAddresses[0]));
    return true;
  }

 private:
  void Next() {
    if (++next_ < gAddresses.size()) {
      view_->LoadURL(wxString::FromUTF8(gAddresses[next_]));
    } else if (!gStay && next_ == gAddresses.size()) {
      CallAfter([] { wxTheApp->ExitMainLoop(); });
    }
  }

  wxWebView* view_ = nullptr;
  size_t next_ = 0;
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(BareApp);

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--stay")
      gStay = true;
    else
      gAddresses.push_back(a);
  }
  int wxArgc = 1;
  char* wxArgv[] = {argv[0], nullptr};
  return wxEntry(wxArgc, wxArgv);
}
