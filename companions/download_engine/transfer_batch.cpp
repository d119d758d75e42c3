#include "companions/download_engine/transfer_batch.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <map>
#include <memory>

#include "companions/download_engine/monotonic_clock.h"
#include "companions/download_engine/output_folder.h"
#include "companions/download_engine/url_tools.h"

namespace mireva::dl {

namespace {

struct Transfer {
  size_t job = 0;
  CURL* easy = nullptr;
  std::string host;
  int folderFd = -1;
  int fd = -1;
  std::string tempName;
  long long bytes = 0;
  long long limit = 0;
  std::string* body = nullptr;
  bool tooBig = false;
  int writeErrno = 0;
  long long lastActivityMs = 0;

  void DropTemp() {
    if (fd >= 0) close(fd);
    fd = -1;
    if (!tempName.empty() && folderFd >= 0) unlinkat(folderFd, tempName.c_str(), 0);
    tempName.clear();
  }
};

size_t OnWrite(char* data, size_t size, size_t count, void* user) {
  Transfer* t = static_cast<Transfer*>(user);
  const size_t len = size * count;
  t->lastActivityMs = MonotonicMs();
  long code = 0;
  curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &code);
  // Bodies of error answers (a 404 page, a 429 notice) are not the file.
  if (code < 200 || code >= 300) return len;
  if (t->bytes + static_cast<long long>(len) > t->limit) {
    t->tooBig = true;
    return 0;
  }
  if (t->body) {
    t->body->append(data, len);
  } else {
    if (t->fd < 0) {
      t->tempName = TemporaryName();
      // O_EXCL never follows a link at the temporary name.
      t->fd = openat(t->folderFd, t->tempName.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (t->fd < 0) {
        t->writeErrno = errno;
        t->tempName.clear();
        return 0;
      }
    }
    size_t done = 0;
    while (done < len) {
      ssize_t w = write(t->fd, data + done, len - done);
      if (w < 0) {
        if (errno == EINTR) continue;
        t->writeErrno = errno;
        return 0;
      }
      done += static_cast<size_t>(w);
    }
  }
  t->bytes += static_cast<long long>(len);
  return len;
}

struct Pending {
  size_t job;
  int retries = 0;
  long long notBefore = 0;  // monotonic ms
};

std::string HostOf(const std::string& url) {
  auto parts = SplitUrl(url);
  return parts ? parts->host : std::string();
}

}  // namespace

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

void TransferBatch::Run(std::vector<FetchJob>& jobs, const std::string& label) {
  if (jobs.empty() || stop_ != StopReason::None) return;
  CURLM* multi = curl_multi_init();
  if (!multi) {
    for (FetchJob& j : jobs) j.error = "no curl";
    return;
  }
  curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, static_cast<long>(options_.maxTotal));

  std::deque<Pending> pending;
  for (size_t i = 0; i < jobs.size(); ++i) pending.push_back({i});
  std::map<std::string, int> activePerHost;
  std::map<std::string, long long> hostWait;
  std::vector<std::unique_ptr<Transfer>> active;
  std::map<size_t, int> retriesOf;
  size_t finished = 0;
  long long bytesDone = 0;
  long long lastProgress = MonotonicMs() - 1000;

