#pragma once
// The patrol run: visits the entries of "Patrol.lst" one per finished page in
// the browser view, calls the engine's "ALoad" once per enabled download type
// for every page, and tells the watcher what goes on.
//
// States: Idle -> StartPatrol opens the list and visits the first entry.
// Visiting a page: navigate to it, then Downloading while the engine fetches
// each enabled type (the window stays live: page events arrive meanwhile and
// are only noted), after each type but on the first page a reload of the
// page; then AwaitingPage
// until the page's document-complete event, which visits the next entry. Only
// that event advances the patrol, so a page is never cut by the events of
// its own loads, and none is skipped or visited twice. A page that has not
// completed within the page time limit after its last load began
// ("[Patrol] PageTimeLimit" in "TollickApp.ini", seconds, default 60) counts
// as failed and the run goes on with the next entry; the engine's downloads
// are not timed by it. The first event that finds no entry left closes the
// list; the run then waits (Finishing) for the fingerprints still asked of the
// view, at most kFingerprintWaitMs, writes its report -> Idle, with the totals
// in the status bar. Stop (StopPatrol) ends the run from any state and
// cancels the engine.
//
// Each page's fingerprint is taken from the bytes of the page the view shows
// at its document-complete event, asked of the view without waiting: the run
// goes on to the next page at once and the answer is filed under its page.
//
// The status bar shows the run while it goes on: page k of n, files done of
// found, bytes and the current speed, from the engine's progress reports.
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/runtime/download_engine.h"
#include "core/view_context.h"
#include "core/download_types.h"
#include "core/transfer_meter.h"
#include "patrol/patrol_list.h"
#include "patrol/patrol_report.h"

namespace mireva {

// The page time limit when the settings name none, and the bounds of a named one.
inline constexpr unsigned kDefaultPageTimeLimitSeconds = 60;
inline constexpr unsigned kMaxPageTimeLimitSeconds = 24 * 60 * 60;
// How long the end of a run waits for the view's last page bytes.
inline constexpr unsigned kFingerprintWaitMs = 5000;

// The page time limit in "TollickApp.ini" at `iniPath`: "[Patrol]
// PageTimeLimit=<seconds>", 1 to kMaxPageTimeLimitSeconds; the default for a
// missing, empty or unreadable value, the bound for one beyond it.
unsigned ReadPageTimeLimitSeconds(const std::string& iniPath);

class PatrolRun {
 public:
  // Sends one notice to the watcher; false when it cannot be delivered, with
  // errno saying why (as SendWatcherNotice leaves it).
  using Notifier = std::function<bool(const std::string&)>;

  // `folder` holds "Patrol.lst" and "TollickApp.ini" ("" = the current folder).
  PatrolRun(ViewContext& ctx, std::string folder, Notifier notifier);

  // Sends `text`. False on failure, after "Mailslot が使用できません。" when no
  // watcher listens, or the system's text for any other failed write.
  bool NotifyWatcher(const std::string& text);
  // Command 2201 (and the news dialog's OK).
  void StartPatrol();
  // The view's document-complete hook; the address itself is not used.
  void ContinuePatrol(const std::string& pageAddress);
  // The user's Stop: the list is closed, the run is idle and the watcher is
  // told "download break"; later page events never resume it. Nothing
  // happens when no patrol runs.
  void StopPatrol();
  // Command 2250: runs the type dialog (`loadTypeDlg`, zero = cancelled), then
  // reads the 21 types from "TollickApp.ini" and sends "download set".
  void SelectDownloadTypes(const std::function<int()>& loadTypeDlg);
  // Reads the types from "TollickApp.ini" without the dialog. The run itself
  // starts with every type off; the program calls this where a patrol must use
  // the saved settings (a patrol started from the command line).
  void ReadTypeSettings();

  // Also while a stopped run waits for its call to return what it saved.
  bool PatrolRunning() const {
    return (state_ != State::Idle && state_ != State::Starting) || reportWhenCallEnds_;
  }
  bool DownloadBusy() const { return state_ == State::Downloading; }
  const DownloadTypeFlags& DownloadTypes() const { return downloadTypes_; }

