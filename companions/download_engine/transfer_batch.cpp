#include "companions/download_engine/transfer_batch.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string_view>
#include <thread>

#include "platform/monotonic_clock.h"
#include "companions/download_engine/output_folder.h"
#include "companions/download_engine/partial_file.h"
#include "companions/download_engine/url_tools.h"

namespace mireva::dl {

namespace {

// Progress is reported at most this often, and the loop never sleeps longer,
// so the user's cancel is seen within this time.
constexpr long long kTurnMs = 100;

// The body of an error answer (a 404 page, a 429 notice) is read and dropped
// up to this size, so the connection can serve the next file; a longer one
// ends the transfer instead of holding it until its deadline.
constexpr long long kErrorBodyLimit = 1 << 20;

// Why a file was not saved, in the user's words (Shift_JIS).
const char kReasonTooBig[] = "大きすぎます（サイズの上限を超えました）";
const char kReasonCannotSave[] = "保存できません";
const char kReasonNoStart[] = "転送を始められません";

std::string FailureReason(CURLcode result, long status) {
  switch (result) {
    case CURLE_OK:
      return "HTTP " + std::to_string(status);
    case CURLE_COULDNT_RESOLVE_HOST:
      return "ホストが見つかりません";
    case CURLE_COULDNT_CONNECT:
      return "接続できません";
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
      return "途中で切れました";
    case CURLE_OPERATION_TIMEDOUT:
      return "応答がありません（時間切れ）";
    case CURLE_TOO_MANY_REDIRECTS:
      return "転送先が多すぎます";
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
      return "安全な接続ができません";
    case CURLE_WRITE_ERROR:
      return "保存できません";
    default:
      return std::string("転送に失敗しました: ") + curl_easy_strerror(result);
  }
}

// The total rate limit of a run: a budget of bytes that fills at the rate, up
// to one second's worth. A transfer that finds it spent pauses (its write
// callback answers CURL_WRITEFUNC_PAUSE, so curl keeps the bytes and hands
// them over again) until a later turn has refilled it. curl's own
// CURLOPT_MAX_RECV_SPEED averages over each transfer's life and reads a
// whole socket buffer at once, so small files passed it unslowed.
struct RateGate {
  long long rate = 0;  // bytes a second; 0: no limit
  double budget = 0;
  long long lastMs = 0;
  bool Take(size_t len) {
    if (rate <= 0) return true;
    if (budget <= 0) return false;
    budget -= static_cast<double>(len);
    return true;
  }
  void Refill(long long nowMs) {
    if (rate <= 0) return;
    budget = std::min(budget + static_cast<double>(rate) * static_cast<double>(nowMs - lastMs) / 1000.0,
                      static_cast<double>(rate));
    lastMs = nowMs;
  }
};

// Ends of a transfer that cut its file short, which a resume can continue.
bool IsCut(CURLcode result) {
  return result == CURLE_PARTIAL_FILE || result == CURLE_RECV_ERROR ||
         result == CURLE_OPERATION_TIMEDOUT || result == CURLE_HTTP2_STREAM ||
         result == CURLE_HTTP2 || result == CURLE_GOT_NOTHING;
}

std::string HostOf(const std::string& url) {
  auto parts = SplitUrl(url);
  return parts ? parts->host : std::string();
}

// Waits for a host shorter than this are not told to the host program: with a
// short pause between requests they would only flicker.
constexpr long long kToldWaitMs = 500;

// When each host may get its next request, for the pause between requests.
// Kept for the whole process, so that the calls of a patrol, one after
// another, keep the pause too.
struct HostPace {
  std::mutex lock;
  std::map<std::string, long long> next;  // monotonic ms
  std::minstd_rand random{std::random_device{}()};
};
HostPace& Pace() {
  static HostPace pace;
  return pace;
}

long long PaceOf(const std::string& host) {
  HostPace& pace = Pace();
  std::lock_guard<std::mutex> hold(pace.lock);
  auto it = pace.next.find(host);
  return it == pace.next.end() ? 0 : it->second;
}

void PaceStarted(const std::string& host, long long nowMs, long delayMs, long jitterMs) {
  if (delayMs <= 0 && jitterMs <= 0) return;
  HostPace& pace = Pace();
  std::lock_guard<std::mutex> hold(pace.lock);
  long long wait = std::max(0L, delayMs);
  if (jitterMs > 0) wait += static_cast<long long>(pace.random() % (static_cast<unsigned long>(jitterMs) + 1));
  pace.next[host] = nowMs + wait;
}

// The value of a header line "Name: value\r\n" when its name is `name`.
std::optional<std::string> HeaderValue(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':' ||
      strncasecmp(line.data(), name.data(), name.size()) != 0)
    return std::nullopt;
  line.remove_prefix(name.size() + 1);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
    line.remove_suffix(1);
  return std::string(line);
}

}  // namespace

