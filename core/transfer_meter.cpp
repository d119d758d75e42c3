#include "core/transfer_meter.h"

#include "platform/text_helpers.h"

namespace mireva {

void TransferMeter::Report(const std::string& text, long long bytes, long long nowMs) {
  if (!active_) {
    carried_ = 0;
    batchBytes_ = 0;
    samples_.clear();
    filesDone_ = filesTotal_ = 0;
  }
  active_ = true;
  text_ = text;
  if (bytes >= 0) {
    if (bytes < batchBytes_) carried_ += batchBytes_;  // the next batch of the call
    batchBytes_ = bytes;
  }
  samples_.push_back(Sample{nowMs, Bytes()});
  // One sample older than the window stays as the base of the speed.
  while (samples_.size() > 2 && samples_[1].ms < nowMs - kWindowMs) samples_.pop_front();
}

void TransferMeter::End() {
  active_ = false;
  text_.clear();
  samples_.clear();
  filesDone_ = filesTotal_ = 0;
  waits_.clear();
}

std::string TransferMeter::FilesText() const {
  if (filesTotal_ == 0) return std::string();
  return "ファイル " + std::to_string(filesDone_) + "/" + std::to_string(filesTotal_);
}

long long TransferMeter::Speed(long long nowMs) const {
  if (samples_.size() < 2 || samples_.back().ms < nowMs - kWindowMs) return 0;
  size_t base = 0;
  while (base + 1 < samples_.size() && samples_[base + 1].ms < nowMs - kWindowMs) ++base;
  const long long span = nowMs - samples_[base].ms;
  const long long gained = samples_.back().bytes - samples_[base].bytes;
  if (span < 200 || gained <= 0) return 0;
  return gained * 1000 / span;
}

std::string TransferMeter::DetailText(long long nowMs) const {
  std::string out = FilesText();
  auto add = [&out](const std::string& part) {
    if (!out.empty()) out += "　";
    out += part;
  };
  add(SizeText(Bytes()));
  const long long speed = Speed(nowMs);
  if (speed > 0) add(SizeText(speed) + "/秒");
  for (const auto& [host, until] : waits_)
    if (until > nowMs)
      add("サーバー待ち: " + host + " あと " + std::to_string((until - nowMs + 999) / 1000) + " 秒");
  return out;
}

}  // namespace mireva
