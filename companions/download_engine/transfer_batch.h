#pragma once
// A batch of HTTP(S) transfers run in parallel on one curl multi handle, in the
// calling thread: at most `maxTotal` at a time and `maxPerHost` per host,
// redirects followed only to http and https, connect timeout, a stall limit,
// a speed floor for files (a file is given up when it has averaged less than
// `minRateBytes` a second over the last `rateWindowSeconds`; there is no fixed
// deadline, so a big file on a slow line still arrives), a whole-time limit
// for pages (all counted from when the transfer really began, never while it
// waits for a connection), a pause between the requests to one host, a total
// rate limit, back-off on 429 and 503 (Retry-After honoured, the whole host
// waits), the page as referrer and the browser view's cookies.
//
// Bodies of files go to a temporary name in their folder and get their own
// name only when complete. A file cut short (by the network, the speed floor,
// a cancel or the run's end) whose answer carried a validator (a strong ETag or
// Last-Modified) is kept as a partial file with a side record
// (partial_file.h); the next transfer of the same address into the same folder
// asks for the rest (Range with If-Range) and appends, or starts afresh when
// the server sends the whole file. Any other failure leaves nothing behind. A
// full disk, the user's cancel or the run's time limit stop the whole batch.
//
// Durability: the files of one Run are renamed as they arrive and flushed to
// disk together at the end of the Run (one syncfs per file system of their
// folders), before Run returns; a file whose flush failed is reported as not
// saved, so the history never lists a file that a power loss could still take.
#include <string>
#include <vector>

#include "companions/download_engine/engine_host.h"

namespace mireva::dl {

struct FetchOptions {
  // The politeness settings (maxTotal, maxPerHost, hostDelayMs,
  // hostJitterMs, maxRateBytes) and the file limits (minRateBytes,
  // rateWindowSeconds, maxFileBytes) can be set in the engine's rules file
  // (list_rules.h, section [Engine]).
  int maxTotal = 24;
  int maxPerHost = 6;
  // Pause between the starts of two requests to one host, plus a random
  // part of up to `hostJitterMs`; 0: none.
  long hostDelayMs = 0;
  long hostJitterMs = 0;
  long long maxRateBytes = 0;       // bytes a second over all transfers; 0: no limit
  int maxRedirects = 8;
  long connectTimeoutMs = 20000;
  // A transfer is given up when nothing has arrived for this long since it
  // began (its connection made and its request about to be sent) or since its
  // last byte.
  long stallSeconds = 60;
  long pageTimeoutMs = 60000;       // whole time for a page kept in memory
  // The speed floor of a file: given up once it has received less than
  // minRateBytes * rateWindowSeconds bytes over the last rateWindowSeconds. A
  // server that trickles a byte now and then never stalls; the floor bounds
  // how long it can hold the batch (one window), while a big file at any
  // useful speed arrives however long it takes.
  long long minRateBytes = 1024;
  long rateWindowSeconds = 60;
  long long maxFileBytes = 8LL << 30;  // checked while the body arrives
  long long maxPageBytes = 8LL << 20;
  int maxRetries = 3;               // on 429 and 503
  long defaultBackoffMs = 2000;     // first wait when no Retry-After is given
  long maxRetryAfterMs = 120000;    // a longer Retry-After gives up instead
  long runTimeLimitMs = 30L * 60 * 1000;  // the whole call
  std::string cookieFile;           // Mozilla format; empty: none
  std::string userAgent = "Mozilla/5.0 (X11; Linux x86_64) Mireva/3.1";
};

// The error of a job that a stopped batch never finished.
inline constexpr char kStoppedError[] = "stopped";

enum class StopReason { None, Cancelled, DiskFull, TimeLimit };

// Whether a batch's jobs are the files a call reports on (their count goes to
// the host as values) or pages it reads.
enum class Counting { Files, Pages };

struct FetchJob {
  std::string url;
  std::string referer;
  // File jobs: written into the open folder `folderFd` as `name` (a safe name).
  // folderFd < 0: the body is kept in `body` (pages).
  int folderFd = -1;
  std::string name;

  // Results.
  bool ok = false;
  long status = 0;
  std::string effectiveUrl;
  std::string body;
  std::string savedName;
  long long bytes = 0;
  std::string error;  // why it was not saved, for the user (Shift_JIS)
};

class TransferBatch {
 public:
  TransferBatch(const FetchOptions& options, EngineHost& host);
  ~TransferBatch();
  TransferBatch(const TransferBatch&) = delete;
  TransferBatch& operator=(const TransferBatch&) = delete;

  // Runs every job to its end (or until the batch stops). `label` heads the
  // progress texts ("<label> <finished>/<jobs>", bytes received as `done`),
  // reported at least every 100 ms; the host's cancel is honoured between
  // them; with Counting::Files the host also gets the count of jobs finished
  // as values. Files are renamed as each arrives whole and flushed to disk
  // together before Run returns.
  void Run(std::vector<FetchJob>& jobs, const std::string& label,
           Counting counting = Counting::Files);
  StopReason Stopped() const { return stop_; }

 private:
  struct Transfer;  // one transfer on the multi handle
  struct Pending;   // a job waiting to start (first try or retry)
  struct RunState;  // everything one Run keeps between its steps

  enum class StartResult { Started, CannotStart };
  enum class RetryDecision { Scheduled, GiveUp };

  // The steps of one turn of Run's loop, in order.
  void StartDueJobs(RunState& run, long long nowMs);
  void AdvanceTransfers(RunState& run);
  void StopOnFullDisk(const RunState& run);
  void GiveUpStalledTransfers(RunState& run);
  // With a total rate limit: refills its budget and lets paused transfers
  // go on while it lasts.
  void ShareRate(RunState& run);
  void StopAtTimeLimit(long long nowMs);
  void ReportProgress(RunState& run, long long nowMs);
  void WaitForActivity(const RunState& run, long long nowMs);
  // After the loop: what is left in flight or waiting is marked stopped.
  void AbandonUnfinished(RunState& run);

  StartResult StartTransfer(RunState& run, const Pending& pending);
  void ConfigureRequest(Transfer& transfer, const FetchJob& job);
  // Records the answer of a transfer that has ended and releases it; a 429 or
  // 503 goes back to the queue instead when it may be tried again.
  void FinishTransfer(RunState& run, Transfer& transfer);
  RetryDecision ScheduleRetry(RunState& run, Transfer& transfer, long status);
  void Release(RunState& run, Transfer& transfer);

  const FetchOptions& options_;
  EngineHost& host_;
  // Flushes the Run's saved files to disk; those whose flush failed are
  // reported as not saved.
  void MakeDurable(RunState& run);

  StopReason stop_ = StopReason::None;
  long long deadlineMs_ = 0;
  void* share_ = nullptr;
};

}  // namespace mireva::dl
