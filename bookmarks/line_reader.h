#pragma once
// Splits text into lines (LF or CR LF; the line end is not part of the line)
// with a length bound: a line longer than the limit ends the reading.
#include <string_view>

namespace mireva {

class LineReader {
 public:
  LineReader(std::string_view text, size_t lineLimit) : text_(text), limit_(lineLimit) {}

  // The next line; false at the end of the text or at an over-long line.
  bool Next(std::string_view* line) {
    if (pos_ >= text_.size() || stopped_) return false;
    size_t nl = text_.find('\n', pos_);
    size_t end = nl == std::string_view::npos ? text_.size() : nl;
    std::string_view l = text_.substr(pos_, end - pos_);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    if (l.size() > limit_) {
      stopped_ = true;
      return false;
    }
    pos_ = nl == std::string_view::npos ? text_.size() : nl + 1;
    *line = l;
    return true;
  }
  // True when the reading ended at an over-long line.
  bool Stopped() const { return stopped_; }

 private:
  std::string_view text_;
  size_t limit_;
  size_t pos_ = 0;
  bool stopped_ = false;
};

}  // namespace mireva
