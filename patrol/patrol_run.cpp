#include "patrol/patrol_run.h"

#include <time.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <algorithm>
#include <map>

#include <utility>

#include "core/runtime/download_engine.h"
#include "history/history_store.h"
#include "patrol/patrol_dialog_models.h"
#include "patrol/patrol_report.h"
#include "platform/file_util.h"
#include "platform/ini_file.h"
#include "platform/monotonic_clock.h"
#include "platform/text_helpers.h"
#include "platform/text_encoding.h"

namespace mireva {

unsigned ReadPageTimeLimitSeconds(const std::string& iniPath) {
  const std::string text = GetProfileString(iniPath, "Patrol", "PageTimeLimit", "", 32);
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    return kDefaultPageTimeLimitSeconds;
  // Digits only: an overflow saturates, which the bound then takes.
  const unsigned long long seconds = std::strtoull(text.c_str(), nullptr, 10);
  if (seconds == 0) return kDefaultPageTimeLimitSeconds;
  return static_cast<unsigned>(
      std::min<unsigned long long>(seconds, kMaxPageTimeLimitSeconds));
}

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
  if (state_ == State::Idle && endedHook_) endedHook_();
}

void PatrolRun::StartPatrol() {
  // A patrol needs the engine to itself from its first page on.
  if (ctx_.Engine().Busy()) {
    ctx_.Ui().ShowMessage("ダウンロード中です。終わるまでお待ちください。", MessageIcon::Exclamation);
    return EndedIfIdle();
  }
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
  // The number of pages, for "page k of n": a second reading of the list.
  pageCount_ = 0;
  {
    PatrolListReader counter(ctx_.Ui(), InFolder(folder_, kPatrolListFile));
    std::string entry;
    if (counter.Open())
      while (counter.NextEntry(&entry)) ++pageCount_;
  }
  pageTimeLimitSeconds_ = ReadPageTimeLimitSeconds(InFolder(folder_, kTypeSettingsFile));
  printsPending_ = 0;
  pages_.clear();
  filesDone_ = filesFound_ = callDone_ = callFound_ = 0;
  meter_ = TransferMeter();
  stopped_ = false;
  reportWhenCallEnds_ = false;
  ++runId_;
  state_ = State::Starting;
  ctx_.Engine().Hold(true);
  VisitNext();
}

void PatrolRun::VisitNext() {
  std::string address;
  if (!reader_.NextEntry(&address)) return Finish();
  PageResult visited;
  visited.address = address;
  pages_.push_back(std::move(visited));
  const bool first = state_ == State::Starting;
  ctx_.SetAddressField(address);
  ctx_.Browser().Navigate(address);
  ShowStatus();
  completeDuringDownloads_ = false;
  const auto& table = DownloadTypeTable();
  for (size_t i = 0; i < table.size(); ++i) {
    if (!downloadTypes_[i]) continue;
    if (!Download(address, table[i].extension)) return;  // stopped meanwhile
    // The page is loaded again after each type, as the watcher collects from
    // the page's own loads; the first page only when its load already ended.
    if (!first) ctx_.Browser().Navigate(address);
  }
  AwaitPage();
  // The first page finished loading while its downloads ran: it is done, and
  // the run goes on as its event would have had it (no second load).
  if (first && completeDuringDownloads_) ContinuePatrol(address);
}

void PatrolRun::AwaitPage() {
  state_ = State::AwaitingPage;
  ShowStatus();
  const unsigned visit = ++visitId_;
  std::weak_ptr<bool> alive = alive_;
  ctx_.CallLater(pageTimeLimitSeconds_ * 1000u, [this, alive, visit] {
    if (alive.lock()) PageTimedOut(visit);
  });
}

void PatrolRun::PageTimedOut(unsigned visit) {
  if (visit != visitId_ || state_ != State::AwaitingPage || pages_.empty()) return;
  PageResult& page = pages_.back();
  page.failed = true;
  page.timedOut = true;
  page.reason = std::to_string(pageTimeLimitSeconds_) + " 秒以内に読み込まれませんでした";
  // The next navigation supersedes the load that never ended.
  state_ = State::Downloading;
  VisitNext();
}

void PatrolRun::TakeFingerprint(size_t index) {
  ++printsPending_;
  const unsigned run = runId_;
  std::weak_ptr<bool> alive = alive_;
  ctx_.Browser().RequestPageBytes([this, alive, run, index](std::string bytes) {
    if (!alive.lock() || run != runId_) return;
    if (index < pages_.size()) pages_[index].fingerprint = TextFingerprint(bytes);
    if (printsPending_ > 0) --printsPending_;
    if (printsPending_ == 0 && state_ == State::Finishing) Finish();
  });
}

