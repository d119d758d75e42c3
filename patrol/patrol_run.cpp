#include "patrol/patrol_run.h"

#include <time.h>
#include <cerrno>
#include <cstring>

#include <utility>

#include "core/download_engine.h"
#include "patrol/patrol_dialog_models.h"
#include "platform/text_encoding.h"

namespace mireva {

PatrolRun::PatrolRun(ViewContext& ctx, std::string folder, Notifier notifier)
    : ctx_(ctx),
      folder_(std::move(folder)),
      notifier_(std::move(notifier)),
      reader_(ctx.Ui(), InFolder(folder_, kPatrolListFile)) {}

bool PatrolRun::NotifyWatcher(const std::string& text) {
  errno = 0;
  if (notifier_ && notifier_(text)) return true;
  const int err = errno;
  // No watcher (no socket, nobody listening, no access) is the mailslot that
  // cannot be opened; any other failure is a failed write, shown with the
  // system's text for it.
  if (err == 0 || err == ENOENT || err == ECONNREFUSED || err == EACCES || err == EPERM ||
      err == ENOTDIR || err == ENAMETOOLONG)
    ctx_.Ui().ShowMessage("Mailslot が使用できません。", MessageIcon::Exclamation);
  else
    ctx_.Ui().ShowMessage(Utf8ToSjis(std::strerror(err)), MessageIcon::Exclamation);
  return false;
}

void PatrolRun::EndedIfIdle() {
  if (!patrolRunning_ && endedHook_) endedHook_();
}

void PatrolRun::StartPatrol() {
  // "off" doubles as the test that the watcher is there: no patrol without it.
  if (!NotifyWatcher("off")) return EndedIfIdle();
  NotifyWatcher("download break");
  if (AnyEnabled(downloadTypes_)) {
    // The watcher takes "download start" 100 ms after "download break".
    // (<chrono> cannot be compiled with the Shift_JIS execution charset.)
    timespec pause{0, 100 * 1000 * 1000};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
    NotifyWatcher("download start");
  }
  // Fails with its message also while a run is in progress; that run then
  // ends at its next step.
  if (!reader_.Open()) return EndedIfIdle();
  if (!ctx_.Engine().BindEntry(EngineEntry::ALoad)) {
    // Left open, the list would make every later start fail as "in progress".
    reader_.Close();
    return EndedIfIdle();
  }
  std::string address;
  if (!reader_.NextEntry(&address)) {
    reader_.Close();
    patrolRunning_ = false;
    return EndedIfIdle();
  }
  ctx_.SetAddressField(address);
  ctx_.Browser().Navigate(address);
  starting_ = true;
  completeWhileStarting_ = false;
  const auto& table = DownloadTypeTable();
  for (size_t i = 0; i < table.size() && starting_; ++i)
    if (downloadTypes_[i]) ctx_.Engine().ALoad(address, table[i].extension);
  if (!starting_) return;  // stopped by the user while the engine ran
  starting_ = false;
  patrolRunning_ = true;
  if (completeWhileStarting_) ctx_.Browser().Navigate(address);
}

void PatrolRun::ContinuePatrol(const std::string& /*pageAddress*/) {
  if (starting_) {
    completeWhileStarting_ = true;
    return;
  }
  if (!patrolRunning_ || downloadBusy_) return;
  std::string address;
  if (!reader_.NextEntry(&address)) {
    patrolRunning_ = false;
    reader_.Close();
    return EndedIfIdle();
  }
  ctx_.SetAddressField(address);
  ctx_.Browser().Navigate(address);
  const auto& table = DownloadTypeTable();
  for (size_t i = 0; i < table.size(); ++i) {
    if (!downloadTypes_[i] || downloadBusy_) continue;
    downloadBusy_ = true;
    ctx_.Engine().ALoad(address, table[i].extension);
    downloadBusy_ = false;
    // Stopped by the user while the engine ran: no more downloads, no reload.
    if (!patrolRunning_) return;
    ctx_.Browser().Navigate(address);
  }
}

void PatrolRun::StopPatrol() {
  if (!patrolRunning_ && !starting_) return;
  patrolRunning_ = false;
  starting_ = false;
  completeWhileStarting_ = false;
  reader_.Close();
  // Silent: the user asked to stop, a missing watcher is no news then.
  if (notifier_) notifier_("download break");
  EndedIfIdle();
}

void PatrolRun::SelectDownloadTypes(const std::function<int()>& loadTypeDlg) {
  if (!loadTypeDlg || loadTypeDlg() == 0) return;
  ReadTypeSettings();
  NotifyWatcher("download set");
}

void PatrolRun::ReadTypeSettings() {
  downloadTypes_ = ReadDownloadTypes(InFolder(folder_, kTypeSettingsFile));
}

}  // namespace mireva