namespace {

// Names the files that arrived whole on threads of its own: finding a free
// name may mean comparing a file with those of its name, which the transfers
// should not wait for. Only the saver touches a handed file, its job's results and the folders' committers
// until Finish returns; names are chosen one file at a time.
class Saver {
 public:
  struct Work {
    FetchJob* job;
    int fd;
    std::string tempName;
    FileCommitter* committer;
    int folderFd;
    std::string address;  // resumed from a partial file: its record goes once named
    bool resumed = false;
  };

  Saver() {
    for (int i = 0; i < kThreads; ++i) threads_.emplace_back([this] { Loop(); });
  }
  ~Saver() { Finish(Outcome::SaveAll); }
  Saver(const Saver&) = delete;
  Saver& operator=(const Saver&) = delete;

  void Hand(Work work) {
    std::lock_guard<std::mutex> hold(lock_);
    queue_.push_back(std::move(work));
    wake_.notify_one();
  }

  // Waits for the saver; with Drop, files not yet named are removed instead
  // (the user cancelled).
  enum class Outcome { SaveAll, Drop };
  void Finish(Outcome outcome) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (outcome == Outcome::Drop) drop_ = true;
      done_ = true;
      wake_.notify_all();
    }
    for (std::thread& t : threads_)
      if (t.joinable()) t.join();
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
      wake_.wait(hold, [this] { return done_ || !queue_.empty(); });
      if (queue_.empty()) return;
      Work work = std::move(queue_.front());
      queue_.pop_front();
      const bool drop = drop_;
      hold.unlock();
      Save(work, drop, nameLock_);
      hold.lock();
    }
  }

  // The file gets its name now; its bytes reach the disk with the whole
  // batch's (TransferBatch::MakeDurable), before anyone records it.
  static void Save(Work& work, bool drop, std::mutex& nameLock) {
    bool written = !drop;
    if (close(work.fd) != 0) written = false;
    std::optional<std::string> saved;
    if (written) {
      std::lock_guard<std::mutex> hold(nameLock);
      saved = work.committer->Commit(work.tempName, work.job->name);
    }
    else unlinkat(work.folderFd, work.tempName.c_str(), 0);
    if (work.resumed) unlinkat(work.folderFd, PartialRecordName(work.address).c_str(), 0);
    if (saved) {
      work.job->ok = true;
      work.job->savedName = *saved;
    } else {
      work.job->error = drop ? kStoppedError : kReasonCannotSave;
    }
  }

  // Naming may hash files of a taken name: a few threads keep that off the
  // transfers' thread.
  static constexpr int kThreads = 2;
  std::mutex lock_;
  std::mutex nameLock_;
  std::condition_variable wake_;
  std::deque<Work> queue_;
  bool done_ = false;
  bool drop_ = false;
  std::vector<std::thread> threads_;  // last: they start once the rest is ready
};

}  // namespace

struct TransferBatch::Transfer {
  size_t job = 0;  // index into the run's jobs
  CURL* easy = nullptr;
  std::string host;
  int folderFd = -1;
  int fd = -1;
  std::string tempName;
  long long bytes = 0;
  long long limit = 0;
  std::string* body = nullptr;  // pages: the job's body; files: nullptr
  FileCommitter* committer = nullptr;  // files: names them in their folder
  bool tooBig = false;
  long long errorBodyBytes = 0;
  bool errorBodyCut = false;  // an error body was cut short: the status still tells the end
  int writeErrno = 0;
  long long timeoutMs = 0;  // pages: whole time
  std::string address;      // the job's address
  // Resuming: the bytes already in the partial file and its validator; the
  // answer decides at its first byte whether they are kept (206) or the file
  // starts over (200).
  long long resumeFrom = 0;
  bool resuming = false;
  std::string ifRange, ifRangeHeader;  // the kept part's validator and its kind
  curl_slist* requestHeaders = nullptr;
  bool bodyStarted = false;
  bool rangeMismatch = false;
  // The answer's headers that decide whether a cut file can be resumed.
  std::string etag, lastModified, contentEncoding, contentRange;
  // Bytes received at moments of the last window, for the speed floor.
  struct Sample {
    long long ms;
    long long bytes;
  };
  std::deque<Sample> samples;
  RateGate* gate = nullptr;
  bool paused = false;  // by the rate limit
  // 0 until curl has a connection and is about to send the request: before
  // that the transfer is waiting (for a connection of its host, or connecting
  // under the connect timeout) and can neither stall nor run out of time.
  long long startedMs = 0;
  long long lastActivityMs = 0;
  CURLcode result = CURLE_OK;  // how the transfer ended

