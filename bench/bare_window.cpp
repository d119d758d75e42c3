// The floor for the program's start-up, patrol pace and memory: a bare
// wxWebView in a frame, nothing else. It loads the addresses given one after
// another, each when the one before has finished loading, and ends when the
// last has loaded (or stays open with --stay, for the start-up figure).
//
// Usage: bare_window [--stay] address...
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/timer.h>
#include <wx/webview.h>

namespace {

std::vector<std::string> gAddresses;
bool gStay = false;

class BareApp : public wxApp {
 public:
  bool OnInit() override {
    auto* frame =
        new wxFrame(nullptr, wxID_ANY, "bare window", wxDefaultPosition, wxSize(800, 600));
    view_ = wxWebView::New(frame, wxID_ANY, wxString());
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
