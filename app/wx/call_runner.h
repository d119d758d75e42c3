#pragma once
// Runs a library call on a worker thread while the window stays live: the
// calling (GUI) thread waits in a nested event loop, so the window repaints,
// its menus and dialogs work and page events arrive, and every 50 ms the
// caller's pump hands over what the worker has queued for the window.
#include <functional>

#include "core/runtime/download_engine.h"

namespace mireva {

class WxCallRunner : public CallRunner {
 public:
  // `began` and `ended` run on the GUI thread around every call (the busy
  // animation, say); either may be empty.
  WxCallRunner(std::function<void()> began, std::function<void()> ended)
      : began_(std::move(began)), ended_(std::move(ended)) {}
  void Run(const std::function<void()>& work, const std::function<void()>& pump) override;

 private:
  std::function<void()> began_;
  std::function<void()> ended_;
};

}  // namespace mireva
