// The program: works out the start address, prepares the working folder,
// makes the main window and starts the companion programs.
#include <libintl.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include <glib.h>

#include <wx/app.h>
#include <wx/config.h>
#include <wx/fileconf.h>
#include <wx/image.h>
#include <wx/timer.h>
#include <wx/translation.h>

#include "app/app_options.h"
#include "core/command_ids.h"
#include "app/wx/browser_view.h"
#include "app/companions_start.h"
#include "app/wx/main_frame.h"
#include "app/start_address.h"
#include "platform/file_util.h"
#include "platform/folders.h"
#include "platform/text_encoding.h"
#include "platform/wx/webview_browser.h"

namespace mireva {
namespace {

AppOptions gOptions;

// A failed toolkit check is reported on standard error instead of a modal box that would stop the program in its tracks.
void ReportAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
  std::string text = (file + ":" + wxString::Format("%d", line) + " " + func + ": " + cond + " " + msg)
                         .utf8_string();
  std::fprintf(stderr, "mireva: toolkit check failed: %s\n", text.c_str());
}

// The interface is Japanese whatever the desktop's language. wx's own texts
// (its progress dialog, stock labels) come from its Japanese catalogue.
// GTK's stock buttons ("Cancel" in wx's dialogs on GTK 3), the file chooser,
// the context menus and WebKit's texts come from gettext under the message
// category, which wx leaves at "C" like all the others. Only that category
// changes: character handling (LC_CTYPE), numbers and dates stay "C", and all
// text of the program stays Shift_JIS, converted only in platform/.
void UseJapaneseMessages() {
  auto* translations = new wxTranslations;
  translations->SetLoader(new wxFileTranslationsLoader);
  translations->SetLanguage("ja");
  wxTranslations::Set(translations);
  if (!translations->AddStdCatalog())
    std::fputs("mireva: wx's Japanese texts (wxstd-3.2.mo, Debian package wx3.2-i18n) are not "
               "installed; its dialogs stay English\n",
               stderr);

  // GTK, GLib and WebKit bind their texts to UTF-8. The C library's own texts
  // (strerror and the like) stay untranslated: they come in the charset of
  // LC_CTYPE, which wx leaves at "C", so Japanese would turn into "?", and GLib
  // converts them from that charset (bound to UTF-8 instead, its conversion
  // fails and GLib aborts on the missing message).
  bindtextdomain("libc", "/dev/null");
  if (std::setlocale(LC_MESSAGES, "ja_JP.UTF-8") || std::setlocale(LC_MESSAGES, "ja_JP.utf8"))
    return;
  // No Japanese locale is installed: gettext still follows LANGUAGE under any
  // message locale but plain "C".
  if (std::setlocale(LC_MESSAGES, "C.UTF-8")) setenv("LANGUAGE", "ja", 1);
}

std::vector<std::string> SjisWords(const std::vector<std::string>& utf8Words) {
  std::vector<std::string> words;
  for (const std::string& w : utf8Words) words.push_back(Utf8ToSjis(w));
  return words;
}

std::string SjisCurrentFolder() {
  char* cwd = ::getcwd(nullptr, 0);
  std::string folder = cwd ? Utf8ToSjis(cwd) : std::string();
  std::free(cwd);
  return folder;
}

class MirevaApp : public wxApp {
 public:
  bool OnInit() override {
    wxSetAssertHandler(ReportAssert);
    UseJapaneseMessages();
    wxInitAllImageHandlers();
    SetAppName("Mireva");
    SetVendorName("Local AppWizard-Generated Applications");
    // Worked out before the program changes into its working folder: a file
    // named on the command line is relative to the folder it was started in.
    std::string start = StartAddressFromWords(SjisWords(gOptions.words), SjisCurrentFolder());
    std::string home = WorkingFolder();
    if (!PrepareWorkingFolder(home, DataFolder())) {
      std::fprintf(stderr, "mireva: cannot use the working folder %s\n", home.c_str());
      return false;
    }
    MakeDirectories(Utf8ToSjis(CacheFolder()));
    WebViewBrowser::ConfigureWebContext(CacheFolder());

    frame_ = new MainFrame;
    frame_->Show(true);
    frame_->Update();
    frame_->View().InitialUpdate(start);
    EnsureWatcher(frame_->View().Ui());
    EnsurePrefetchShortcut();

    // Commands given on the command line run once the window is up.
    CallAfter([this] {
      if (std::find(gOptions.commands.begin(), gOptions.commands.end(), kCmdRunPatrol) !=
          gOptions.commands.end())
        frame_->View().UseSavedDownloadTypes();
      for (int id : gOptions.commands) frame_->IssueCommand(id);
      if (gOptions.quitAfterPatrol) WatchPatrol();
    });
    return true;
  }

 private:
  // Ends the program once the patrol started from the command line is over.
  void WatchPatrol() {
    patrolTimer_.SetOwner(this);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
      if (!frame_->View().PatrolRunning()) {
        patrolTimer_.Stop();
        frame_->Close();
      }
    });
    patrolTimer_.Start(500);
  }

  MainFrame* frame_ = nullptr;
  wxTimer patrolTimer_;
};

}  // namespace
}  // namespace mireva

wxIMPLEMENT_APP_NO_MAIN(mireva::MirevaApp);

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  mireva::gOptions = mireva::ParseAppOptions(args);
  if (!mireva::gOptions.error.empty()) {
    std::fprintf(stderr, "mireva: %s\n", mireva::gOptions.error.c_str());
    return 2;
  }
  if (mireva::gOptions.help) {
    std::fputs(mireva::AppUsage().c_str(), stdout);
    return 0;
  }
  if (mireva::gOptions.version) {
    std::puts("Mireva Version " MIREVA_VERSION);
    return 0;
  }
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
    std::fputs("mireva: no display is set; run it on a desktop, or under Xvfb: xvfb-run -a mireva\n",
               stderr);
    return 1;
  }
  // WebKit keeps its cache and data under the program's name in the user's
  // folders (~/.cache/mireva, where the watcher looks); fix the name.
  g_set_prgname("mireva");
  // wx sees only the program's name: our options and the address are ours.
  int wxArgc = 1;
  char* wxArgv[] = {argv[0], nullptr};
  return wxEntry(wxArgc, wxArgv);
}
