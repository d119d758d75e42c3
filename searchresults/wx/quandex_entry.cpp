// The library's one export and its library-wide state: the parser, the
// per-engine store and the results dialog, all owned by the ResultHolder,
// which lives from the library's load to its unload.
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <string>

#include <wx/app.h>
#include <wx/init.h>

#include "platform/folders.h"
#include "searchresults/browser_launch.h"
#include "searchresults/engine_results.h"
#include "searchresults/quandex_api.h"
#include "searchresults/result_page_parser.h"
#include "searchresults/wx/result_list_dlg.h"

namespace mireva {
namespace {

// The folder this library was loaded from: Mireva is started from there, as
// the library and the program are installed side by side.
std::string LibraryFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&Quandex), &info) && info.dli_fname) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::canonical(info.dli_fname, ec);
    if (!ec) return path.parent_path().string();
  }
  return ProgramFolder();
}

class ResultHolder {
 public:
  ResultHolder() = default;
  ResultHolder(const ResultHolder&) = delete;
  ResultHolder& operator=(const ResultHolder&) = delete;

  // Runs when the library is unloaded: the dialog goes at once (its code is
  // about to disappear), and wx goes too when this library started it.
  ~ResultHolder() {
    if (dialog_) {
      CResultListDlg* dlg = dialog_;
      dialog_ = nullptr;
      delete dlg;
    }
    if (ownsWx_) wxEntryCleanup();
  }

  void Handle(int engine, char* page) {
    parser_.ParseInto(engine, page, store_);
    if (!EnsureGui()) return;
    if (!dialog_) {
      dialog_ = new CResultListDlg(store_, engine, launcher_, LibraryFolder(),
                                   [this] { dialog_ = nullptr; });
      dialog_->ShowWithoutActivating();
    } else {
      dialog_->RefreshFor(engine);
      // A page that arrives after the user closed the dialog brings it back,
      // without taking the focus from the caller.
      if (!dialog_->IsShown()) dialog_->ShowWithoutActivating();
    }
  }

 private:
  // A wx host has its wxApp; a plain host gets one started here. Without a
  // display there is no dialog, only the store.
  bool EnsureGui() {
    if (wxTheApp) return wxTheApp->IsGUI();
    if (guiUnavailable_) return false;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland)) {
      guiUnavailable_ = true;
      return false;
    }
    static char arg0[] = "Quandex";
    static char* argv[] = {arg0, nullptr};
    int argc = 1;
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv)) {
      guiUnavailable_ = true;
      return false;
    }
    ownsWx_ = true;
    return true;
  }

  ResultPageParser parser_;
  EngineResultStore store_;
  ProcessLauncher launcher_;
  CResultListDlg* dialog_ = nullptr;
  bool ownsWx_ = false;
  bool guiUnavailable_ = false;
};

ResultHolder holder;

}  // namespace
}  // namespace mireva

extern "C" MIREVA_EXPORT int MIREVA_STDCALL Quandex(int engine, char* page, int /*reserved*/) {
  try {
    mireva::holder.Handle(engine, page);
  } catch (...) {
    // Nothing crosses the export: a failure leaves what was stored so far.
  }
  return 0;
}
