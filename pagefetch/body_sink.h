#pragma once
// Where the body of a page goes while it arrives: the caller's text area, a
// string, or the output file of a save. Each sink bounds what it takes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/runtime/hovrel_api.h"
#include "pagefetch/save_file.h"

namespace mireva::hovrel {

// The save-mode block: one progress report per non-empty block read.
constexpr size_t kSaveBlockSize = 32768;

class BodySink {
 public:
  virtual ~BodySink() = default;
  // False stops the transfer; Done() then tells a full buffer (the transfer
  // ended on purpose) from a failure.
  virtual bool Take(const char* data, size_t n) = 0;
  virtual bool Done() const { return false; }
};

// Text mode: at most `limit` bytes into the caller's area; no more is read.
class TextSink : public BodySink {
 public:
  TextSink(char* buffer, size_t limit) : buffer_(buffer), limit_(limit) {}
  bool Take(const char* data, size_t n) override;
  bool Done() const override { return full_; }
  size_t Length() const { return length_; }

 private:
  char* buffer_;
  size_t limit_;
  size_t length_ = 0;
  bool full_ = false;
};

// The tag adjustment's read: at most `limit` bytes kept in a string.
class StringSink : public BodySink {
 public:
  explicit StringSink(size_t limit) : limit_(limit) {}
  bool Take(const char* data, size_t n) override;
  bool Done() const override { return full_; }
  const std::string& Text() const { return text_; }

 private:
  size_t limit_;
  std::string text_;
  bool full_ = false;
};

// Save mode: the body in reads of kSaveBlockSize bytes, one progress report
// after the first read (even an empty one) and after every further non-empty
// read, with the text "<transferId> <total so far>".
class FileSink : public BodySink {
 public:
  // At most `limit` bytes are written; a longer body is TooLong.
  FileSink(SaveFile& file, const HovrelProgressTarget* progress, uint16_t transferId,
           long long limit);

  bool Take(const char* data, size_t n) override;

  // The last read: what is left in the block, or the empty first read.
  bool Finish() { return (used_ > 0 || reads_ == 0) ? CompleteRead() : true; }
  int WriteErrno() const { return writeErrno_; }
  // The body passed the save limit; nothing more was written.
  bool TooLong() const { return tooLong_; }

 private:
  bool CompleteRead();

  SaveFile& file_;
  const HovrelProgressTarget* progress_;
  uint16_t transferId_;
  long long limit_;
  std::unique_ptr<char[]> block_;
  size_t used_ = 0;
  long long total_ = 0;
  int reads_ = 0;
  int writeErrno_ = 0;
  bool tooLong_ = false;
};

}  // namespace mireva::hovrel