namespace {

// The site folder of a page, as the engine names it for the page's files.
std::string SiteFolderOf(const std::string& page) {
  std::string safe;
  for (char c : AddressHost(page))
    if (IsAsciiAlnum(c) || c == '.' || c == '-') safe += c;
  if (safe.empty() || safe.find_first_not_of('.') == std::string::npos) safe = "misc";
  return "DownLoad/" + safe;
}

// A file's name from its address: the last part of its path ("download"
// for none); the engine makes it safe.
std::string NameOf(const std::string& address) {
  std::string path = address.substr(0, address.find_first_of("?#"));
  const size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return name.empty() ? std::string("download") : name;
}

}  // namespace

bool PatrolRun::FetchPageMedia() {
  std::vector<std::string> media = ctx_.TakePageMedia();
  if (media.empty() || pages_.empty() || !ctx_.Engine().HasSelectionEntry()) return true;
  std::string items;
  for (const std::string& address : media)
    if (address.find_first_of("\t\r\n") == std::string::npos)
      items += address + "\t" + NameOf(address) + "\n";
  const unsigned run = runId_;
  const size_t page = pages_.size() - 1;
  const std::string& address = pages_[page].address;
  // Skipped when the history has the address or a file of its name is there.
  CallResult files =
      ctx_.Engine().LoadSelection(address, SiteFolderOf(address), items, "skip", Hooks(run));
  // Only the files count: a refused or failed media fetch does not make the
  // page itself failed.
  if (!files.Ran()) files = CallResult{};
  files.status = CallStatus::Done;
  files.page = DL_PAGE_FETCHED;
  return CallEnded(run, page, files);
}

CallHooks PatrolRun::Hooks(unsigned run) {
  CallHooks hooks;
  hooks.progress = [this, run](const std::string& text, long long bytes) {
    if (run != runId_) return true;
    meter_.Report(text, bytes, MonotonicMs());
    ShowStatus();
    return stopped_;
  };
  // Unattended runs are not held up by message boxes: the engine's messages
  // go to standard error; what they say reaches the run as values.
  hooks.message = [](const std::string& text) {
    std::fprintf(stderr, "DownLoad: %s\n", SjisToUtf8(text).c_str());
  };
  hooks.count = [this, run](FileCount count) {
    if (run != runId_) return;
    callDone_ = count.done;
    callFound_ = count.total;
    ShowStatus();
  };
  return hooks;
}

bool PatrolRun::Download(const std::string& address, const char* extension) {
  if (state_ != State::Starting) state_ = State::Downloading;
  const unsigned run = runId_;
  const size_t page = pages_.size() - 1;
  callDone_ = callFound_ = 0;
  return CallEnded(run, page, ctx_.Engine().ALoad(address, extension, Hooks(run)));
}

bool PatrolRun::CallEnded(unsigned run, size_t page, const CallResult& result) {
  callDone_ = callFound_ = 0;
  meter_.EndBatch();
  // Stopped meanwhile: what the call saved still belongs to this run's page
  // (its report waits for it), unless a new run has begun since.
  if (run == runId_ || (stopped_ && reportWhenCallEnds_)) Credit(pages_[page], result);
  if (reportWhenCallEnds_ && state_ == State::Idle) {
    reportWhenCallEnds_ = false;
    WriteReport();
    EndedIfIdle();
  }
  return runId_ == run && !stopped_ && state_ != State::Idle;
}

void PatrolRun::Credit(PageResult& page, const CallResult& result) {
  switch (result.status) {
    case CallStatus::Refused:
    case CallStatus::Missing:
      page.failed = true;
      if (page.reason.empty()) page.reason = result.reason.empty() ? "ダウンロードできませんでした" : result.reason;
      return;
    case CallStatus::Failed:
      if (result.page != DL_PAGE_FETCHED) {
        page.failed = true;
        if (page.reason.empty()) page.reason = result.reason;
      }
      break;
    case CallStatus::Done:
    case CallStatus::Cancelled:
      break;
  }
  for (const FileResult& file : result.files) {
    if (file.outcome == DL_FILE_SAVED) {
      page.files.push_back(ReportedFile{file.address, file.savedPath});
      ++page.newFiles;
    } else if (file.outcome == DL_FILE_FAILED) {
      ++page.failedFiles;
    }
  }
  filesDone_ += result.saved;
  filesFound_ += result.saved + result.failed;
}

