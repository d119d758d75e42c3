// The program: works out the start address, prepares the working folder,
// makes the main window and starts the companion programs.
#include <fcntl.h>
#include <libintl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
#include "app/wx/console_interaction.h"
#include "platform/file_util.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/text_encoding.h"
#include "platform/wx/webview_browser.h"

extern char** environ;

namespace mireva {
namespace {

AppOptions gOptions;

// The virtual X server of a --headless run; 0 when none runs.
volatile pid_t gXvfb = 0;

void StopXvfb() {
  const pid_t pid = gXvfb;
  if (pid <= 0) return;
  gXvfb = 0;
  ::kill(pid, SIGTERM);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

// Ended by a signal, the program still takes its X server with it.
void StopXvfbOnSignal(int sig) {
  if (gXvfb > 0) ::kill(gXvfb, SIGTERM);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

// Starts Xvfb on a display it picks itself and points DISPLAY at it. With
// -displayfd the server writes the display number to the pipe once it accepts
// connections. Returns "" on success, else one line saying why not.
std::string StartXvfb() {
  const std::string program = FindProgram("Xvfb");
  if (program.empty())
    return "--headless needs Xvfb, which is not installed (Debian package xvfb)";
  int fds[2];
  // Only the write end is inherited: it is the server's -displayfd.
  if (::pipe(fds) != 0 || ::fcntl(fds[0], F_SETFD, FD_CLOEXEC) != 0)
    return std::string("cannot start Xvfb: ") + std::strerror(errno);
  const std::string displayFd = std::to_string(fds[1]);
  std::vector<std::string> args = {program, "-displayfd", displayFd, "-screen", "0",
                                   "1280x1024x24", "-nolisten", "tcp"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The server's own chatter (keymap warnings) is no news for the run.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int err = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (err != 0) {
    ::close(fds[0]);
    return "cannot start " + program + ": " + std::strerror(err);
  }
  gXvfb = pid;
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  char c = 0;
  // The number ends with a newline; end of file first means the server gave up.
  while (::poll(&p, 1, 20000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  ::close(fds[0]);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
    StopXvfb();
    return "Xvfb did not start (" + program + ")";
  }
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::signal(sig, StopXvfbOnSignal);
  // The program and the companions it starts use the virtual display; nobody
  // reads it, so the accessibility bridge stays off.
  ::setenv("DISPLAY", (":" + number).c_str(), 1);
  ::unsetenv("WAYLAND_DISPLAY");
  ::setenv("NO_AT_BRIDGE", "1", 1);
  return std::string();
}

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

    if (gOptions.commands.empty() && !gOptions.quitAfterPatrol) {
      // The companions start once the first page is complete (or after
      // kCompanionDelayMs, if it takes longer): on two cores their start-up
      // would otherwise compete with the web engine's for the first page.
      // Out of the page event: a failed start shows a message box.
      frame_->View().AddDocumentCompleteHook(
          [this](const std::string&) { CallAfter([this] { StartCompanions(); }); });
      companionTimer_.SetOwner(this, kCompanionTimerId);
      Bind(wxEVT_TIMER, [this](wxTimerEvent&) { StartCompanions(); }, kCompanionTimerId);
      companionTimer_.StartOnce(kCompanionDelayMs);
      return true;
    }
    // Commands given on the command line run once the window is up; a patrol
    // among them sends the watcher notices at once, so it waits for it.
    StartCompanions();
    CallAfter([this] {
      if (watcherStarted_) WaitForWatcher();
      if (std::find(gOptions.commands.begin(), gOptions.commands.end(), kCmdRunPatrol) !=
          gOptions.commands.end())
        frame_->View().UseSavedDownloadTypes();
      for (int id : gOptions.commands) frame_->IssueCommand(id);
      if (gOptions.quitAfterPatrol) WatchPatrol();
    });
    return true;
  }

 private:
  static constexpr int kCompanionTimerId = 1;
  static constexpr int kPatrolTimerId = 2;
  static constexpr int kCompanionDelayMs = 2000;

  // The watcher and the shortcut maker, once.
  void StartCompanions() {
    if (companionsStarted_) return;
    companionsStarted_ = true;
    companionTimer_.Stop();
    watcherStarted_ = EnsureWatcher(frame_->View().Ui());
    EnsurePrefetchShortcut();
  }

  // Ends the program once the patrol started from the command line is over.
  void WatchPatrol() {
    patrolTimer_.SetOwner(this, kPatrolTimerId);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
      if (!frame_->View().PatrolRunning()) {
        patrolTimer_.Stop();
        // What the patrol brought in, for cron to mail: one line per page.
        std::fputs(SjisToUtf8(frame_->View().PatrolSummary()).c_str(), stdout);
        std::fflush(stdout);
        frame_->Close();
      }
    }, kPatrolTimerId);
    patrolTimer_.Start(500);
  }

  MainFrame* frame_ = nullptr;
  bool companionsStarted_ = false;
  bool watcherStarted_ = false;
  wxTimer companionTimer_;
  wxTimer patrolTimer_;
};

}  // namespace
}  // namespace mireva

wxIMPLEMENT_APP_NO_MAIN(mireva::MirevaApp);

int main(int argc, char** argv) {
  // A peer that closes its connection must not end the program: the
  // engine's transfers get EPIPE instead of the signal.
  ::signal(SIGPIPE, SIG_IGN);
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
  // Unattended runs report on standard error: a message box would wait for
  // nobody, and a patrol that cannot start ends the run with status 1.
  mireva::ConsoleInteraction::toConsole =
      mireva::gOptions.headless || mireva::gOptions.quitAfterPatrol;
  if (mireva::gOptions.headless) {
    std::string error = mireva::StartXvfb();
    if (!error.empty()) {
      std::fprintf(stderr, "mireva: %s\n", error.c_str());
      return 1;
    }
  } else if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
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
  int status = wxEntry(wxArgc, wxArgv);
  mireva::StopXvfb();
  if (status == 0 && mireva::ConsoleInteraction::failed) status = 1;
  return status;
}