  bool HitFullDisk() const { return writeErrno == ENOSPC || writeErrno == EDQUOT; }

  // Creates the temporary file in the job's folder; false (errno set, no name
  // kept) when it cannot.
  bool OpenTemp() {
    tempName = TemporaryName();
    // O_EXCL never follows a link at the temporary name.
    fd = openat(folderFd, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                0666);
    if (fd >= 0) return true;
    tempName.clear();
    return false;
  }

  void DropTemp() {
    if (fd >= 0) close(fd);
    fd = -1;
    if (!tempName.empty() && folderFd >= 0) unlinkat(folderFd, tempName.c_str(), 0);
    tempName.clear();
  }

  // A failed or abandoned transfer keeps nothing of its body (nor of the
  // partial file it resumed).
  void Discard() {
    DropTemp();
    if (resuming) DropPartial(folderFd, address);
    resuming = false;
    if (body) body->clear();
  }

  // A file cut short keeps its bytes for the next try when its answer can be
  // resumed: a whole-file or partial answer, nothing of it cut on purpose
  // (too big, a write error), not compressed on the way, with a validator for
  // If-Range. True when kept (partial_file.h); otherwise nothing is left.
  bool KeepPartial(long status) {
    if (resuming && !bodyStarted) {
      // Nothing new arrived: the kept part stays as it was, unless the server
      // has a new whole file for the address.
      if (status == 200 || status == 416) {
        Discard();
        return false;
      }
      if (fd >= 0) close(fd);
      fd = -1;
      tempName.clear();
      return true;
    }
    const bool answered = status == 200 || (status == 206 && resuming);
    std::optional<std::pair<std::string, std::string>> validator =
        ResumeValidator(etag, lastModified);
    // A 206 that names no validator again still answered our If-Range.
    if (!validator && status == 206 && resuming) validator = std::make_pair(ifRangeHeader, ifRange);
    struct stat st;
    if (!answered || tooBig || writeErrno != 0 || !contentEncoding.empty() || !validator ||
        body || fd < 0 || fstat(fd, &st) != 0 || st.st_size <= 0) {
      Discard();
      return false;
    }
    PartialRecord record;
    record.address = address;
    record.validatorHeader = validator->first;
    record.validator = validator->second;
    record.size = st.st_size;
    close(fd);
    fd = -1;
    const std::string partial = PartialName(address);
    const bool kept = !record.validatorHeader.empty() &&
                      (tempName == partial ||
                       renameat(folderFd, tempName.c_str(), folderFd, partial.c_str()) == 0);
    if (kept) tempName.clear();
    if (!kept || !WritePartialRecord(folderFd, record)) {
      DropTemp();
      DropPartial(folderFd, address);
      return false;
    }
    return true;
  }

  // Opens the partial file of the address to append to it; false (nothing
  // open) when there is none to resume.
  bool OpenPartial() {
    auto record = FindPartial(folderFd, address);
    if (!record) return false;
    const std::string partial = PartialName(address);
    fd = openat(folderFd, partial.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      DropPartial(folderFd, address);
      return false;
    }
    tempName = partial;
    resumeFrom = record->size;
    resuming = true;
    ifRange = record->validator;
    ifRangeHeader = record->validatorHeader;
    return true;
  }

  // The server sent the whole file instead of the rest: start the file over.
  void StartOver() {
    if (fd >= 0 && ftruncate(fd, 0) != 0) writeErrno = errno;
    unlinkat(folderFd, PartialRecordName(address).c_str(), 0);
    resumeFrom = 0;
  }