std::string PatrolRun::StatusText() const {
  size_t newFiles = 0, failures = 0;
  for (const PageResult& page : pages_) {
    newFiles += page.newFiles;
    failures += page.failedFiles + (page.failed ? 1 : 0);
  }
  if (state_ == State::Idle) {
    return std::string(stopped_ ? "巡回を中止しました: " : "巡回終了: ") +
           std::to_string(pages_.size()) + " ページ、新しいファイル " +
           std::to_string(newFiles) + "、失敗 " + std::to_string(failures);
  }
  std::string text = "巡回中 " + std::to_string(pages_.size()) + "/" +
                     std::to_string(std::max(pageCount_, pages_.size())) + " ページ";
  if (AnyEnabled(downloadTypes_)) {
    text += "  ファイル " + std::to_string(filesDone_ + callDone_) + "/" +
            std::to_string(filesFound_ + callFound_) + "  " + SizeText(meter_.Bytes());
    if (state_ == State::Downloading || state_ == State::Starting)
      text += "  " + SizeText(meter_.Speed(MonotonicMs())) + "/s";
  }
  return text;
}

void PatrolRun::ShowStatus() { ctx_.SetStatusText(StatusText()); }

void PatrolRun::Finish() {
  reader_.Close();
  if (printsPending_ > 0) {
    // The last pages' bytes are on their way; a view that never answers
    // holds the report back kFingerprintWaitMs at most.
    if (state_ == State::Finishing) return;
    state_ = State::Finishing;
    const unsigned run = runId_;
    std::weak_ptr<bool> alive = alive_;
    ctx_.CallLater(kFingerprintWaitMs, [this, alive, run] {
      if (!alive.lock() || run != runId_ || state_ != State::Finishing) return;
      printsPending_ = 0;
      Finish();
    });
    return;
  }
  ctx_.Engine().Hold(false);
  const bool ran = !pages_.empty();
  state_ = State::Idle;
  if (ran) {
    ShowStatus();
    // The report takes the place of the last page.
    if (WriteReport()) OpenLatestReport();
  }
  EndedIfIdle();
}

bool PatrolRun::WriteReport() {
  const std::string folder = folder_.empty() ? std::string(".") : folder_;
  const std::string printsPath = InFolder(folder_, kPatrolFingerprintFile);
  std::map<std::string, std::string> prints = ReadFingerprints(printsPath);
  const std::map<std::string, std::string> last = prints;
  std::vector<ReportedPage> report;
  for (const PageResult& page : pages_) {
    ReportedPage r;
    r.address = page.address;
    r.state = StateOf(page.failed, page.fingerprint, last, page.address);
    r.failedFiles = page.failedFiles;
    if (page.failed) r.reason = page.reason;
    r.files = page.files;
    if (!page.failed && !page.fingerprint.empty()) prints[page.address] = page.fingerprint;
    report.push_back(std::move(r));
  }
  summary_ = PatrolSummaryLines(report);
  WriteFingerprints(printsPath, prints);
  const std::time_t now = std::time(nullptr);
  return WritePatrolReport(folder_, PatrolReportHtml(report, now, stopped_), now);
}

void PatrolRun::OpenLatestReport() {
  const std::string path = InFolder(folder_, kPatrolReportFile);
  if (!ReadWholeFile(path)) {
    ctx_.Ui().ShowMessage("巡回レポートはまだありません。", MessageIcon::Information);
    return;
  }
  std::string address = path;
  if (address.empty() || address[0] != '/') {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return;
    address = Utf8ToSjis(cwd) + "/" + (address.compare(0, 2, "./") == 0 ? address.substr(2) : address);
  }
  address = "file://" + address;
  ctx_.SetAddressField(address);
  ctx_.Browser().Navigate(address);
}

void PatrolRun::ContinuePatrol(const std::string& /*pageAddress*/) {
  switch (state_) {
    case State::Idle:
    case State::Finishing:
      return;
    case State::Starting:
    case State::Downloading:
      // The page's earlier load ended during the downloads; the reload that
      // follows them brings the event that advances the run.
      completeDuringDownloads_ = true;
      return;
    case State::AwaitingPage:
      // The page has shown: its bytes are what the next patrol compares with.
      if (!pages_.empty()) TakeFingerprint(pages_.size() - 1);
      state_ = State::Downloading;
      // What the page loaded without bytes (audio, video) goes to the engine.
      if (!FetchPageMedia()) return;
      VisitNext();
      return;
  }
}

void PatrolRun::StopPatrol() {
  if (state_ == State::Idle) return;
  stopped_ = true;
  ++runId_;
  // Only the patrol's own call is cancelled: a link command's is not ours.
  const bool callRunning = state_ == State::Downloading || state_ == State::Starting;
  if (callRunning && ctx_.Engine().Busy()) ctx_.Engine().Cancel();
  reader_.Close();
  ctx_.Engine().Hold(false);
  state_ = State::Idle;
  // Silent: the user asked to stop, a missing watcher is no news then.
  if (notifier_) notifier_("download break");
  ShowStatus();
  // The running call's files belong in the report: it is written when the
  // call has returned them.
  if (callRunning && ctx_.Engine().Busy()) {
    reportWhenCallEnds_ = true;
    return;
  }
  if (!pages_.empty()) WriteReport();
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
