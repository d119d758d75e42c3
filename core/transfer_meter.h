#pragma once
// The meter of the engine's running work, from its progress reports: the
// text, the files done of all, the bytes and the speed over the last seconds.
// The downloads window and the patrol's status line read it. Texts are
// Shift_JIS.
#include <cstddef>
#include <deque>
#include <map>
#include <string>

namespace mireva {

// What the engine is doing, from its progress reports: the text, the files
// done of all, the bytes of the call and the speed over the last seconds.
class TransferMeter {
 public:
  // A progress report; `bytes` counts within one batch of the call, so a drop
  // starts the next batch. `nowMs` is a steady clock.
  void Report(const std::string& text, long long bytes, long long nowMs);
  // Files done of all in the running batch, as the engine counts them
  // (total 0: nothing counted).
  void Count(size_t done, size_t total) {
    active_ = true;
    filesDone_ = done;
    filesTotal_ = total;
  }
  size_t FilesDone() const { return filesDone_; }
  size_t FilesTotal() const { return filesTotal_; }
  // The engine holds its requests to `host` for `waitMs` more (0: no longer).
  void HostWait(const std::string& host, long long waitMs, long long nowMs) {
    if (waitMs > 0) waits_[host] = nowMs + waitMs;
    else waits_.erase(host);
  }
  // The call has ended: idle again.
  void End();
  // The running batch is over; the next report starts another, whatever its
  // bytes. A meter kept across calls (a patrol's) says so after each call.
  void EndBatch() {
    carried_ += batchBytes_;
    batchBytes_ = 0;
  }
  bool Active() const { return active_; }

  const std::string& Text() const { return text_; }
  // "ファイル 3/10" or "" when the text counts no files.
  std::string FilesText() const;
  long long Bytes() const { return carried_ + batchBytes_; }
  // Bytes per second over the last kWindowMs, 0 when unknown.
  long long Speed(long long nowMs) const;
  // The whole line under the text: "ファイル 3/10　1.2 MB　340.0 KB/秒", and
  // the hosts waited for: "　サーバー待ち: example.jp あと 12 秒".
  std::string DetailText(long long nowMs) const;

  static constexpr long long kWindowMs = 3000;

 private:
  struct Sample {
    long long ms;
    long long bytes;  // call total
  };
  bool active_ = false;
  std::string text_;
  long long carried_ = 0;     // bytes of the call's finished batches
  long long batchBytes_ = 0;  // bytes of the current batch
  std::deque<Sample> samples_;
  size_t filesDone_ = 0;
  size_t filesTotal_ = 0;
  std::map<std::string, long long> waits_;  // host -> until (steady ms)
};

}  // namespace mireva
