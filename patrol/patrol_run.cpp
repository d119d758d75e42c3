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

#include "core/download_engine.h"
#include "history/history_store.h"
#include "patrol/patrol_dialog_models.h"
#include "patrol/patrol_report.h"
#include "platform/file_util.h"
#include "platform/monotonic_clock.h"
#include "platform/text_helpers.h"
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

namespace {

// The engine's words that the patrol counts.
const char kEngineDone[] = "ダウンロード終了 ";
const char kEnginePageFailed[] = "ページを読み込めませんでした";
const char kEnginePageLoading[] = "ページ読み込み中";  // the page itself, not its files

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

}  // namespace

void PatrolRun::EndedIfIdle() {
  if (state_ == State::Idle && endedHook_) endedHook_();
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
  // The number of pages, for "page k of n": a second reading of the list.
  pageCount_ = 0;
  {
    PatrolListReader counter(ctx_.Ui(), InFolder(folder_, kPatrolListFile));
    std::string entry;
    if (counter.Open())
      while (counter.NextEntry(&entry)) ++pageCount_;
  }
  pages_.clear();
  filesDone_ = filesFound_ = callDone_ = callFound_ = 0;
  meter_ = TransferMeter();
  started_ = std::time(nullptr);
  stopped_ = false;
  ++runId_;
  state_ = State::Starting;
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
  state_ = State::AwaitingPage;
  ShowStatus();
  // The first page finished loading while its downloads ran: it is done, and
  // the run goes on as its event would have had it (no second load).
  if (first && completeDuringDownloads_) ContinuePatrol(address);
}

bool PatrolRun::Download(const std::string& address, const char* extension) {
  if (state_ != State::Starting) state_ = State::Downloading;
  DownloadEngine& engine = ctx_.Engine();
  const DownloadEngine::Host previous = engine.CurrentHost();
  engine.SetHost(&PatrolRun::EngineProgress, &PatrolRun::EngineMessage, this);
  callDone_ = callFound_ = 0;
  const unsigned run = runId_;
  engine.ALoad(address, extension);
  engine.SetHost(previous.progress, previous.message, previous.user);
  filesDone_ += callDone_;
  filesFound_ += callFound_;
  meter_.EndBatch();
  callDone_ = callFound_ = 0;
  // Stopped, or stopped and started again, while the engine worked: this
  // visit is over.
  return runId_ == run && !stopped_ && state_ != State::Idle;
}

int PatrolRun::EngineProgress(void* user, const char* text, long long done, long long) {
  auto* self = static_cast<PatrolRun*>(user);
  self->OnEngineText(text ? text : "", done);
  return self->stopped_ ? 1 : 0;
}

void PatrolRun::EngineMessage(void* user, const char* text) {
  // Unattended runs are not held up by message boxes: the engine's messages
  // go to standard error, and the run counts what they say.
  const std::string said = text ? text : "";
  std::fprintf(stderr, "DownLoad: %s\n", SjisToUtf8(said).c_str());
  static_cast<PatrolRun*>(user)->OnEngineText(said, -1);
}

void PatrolRun::OnEngineText(const std::string& text, long long done) {
  if (pages_.empty()) return;
  PageResult& page = pages_.back();
  if (StartsWith(text, kEnginePageFailed)) page.failed = true;
  if (StartsWith(text, kEnginePageLoading)) return ShowStatus();
  if (StartsWith(text, kEngineDone)) {
    const size_t saved = std::strtoul(text.c_str() + std::strlen(kEngineDone), nullptr, 10);
    page.newFiles += saved;
    if (callFound_ > saved) page.failedFiles += callFound_ - saved;
    callDone_ = saved;
  } else if (auto count = CountInProgressText(text)) {
    callDone_ = count->done;
    callFound_ = count->total;
  }
  meter_.Report(text, done, MonotonicMs());
  ShowStatus();
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
  // The files each page brought in, from the download history.
  std::vector<HistoryEntry> fetched;
  HistoryStore history;
  if (history.Open(folder)) {
    HistoryFilter since;
    since.since = started_;
    fetched = history.List(since);
  }
  std::vector<ReportedPage> report;
  for (const PageResult& page : pages_) {
    ReportedPage r;
    r.address = page.address;
    r.state = StateOf(page.failed, page.fingerprint, last, page.address);
    r.failedFiles = page.failedFiles;
    for (auto it = fetched.rbegin(); it != fetched.rend(); ++it)
      if (it->referrer == page.address) r.files.push_back(ReportedFile{it->address, it->file});
    // A page visited twice in one run keeps its files under its first visit.
    for (const ReportedPage& earlier : report)
      if (earlier.address == page.address) r.files.clear();
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
      return;
    case State::Starting:
    case State::Downloading:
      // The page's earlier load ended during the downloads; the reload that
      // follows them brings the event that advances the run.
      completeDuringDownloads_ = true;
      return;
    case State::AwaitingPage:
      // The page has shown: its text is what the next patrol compares with.
      if (!pages_.empty()) pages_.back().fingerprint = TextFingerprint(ctx_.Browser().PageText());
      state_ = State::Downloading;
      VisitNext();
      return;
  }
}

void PatrolRun::StopPatrol() {
  if (state_ == State::Idle) return;
  stopped_ = true;
  ++runId_;
  if (ctx_.Engine().Busy()) ctx_.Engine().Cancel();
  reader_.Close();
  state_ = State::Idle;
  // Silent: the user asked to stop, a missing watcher is no news then.
  if (notifier_) notifier_("download break");
  ShowStatus();
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
