#pragma once
// What the engine tells the program while it works: progress with the chance to
// cancel, messages for the user, and what became of each file and of the call
// as values. Texts are Shift_JIS.
#include <cstddef>
#include <string>

#include "core/runtime/download_engine_api.h"

namespace mireva::dl {

class EngineHost {
 public:
  virtual ~EngineHost() = default;
  // Bytes done and total (-1 when unknown). True when the user asked to cancel.
  virtual bool Progress(const std::string& text, long long done, long long total) = 0;
  virtual void Message(const std::string& text) = 0;
  // Files finished of the files the running batch fetches (as values).
  virtual void Counted(size_t /*done*/, size_t /*total*/) {}
  // One per file the call set out to fetch, and one when the call ends.
  virtual void FileDone(const DlFileResult& /*result*/) {}
  virtual void CallDone(const DlCallResult& /*result*/) {}
  // The next request to `host` waits `waitMs` more (a 429 or 503 back-off, or
  // the pause between requests; only waits of half a second or more are told);
  // 0 when it waits no longer.
  virtual void HostWait(const std::string& /*host*/, long long /*waitMs*/) {}
};

}  // namespace mireva::dl