  // A file that arrived whole: its temporary goes to the saver, which gives
  // it the job's name (an empty body still makes an empty file).
  void SaveAs(FetchJob& finished, Saver& saver) {
    if (fd < 0 && !OpenTemp()) {
      finished.error = kReasonCannotSave;
      return;
    }
    saver.Hand({&finished, fd, tempName, committer, folderFd, address, resuming});
    fd = -1;
    tempName.clear();
  }

  // curl calls this when the connection is made and the request is about to
  // be sent (again after each redirect).
  static int OnRequest(void* user, char*, char*, int, int) {
    auto* t = static_cast<Transfer*>(user);
    t->lastActivityMs = MonotonicMs();
    if (t->startedMs == 0) t->startedMs = t->lastActivityMs;
    return CURL_PREREQFUNC_OK;
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    t->lastActivityMs = MonotonicMs();
    const std::string_view line(data, size * count);
    // Every answer (an interim one, a redirect) starts with its status line;
    // only the last answer's headers count.
    if (line.rfind("HTTP/", 0) == 0) {
      t->etag.clear();
      t->lastModified.clear();
      t->contentEncoding.clear();
      t->contentRange.clear();
    } else if (auto v = HeaderValue(line, "ETag")) {
      t->etag = *v;
    } else if (auto v2 = HeaderValue(line, "Last-Modified")) {
      t->lastModified = *v2;
    } else if (auto v3 = HeaderValue(line, "Content-Encoding")) {
      if (strcasecmp(v3->c_str(), "identity") != 0) t->contentEncoding = *v3;
    } else if (auto v4 = HeaderValue(line, "Content-Range")) {
      t->contentRange = *v4;
    }
    return size * count;
  }

  bool Stalled(long long nowMs, long long stallMs) const {
    return startedMs != 0 &&
           (nowMs - lastActivityMs > stallMs || (body && nowMs - startedMs > timeoutMs));
  }

  // A file that has averaged less than `minRate` bytes a second over the last
  // `windowMs` (counted once its request was sent).
  bool BelowFloor(long long nowMs, long long windowMs, long long minRate) {
    if (body || startedMs == 0 || windowMs <= 0 || minRate <= 0) return false;
    if (samples.empty() || nowMs - samples.back().ms >= 250) samples.push_back({nowMs, bytes});
    while (samples.size() >= 2 && samples[1].ms <= nowMs - windowMs) samples.pop_front();
    const Sample& first = samples.front();
    if (first.ms > nowMs - windowMs) return false;  // not a whole window yet
    return (bytes - first.bytes) * 1000 < minRate * (nowMs - first.ms);
  }

  // curl's write callback; returning less than `len` ends the transfer.
  static size_t OnWrite(char* data, size_t size, size_t count, void* user) {
    return static_cast<Transfer*>(user)->Receive(data, size * count);
  }

  size_t Receive(const char* data, size_t len) {
    lastActivityMs = MonotonicMs();
    long code = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
    // Bodies of error answers are not the file.
    if (code < 200 || code >= 300) {
      errorBodyBytes += static_cast<long long>(len);
      if (errorBodyBytes <= kErrorBodyLimit) return len;
      errorBodyCut = true;
      return 0;
    }
    if (gate && !gate->Take(len)) {
      paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (!bodyStarted) {
      bodyStarted = true;
      if (resuming && code != 206) StartOver();
      // The rest must start where the partial file ends.
      if (resuming && code == 206 &&
          std::strtoll(contentRange.c_str() + std::min<size_t>(contentRange.size(), 6), nullptr, 10) !=
              resumeFrom) {
        rangeMismatch = true;
        return 0;
      }
    }
    if (resumeFrom + bytes + static_cast<long long>(len) > limit) {
      tooBig = true;
      return 0;
    }
    if (body) body->append(data, len);
    else if (!WriteToFile(data, len)) return 0;
    bytes += static_cast<long long>(len);
    return len;
  }

  bool WriteToFile(const char* data, size_t len) {
    if (fd < 0 && !OpenTemp()) {
      writeErrno = errno;
      return false;
    }
    size_t done = 0;
    while (done < len) {
      ssize_t w = write(fd, data + done, len - done);
      if (w < 0) {
        if (errno == EINTR) continue;
        writeErrno = errno;
        return false;
      }
      done += static_cast<size_t>(w);
    }
    return true;
  }
};

struct TransferBatch::Pending {
  size_t job;
  std::string host;
  int retries = 0;
  long long notBefore = 0;  // monotonic ms
};

struct TransferBatch::RunState {
  RunState(std::vector<FetchJob>& batchJobs, const std::string& progressLabel, int maxConnections)
      : jobs(batchJobs), label(progressLabel), multi(curl_multi_init()) {
    if (multi) curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, static_cast<long>(maxConnections));
    for (size_t i = 0; i < jobs.size(); ++i) pending.push_back({i, HostOf(jobs[i].url)});
  }
  ~RunState() {
    if (multi) curl_multi_cleanup(multi);
  }
  RunState(const RunState&) = delete;
  RunState& operator=(const RunState&) = delete;

