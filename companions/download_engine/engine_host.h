#pragma once
// What the engine tells the program while it works: progress with the chance to
// cancel, and messages for the user. Texts are Shift_JIS.
#include <string>

namespace mireva::dl {

class EngineHost {
 public:
  virtual ~EngineHost() = default;
  // Bytes done and total (-1 when unknown). True when the user asked to cancel.
  virtual bool Progress(const std::string& text, long long done, long long total) = 0;
  virtual void Message(const std::string& text) = 0;
};

}  // namespace mireva::dl
