#include "pagefetch/body_sink.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace mireva::hovrel {
bool TextSink::Take(const char* data, size_t n) {
  size_t room = limit_ - length_;
  size_t take = n < room ? n : room;
  std::memcpy(buffer_ + length_, data, take);
  length_ += take;
  if (take < n || length_ == limit_) {
    full_ = true;  // no further reads: the page is cut here
    return false;
  }
  return true;
}

bool StringSink::Take(const char* data, size_t n) {
  size_t room = limit_ - text_.size();
  size_t take = n < room ? n : room;
  text_.append(data, take);
  if (take < n || text_.size() == limit_) {
    full_ = true;
    return false;
  }
  return true;
}

FileSink::FileSink(SaveFile& file, const HovrelProgressTarget* progress, uint16_t transferId,
                   long long limit)
    : file_(file),
      progress_(progress),
      transferId_(transferId),
      limit_(limit),
      block_(new char[kSaveBlockSize]) {}

bool FileSink::Take(const char* data, size_t n) {
  while (n > 0) {
    size_t room = kSaveBlockSize - used_;
    size_t take = n < room ? n : room;
    std::memcpy(block_.get() + used_, data, take);
    used_ += take;
    data += take;
    n -= take;
    if (used_ == kSaveBlockSize && !CompleteRead()) return false;
  }
  return true;
}

bool FileSink::CompleteRead() {
  if (total_ + static_cast<long long>(used_) > limit_) {
    tooLong_ = true;
    return false;
  }
  if (!file_.Write(block_.get(), used_)) {
    writeErrno_ = errno ? errno : EIO;
    return false;
  }
  total_ += static_cast<long long>(used_);
  used_ = 0;
  bool first = reads_++ == 0;
  if (progress_ && progress_->report) {
    char text[48];
    int n = std::snprintf(text, sizeof text, "%d %lld", static_cast<int>(transferId_), total_);
    progress_->report(progress_->user, first ? 1 : 0, text, static_cast<unsigned>(n));
  }
  return true;
}

}  // namespace mireva::hovrel