  bool Done() const { return pending.empty() && active.empty(); }
  Counting counting = Counting::Files;

  // When the host may get its next request: after its back-off (429, 503)
  // and its pause between requests.
  long long HostFreeMs(const std::string& host) const {
    auto wait = hostWait.find(host);
    return std::max(wait == hostWait.end() ? 0 : wait->second, PaceOf(host));
  }

  // When the first waiting job that a free connection could take may start,
  // but no later than `latestMs`.
  long long FirstStartMs(long long latestMs, int maxTotal, int maxPerHost) const {
    if (static_cast<int>(active.size()) >= maxTotal) return latestMs;
    long long first = latestMs;
    for (const Pending& p : pending) {
      auto busy = activePerHost.find(p.host);
      if (busy != activePerHost.end() && busy->second >= maxPerHost) continue;
      first = std::min(first, std::max(p.notBefore, HostFreeMs(p.host)));
    }
    return first;
  }

  std::vector<FetchJob>& jobs;
  const std::string& label;
  CURLM* multi;
  std::map<int, FileCommitter> committers;  // by folder
  Saver saver;
  std::deque<Pending> pending;
  std::map<std::string, int> activePerHost;
  std::map<std::string, long long> hostWait;  // no start on the host before this time
  std::vector<std::unique_ptr<Transfer>> active;
  std::map<size_t, int> retriesOf;
  std::map<std::string, long long> toldWaits;  // hosts told as waited for, until when
  RateGate gate;
  size_t finished = 0;
  long long bytesDone = 0;
  long long lastProgressMs = MonotonicMs() - 1000;
};

TransferBatch::TransferBatch(const FetchOptions& options, EngineHost& host)
    : options_(options), host_(host) {
  deadlineMs_ = MonotonicMs() + options_.runTimeLimitMs;
  // One cookie jar and DNS cache for the whole run, so a cookie that a page
  // sets is sent with the files it links.
  CURLSH* share = curl_share_init();
  if (share) {
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
  }
  share_ = share;
}

TransferBatch::~TransferBatch() {
  if (share_) curl_share_cleanup(static_cast<CURLSH*>(share_));
}

void TransferBatch::Run(std::vector<FetchJob>& jobs, const std::string& label, Counting counting) {
  if (jobs.empty() || stop_ != StopReason::None) return;
  RunState run(jobs, label, options_.maxTotal);
  run.counting = counting;
  run.gate.rate = options_.maxRateBytes;
  run.gate.budget = static_cast<double>(options_.maxRateBytes);
  run.gate.lastMs = MonotonicMs();
  if (!run.multi) {
    for (FetchJob& j : jobs) j.error = kReasonNoStart;
    return;
  }
  while (!run.Done() && stop_ == StopReason::None) {
    StartDueJobs(run, MonotonicMs());
    ShareRate(run);
    AdvanceTransfers(run);
    StopOnFullDisk(run);
    GiveUpStalledTransfers(run);
    const long long now = MonotonicMs();
    StopAtTimeLimit(now);
    ReportProgress(run, now);
    if (stop_ != StopReason::None || run.Done()) break;
    WaitForActivity(run, now);
  }
  AbandonUnfinished(run);
  run.saver.Finish(stop_ == StopReason::Cancelled ? Saver::Outcome::Drop : Saver::Outcome::SaveAll);
  MakeDurable(run);
  for (const auto& [host, until] : run.toldWaits) host_.HostWait(host, 0);
}