  auto start = [&](const Pending& p) {
    FetchJob& job = jobs[p.job];
    auto t = std::make_unique<Transfer>();
    t->job = p.job;
    t->host = HostOf(job.url);
    t->folderFd = job.folderFd;
    t->body = job.folderFd < 0 ? &job.body : nullptr;
    t->limit = job.folderFd < 0 ? options_.maxPageBytes : options_.maxFileBytes;
    t->lastActivityMs = MonotonicMs();
    job.body.clear();
    CURL* e = curl_easy_init();
    if (!e) return false;
    t->easy = e;
    curl_easy_setopt(e, CURLOPT_URL, job.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, static_cast<long>(options_.maxRedirects));
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, options_.connectTimeoutMs);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, options_.stallSeconds);
    if (t->body) curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, options_.pageTimeoutMs);
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(t->limit));
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(e, CURLOPT_USERAGENT, options_.userAgent.c_str());
    if (!job.referer.empty()) curl_easy_setopt(e, CURLOPT_REFERER, job.referer.c_str());
    // Read only: the browser view owns the cookie file, the engine never writes it.
    curl_easy_setopt(e, CURLOPT_COOKIEFILE, options_.cookieFile.c_str());
    if (share_) curl_easy_setopt(e, CURLOPT_SHARE, static_cast<CURLSH*>(share_));
    curl_easy_setopt(e, CURLOPT_PIPEWAIT, 1L);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnWrite);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
    curl_easy_setopt(e, CURLOPT_PRIVATE, t.get());
    if (curl_multi_add_handle(multi, e) != CURLM_OK) {
      curl_easy_cleanup(e);
      return false;
    }
    ++activePerHost[t->host];
    active.push_back(std::move(t));
    return true;
  };

  auto release = [&](Transfer* t) {
    curl_multi_remove_handle(multi, t->easy);
    curl_easy_cleanup(t->easy);
    --activePerHost[t->host];
    active.erase(std::find_if(active.begin(), active.end(),
                              [t](const std::unique_ptr<Transfer>& a) { return a.get() == t; }));
  };

  auto finish = [&](Transfer* t, CURLcode rc) {
    FetchJob& job = jobs[t->job];
    long code = 0;
    curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &code);
    char* eff = nullptr;
    curl_easy_getinfo(t->easy, CURLINFO_EFFECTIVE_URL, &eff);
    job.status = code;
    job.effectiveUrl = eff ? eff : job.url;
    job.bytes = t->bytes;
    if (t->writeErrno == ENOSPC || t->writeErrno == EDQUOT) stop_ = StopReason::DiskFull;
    const bool success = rc == CURLE_OK && code >= 200 && code < 300;
    if (success && !t->body) {
      if (t->fd < 0) {
        // An empty file: nothing was written yet, so make it now.
        t->tempName = TemporaryName();
        t->fd = openat(t->folderFd, t->tempName.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      }
      bool closed = t->fd >= 0 && close(t->fd) == 0;
      t->fd = -1;
      std::optional<std::string> saved;
      if (closed) saved = CommitFile(t->folderFd, t->tempName, job.name);
      else if (!t->tempName.empty()) unlinkat(t->folderFd, t->tempName.c_str(), 0);
      t->tempName.clear();
      if (saved) {
        job.ok = true;
        job.savedName = *saved;
      } else {
        job.error = "cannot save";
      }
    } else if (success) {
      job.ok = true;
    } else {
      t->DropTemp();
      if (t->body) t->body->clear();
      int& retries = retriesOf[t->job];
      if ((code == 429 || code == 503) && retries < options_.maxRetries) {
        curl_off_t after = 0;
        curl_easy_getinfo(t->easy, CURLINFO_RETRY_AFTER, &after);
        long waitMs = after > 0 ? static_cast<long>(std::min<curl_off_t>(after, 1000000) * 1000)
                                : options_.defaultBackoffMs << retries;
        if (waitMs <= options_.maxRetryAfterMs) {
          ++retries;
          long long when = MonotonicMs() + waitMs;
          // The whole host is asked to wait, not only this file.
          hostWait[t->host] = std::max(hostWait[t->host], when);
          pending.push_back({t->job, retries, when});
          release(t);
          return;
        }
      }
      job.error = rc != CURLE_OK ? curl_easy_strerror(rc) : "HTTP " + std::to_string(code);
      if (t->tooBig) job.error = "too big";
    }
    bytesDone += t->bytes;
    ++finished;
    release(t);
  };

  while ((!pending.empty() || !active.empty()) && stop_ == StopReason::None) {
    const long long now = MonotonicMs();
    // Start what the limits allow, in list order; jobs waiting for a host stay.
    for (auto it = pending.begin();
         it != pending.end() && static_cast<int>(active.size()) < options_.maxTotal;) {
      std::string host = HostOf(jobs[it->job].url);
      auto wait = hostWait.find(host);
      bool hostWaiting = wait != hostWait.end() && wait->second > now;
      if (it->notBefore > now || hostWaiting || activePerHost[host] >= options_.maxPerHost) {
        ++it;
        continue;
      }
      Pending p = *it;
      it = pending.erase(it);
      if (!start(p)) {
        jobs[p.job].error = "cannot start";
        ++finished;
      }
    }

    int running = 0;
    curl_multi_perform(multi, &running);
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
      if (msg->msg != CURLMSG_DONE) continue;
      Transfer* t = nullptr;
      curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &t);
      if (t) finish(t, msg->data.result);
    }
    for (const auto& t : active)
      if (t->writeErrno == ENOSPC || t->writeErrno == EDQUOT) stop_ = StopReason::DiskFull;
    // A transfer that has received nothing for the stall limit is given up.
    // (curl's own low-speed check averages over a window, so a server that
    // sends a byte now and then would pass it for ever.)
    const long long stallMs = options_.stallSeconds * 1000;
    for (size_t i = 0; i < active.size();) {
      Transfer* t = active[i].get();
      if (MonotonicMs() - t->lastActivityMs > stallMs) finish(t, CURLE_OPERATION_TIMEDOUT);
      else ++i;
    }

    const long long after = MonotonicMs();
    if (after >= deadlineMs_) stop_ = StopReason::TimeLimit;
    if (after - lastProgress >= 100 || (pending.empty() && active.empty())) {
      lastProgress = after;
      long long inFlight = 0;
      for (const auto& t : active) inFlight += t->bytes;
      std::string text = label + " " + std::to_string(finished) + "/" + std::to_string(jobs.size());
      if (host_.Progress(text, bytesDone + inFlight, -1)) stop_ = StopReason::Cancelled;
    }
    if (stop_ != StopReason::None || (pending.empty() && active.empty())) break;

    int timeoutMs = 100;
    if (active.empty()) {
      // Only waiting jobs: sleep until the first may start (at most 100 ms, so
      // progress and cancel stay responsive).
      long long first = after + 100;
      for (const Pending& p : pending) {
        auto w = hostWait.find(HostOf(jobs[p.job].url));
        long long t = std::max(p.notBefore, w == hostWait.end() ? p.notBefore : w->second);
        first = std::min(first, t);
      }
      timeoutMs = static_cast<int>(std::clamp<long long>(first - after, 0, 100));
    }
    curl_multi_poll(multi, nullptr, 0, timeoutMs, nullptr);
  }

  // A stopped batch: what is in flight is abandoned and leaves no file.
  while (!active.empty()) {
    Transfer* t = active.back().get();
    t->DropTemp();
    if (t->body) t->body->clear();
    jobs[t->job].error = "stopped";
    release(t);
  }
  for (const Pending& p : pending) jobs[p.job].error = "stopped";
  curl_multi_cleanup(multi);
}

}  // namespace mireva::dl
