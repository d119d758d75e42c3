#pragma once
// The patrol run: visits the entries of "Patrol.lst" one per finished page in
// the browser view, calls the engine's "ALoad" once per enabled download type
// for every page, and tells the watcher what goes on.
//
// State: idle -> StartPatrol with an entry -> running -> every document-complete
// event (ContinuePatrol) hands out one entry -> the first event that finds none
// closes the list -> idle. While ContinuePatrol's "ALoad" runs, downloadBusy
// shuts further page events out; the renavigation after the call produces the
// event that advances the patrol.
#include <functional>
#include <string>

#include "core/view_context.h"
#include "core/download_types.h"
#include "patrol/patrol_list.h"

namespace mireva {

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

  bool PatrolRunning() const { return patrolRunning_; }
  bool DownloadBusy() const { return downloadBusy_; }
  const DownloadTypeFlags& DownloadTypes() const { return downloadTypes_; }

  // Called after a patrol command or step has ended with no patrol running: a
  // start that failed or found an empty list, or the end of a run.
  void SetPatrolEndedHook(std::function<void()> hook) { endedHook_ = std::move(hook); }

 private:
  void EndedIfIdle();

  ViewContext& ctx_;
  std::string folder_;
  Notifier notifier_;
  PatrolListReader reader_;
  bool patrolRunning_ = false;
  bool downloadBusy_ = false;
  DownloadTypeFlags downloadTypes_{};
  // StartPatrol's own "ALoad" calls run without downloadBusy; a page event
  // that arrives during them (an engine that lets window events through)
  // would find the patrol not yet running and be lost, stalling the patrol.
  // It is remembered here and answered by navigating to the page again.
  bool starting_ = false;
  bool completeWhileStarting_ = false;
  std::function<void()> endedHook_;
};

}  // namespace mireva