void TransferBatch::MakeDurable(RunState& run) {
  // One flush for the whole batch instead of one per file: syncfs writes
  // every file and folder of the file system a folder is on, so the files
  // and their new names are on disk before anyone records them. Folders on
  // one file system are flushed once.
  std::set<dev_t> flushed;
  std::set<int> failed;
  for (auto& [fd, committer] : run.committers) {
    struct stat st;
    const bool known = fstat(fd, &st) == 0;
    if (known && flushed.count(st.st_dev)) continue;
    bool ok = known;
    while (ok && syncfs(fd) != 0)
      if (errno != EINTR) ok = false;
    if (ok) flushed.insert(st.st_dev);
    else failed.insert(fd);
  }
  if (failed.empty()) return;
  for (FetchJob& j : run.jobs)
    if (j.ok && j.folderFd >= 0 && failed.count(j.folderFd)) {
      j.ok = false;
      j.error = kReasonCannotSave;
    }
}

void TransferBatch::StartDueJobs(RunState& run, long long nowMs) {
  // Start what the limits allow, in list order; jobs waiting for a host stay.
  for (auto it = run.pending.begin();
       it != run.pending.end() && static_cast<int>(run.active.size()) < options_.maxTotal;) {
    const std::string& host = it->host;
    if (it->notBefore > nowMs || run.HostFreeMs(host) > nowMs ||
        run.activePerHost[host] >= options_.maxPerHost) {
      ++it;
      continue;
    }
    const Pending next = *it;
    it = run.pending.erase(it);
    PaceStarted(next.host, nowMs, options_.hostDelayMs, options_.hostJitterMs);
    if (StartTransfer(run, next) == StartResult::CannotStart) {
      run.jobs[next.job].error = kReasonNoStart;
      ++run.finished;
    }
  }
}

TransferBatch::StartResult TransferBatch::StartTransfer(RunState& run, const Pending& pending) {
  FetchJob& job = run.jobs[pending.job];
  auto t = std::make_unique<Transfer>();
  t->job = pending.job;
  t->host = HostOf(job.url);
  t->folderFd = job.folderFd;
  t->body = job.folderFd < 0 ? &job.body : nullptr;
  t->limit = job.folderFd < 0 ? options_.maxPageBytes : options_.maxFileBytes;
  t->timeoutMs = options_.pageTimeoutMs;
  t->address = job.url;
  if (options_.maxRateBytes > 0) t->gate = &run.gate;
  if (job.folderFd >= 0) {
    t->committer = &run.committers.try_emplace(job.folderFd, job.folderFd).first->second;
    t->OpenPartial();
  }
  job.body.clear();
  t->easy = curl_easy_init();
  if (!t->easy) return StartResult::CannotStart;
  ConfigureRequest(*t, job);
  if (curl_multi_add_handle(run.multi, t->easy) != CURLM_OK) {
    curl_easy_cleanup(t->easy);
    return StartResult::CannotStart;
  }
  ++run.activePerHost[t->host];
  run.active.push_back(std::move(t));
  return StartResult::Started;
}

void TransferBatch::ConfigureRequest(Transfer& transfer, const FetchJob& job) {
  CURL* e = transfer.easy;
  curl_easy_setopt(e, CURLOPT_URL, job.url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, static_cast<long>(options_.maxRedirects));
  // Stalls and deadlines are the batch's own (GiveUpStalledTransfers): curl's
  // low-speed check averages over a window, so a server that sends a byte now
  // and then passes it for ever, and its timeout would count the time a
  // transfer waits for a connection.
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, options_.connectTimeoutMs);
  curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &Transfer::OnRequest);
  curl_easy_setopt(e, CURLOPT_PREREQDATA, &transfer);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &transfer);
  // With a resume, the size announced is that of the rest.
  curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE,
                   static_cast<curl_off_t>(std::max(0LL, transfer.limit - transfer.resumeFrom)));
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  if (transfer.resuming) {
    // The rest of the file, as it is on the disk: a compressed answer could
    // not continue the bytes kept.
    const std::string range = std::to_string(transfer.resumeFrom) + "-";
    curl_easy_setopt(e, CURLOPT_RANGE, range.c_str());
    transfer.requestHeaders =
        curl_slist_append(nullptr, ("If-Range: " + transfer.ifRange).c_str());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, transfer.requestHeaders);
  } else {
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
  }
  curl_easy_setopt(e, CURLOPT_USERAGENT, options_.userAgent.c_str());
  if (!job.referer.empty()) curl_easy_setopt(e, CURLOPT_REFERER, job.referer.c_str());
  // Read only: the browser view owns the cookie file, the engine never writes it.
  curl_easy_setopt(e, CURLOPT_COOKIEFILE, options_.cookieFile.c_str());
  if (share_) curl_easy_setopt(e, CURLOPT_SHARE, static_cast<CURLSH*>(share_));
  // No CURLOPT_PIPEWAIT: with it curl 7.88 holds every plain-HTTP transfer to a
  // host until the first connection to it is free, so a slow first file made
  // the host's files come one after another. The per-host limit is ours.
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transfer::OnWrite);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(e, CURLOPT_PRIVATE, &transfer);
}

