#pragma once
// Milliseconds of the monotonic clock, for intervals and rates. (<chrono> cannot be used here: its
// C++20 unit suffixes do not survive the Shift_JIS execution character set.)
#include <time.h>

namespace mireva {

inline long long MonotonicMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace mireva