  // Called after a patrol command or step has ended with no patrol running: a
  // start that failed or found an empty list, or the end of a run.
  void SetPatrolEndedHook(std::function<void()> hook) { endedHook_ = std::move(hook); }

  // What the last (or current) run did with each page it visited.
  struct PageResult {
    std::string address;
    size_t newFiles = 0;     // files the engine saved from the page
    size_t failedFiles = 0;  // files it found but could not save
    bool failed = false;     // the engine could not read the page, or could not be called
    std::string reason;      // why it failed (Shift_JIS)
    std::vector<ReportedFile> files;  // saved from the page, as the engine said
    std::string fingerprint;  // of the page's bytes once it showed (TextFingerprint)
    bool timedOut = false;    // failed: not shown within the page time limit
  };
  const std::vector<PageResult>& Pages() const { return pages_; }
  // The status-bar text of the run: its progress, or its totals once ended.
  std::string StatusText() const;
  // The last run's summary, one line per page: "state<TAB>address<TAB>new files".
  const std::string& SummaryLines() const { return summary_; }
  // Command 2203: shows the latest report page, or says there is none yet.
  void OpenLatestReport();

 private:
  enum class State { Idle, Starting, Downloading, AwaitingPage, Finishing };

  void EndedIfIdle();
  // Visits the next entry (downloads included); ends the run when none is left.
  void VisitNext();
  // One "ALoad" with the patrol's progress host; false when the run was
  // stopped meanwhile.
  bool Download(const std::string& address, const char* extension);
  void Finish();
  // Enters AwaitingPage for the page just visited and starts its time limit.
  void AwaitPage();
  // The page time limit of visit `visit` has passed.
  void PageTimedOut(unsigned visit);
  // Asks the view for the bytes of the page on show, filed as page `index`'s
  // fingerprint when they come.
  void TakeFingerprint(size_t index);
  // Writes the report of the run (and the page fingerprints); true when written.
  bool WriteReport();
  void ShowStatus();
  // The patrol's hooks for an engine call of run `run`.
  CallHooks Hooks(unsigned run);
  // Hands the engine the resources the page loaded that the view keeps no
  // bytes of (ViewContext::TakePageMedia); false when the run was stopped
  // meanwhile.
  bool FetchPageMedia();
  // After an engine call for page `page` of run `run`: credits the page (also
  // when the run was stopped meanwhile and its report waits), writes that
  // report; false when the run was stopped meanwhile.
  bool CallEnded(unsigned run, size_t page, const CallResult& result);
  // Adds what one engine call did for `page` to it and to the run's totals.
  void Credit(PageResult& page, const CallResult& result);

  ViewContext& ctx_;
  std::string folder_;
  Notifier notifier_;
  PatrolListReader reader_;
  State state_ = State::Idle;
  DownloadTypeFlags downloadTypes_{};
  // A page event arrived while the downloads ran: a later page is loaded
  // again afterwards so that its own event advances the run; the first page
  // is done at once.
  bool completeDuringDownloads_ = false;
  bool stopped_ = false;
  unsigned runId_ = 0;  // a new number for every start and stop
  unsigned visitId_ = 0;  // a new number for every page load awaited
  unsigned pageTimeLimitSeconds_ = kDefaultPageTimeLimitSeconds;
  size_t printsPending_ = 0;  // fingerprints asked of the view, not yet come
  // Gone with the run: what the view calls back later checks it first.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::function<void()> endedHook_;

  // Progress of the run.
  std::vector<PageResult> pages_;
  size_t pageCount_ = 0;        // entries in the list
  size_t filesDone_ = 0;        // of finished engine calls
  size_t filesFound_ = 0;
  size_t callDone_ = 0;         // of the call running now
  size_t callFound_ = 0;
  TransferMeter meter_;  // bytes and speed of the whole patrol
  // Stopped while the engine worked for the run: the report is written when
  // the call has returned what it saved.
  bool reportWhenCallEnds_ = false;
  std::string summary_;
};

}  // namespace mireva