void TransferBatch::AdvanceTransfers(RunState& run) {
  int running = 0;
  curl_multi_perform(run.multi, &running);
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(run.multi, &left)) {
    if (msg->msg != CURLMSG_DONE) continue;
    Transfer* t = nullptr;
    curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &t);
    if (!t) continue;
    t->result = msg->data.result;
    FinishTransfer(run, *t);
    // Saving many files at once takes a while: the progress, and with it the
    // user's cancel, still comes every turn.
    if (const long long now = MonotonicMs(); now - run.lastProgressMs >= kTurnMs) {
      ReportProgress(run, now);
      if (stop_ != StopReason::None) return;
    }
  }
}

void TransferBatch::StopOnFullDisk(const RunState& run) {
  for (const auto& t : run.active)
    if (t->HitFullDisk()) stop_ = StopReason::DiskFull;
}

void TransferBatch::GiveUpStalledTransfers(RunState& run) {
  // A transfer that has received nothing for the stall limit, a page past its
  // deadline and a file below the speed floor are given up.
  const long long stallMs = options_.stallSeconds * 1000;
  for (size_t i = 0; i < run.active.size();) {
    Transfer& t = *run.active[i];
    const long long now = MonotonicMs();
    // Under a total rate limit a file cannot be asked for more than its share.
    long long floor = options_.minRateBytes;
    if (options_.maxRateBytes > 0)
      floor = std::min(floor, options_.maxRateBytes / static_cast<long long>(run.active.size()) / 2);
    if (t.Stalled(now, stallMs) || t.BelowFloor(now, options_.rateWindowSeconds * 1000, floor)) {
      t.result = CURLE_OPERATION_TIMEDOUT;
      FinishTransfer(run, t);  // removes it from `active`
    } else {
      ++i;
    }
  }
}

void TransferBatch::ShareRate(RunState& run) {
  if (run.gate.rate <= 0) return;
  run.gate.Refill(MonotonicMs());
  // Paused transfers go on in turn while the budget lasts (curl hands a
  // resumed transfer its kept bytes at once, which may pause it again).
  for (const auto& t : run.active) {
    if (run.gate.budget <= 0) break;
    if (!t->paused) continue;
    t->paused = false;
    curl_easy_pause(t->easy, CURLPAUSE_CONT);
  }
}

void TransferBatch::StopAtTimeLimit(long long nowMs) {
  if (nowMs >= deadlineMs_) stop_ = StopReason::TimeLimit;
}

void TransferBatch::ReportProgress(RunState& run, long long nowMs) {
  if (nowMs - run.lastProgressMs < kTurnMs && !run.Done()) return;
  run.lastProgressMs = nowMs;
  long long inFlight = 0;
  for (const auto& t : run.active) inFlight += t->bytes;
  const std::string text =
      run.label + " " + std::to_string(run.finished) + "/" + std::to_string(run.jobs.size());
  // The count first: a window reading both shows them together.
  if (run.counting == Counting::Files) host_.Counted(run.finished, run.jobs.size());
  // Hosts whose next request waits (a back-off or the pause between requests)
  // long enough to be seen, and those that wait no longer.
  std::map<std::string, long long> waits;
  for (const Pending& p : run.pending) {
    const std::string& host = p.host;
    const long long until = run.HostFreeMs(host);
    if (until - nowMs >= kToldWaitMs || (run.toldWaits.count(host) && until > nowMs))
      waits[host] = until;
  }
  for (const auto& [host, until] : run.toldWaits)
    if (!waits.count(host)) host_.HostWait(host, 0);
  for (const auto& [host, until] : waits) {
    auto told = run.toldWaits.find(host);
    if (told == run.toldWaits.end() || told->second != until) host_.HostWait(host, until - nowMs);
  }
  run.toldWaits = std::move(waits);
  if (host_.Progress(text, run.bytesDone + inFlight, -1)) stop_ = StopReason::Cancelled;
}

void TransferBatch::WaitForActivity(const RunState& run, long long nowMs) {
  // Sleep until the first waiting job may start, or something happens on a
  // transfer, but no longer than a turn.
  const long long waitMs = std::clamp<long long>(
      run.FirstStartMs(nowMs + kTurnMs, options_.maxTotal, options_.maxPerHost) - nowMs, 0, kTurnMs);
  curl_multi_poll(run.multi, nullptr, 0, static_cast<int>(waitMs), nullptr);
}

void TransferBatch::FinishTransfer(RunState& run, Transfer& transfer) {
  FetchJob& job = run.jobs[transfer.job];
  long status = 0;
  curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
  char* effective = nullptr;
  curl_easy_getinfo(transfer.easy, CURLINFO_EFFECTIVE_URL, &effective);
  job.status = status;
  job.effectiveUrl = effective ? effective : job.url;
  job.bytes = transfer.resumeFrom + transfer.bytes;
  if (transfer.HitFullDisk()) stop_ = StopReason::DiskFull;
  if (transfer.errorBodyCut) transfer.result = CURLE_OK;

  if (transfer.resuming && (status == 416 || transfer.rangeMismatch)) {
    // The kept part no longer fits the file: drop it and fetch it whole.
    transfer.Discard();
    run.pending.push_back({transfer.job, transfer.host});
    Release(run, transfer);
    return;
  }
  if (transfer.result == CURLE_OK && status >= 200 && status < 300) {
    if (transfer.resuming && status != 206 && !transfer.bodyStarted) transfer.StartOver();
    if (transfer.body) job.ok = true;
    else transfer.SaveAs(job, run.saver);
  } else if (transfer.result != CURLE_OK && IsCut(transfer.result) && transfer.KeepPartial(status)) {
    // Kept for the next call; the file failed for this one.
  } else {
    transfer.Discard();
    if (ScheduleRetry(run, transfer, status) == RetryDecision::Scheduled) {
      Release(run, transfer);  // the job is not finished: it waits in `pending`
      return;
    }
    job.error = transfer.tooBig ? std::string(kReasonTooBig) : FailureReason(transfer.result, status);
  }
  run.bytesDone += transfer.bytes;
  ++run.finished;
  Release(run, transfer);
}

TransferBatch::RetryDecision TransferBatch::ScheduleRetry(RunState& run, Transfer& transfer,
                                                          long status) {
  int& retries = run.retriesOf[transfer.job];
  if ((status != 429 && status != 503) || retries >= options_.maxRetries)
    return RetryDecision::GiveUp;
  curl_off_t after = 0;
  curl_easy_getinfo(transfer.easy, CURLINFO_RETRY_AFTER, &after);
  const long waitMs = after > 0 ? static_cast<long>(std::min<curl_off_t>(after, 1000000) * 1000)
                                : options_.defaultBackoffMs << retries;
  if (waitMs > options_.maxRetryAfterMs) return RetryDecision::GiveUp;
  ++retries;
  const long long when = MonotonicMs() + waitMs;
  // The whole host is asked to wait, not only this file.
  run.hostWait[transfer.host] = std::max(run.hostWait[transfer.host], when);
  run.pending.push_back({transfer.job, transfer.host, retries, when});
  return RetryDecision::Scheduled;
}

void TransferBatch::Release(RunState& run, Transfer& transfer) {
  curl_multi_remove_handle(run.multi, transfer.easy);
  curl_easy_cleanup(transfer.easy);
  curl_slist_free_all(transfer.requestHeaders);
  --run.activePerHost[transfer.host];
  run.active.erase(std::find_if(
      run.active.begin(), run.active.end(),
      [&transfer](const std::unique_ptr<Transfer>& a) { return a.get() == &transfer; }));
}

void TransferBatch::AbandonUnfinished(RunState& run) {
  // A stopped batch: what is in flight is abandoned; a file cut short keeps
  // its part for the next call when it can be resumed, and no file is left
  // otherwise. A full disk keeps nothing.
  while (!run.active.empty()) {
    Transfer& t = *run.active.back();
    long status = 0;
    curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
    if (stop_ == StopReason::DiskFull || (!t.bodyStarted && !t.resuming)) t.Discard();
    else t.KeepPartial(status);
    run.jobs[t.job].error = kStoppedError;
    Release(run, t);
  }
  for (const Pending& p : run.pending) run.jobs[p.job].error = kStoppedError;
}

}  // namespace mireva::dl
