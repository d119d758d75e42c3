#pragma once
// Runs engine and library calls on a worker thread as the program does; the
// calling thread pumps what the worker queues until the call ends. While the
// call runs, `whileWaiting` plays the window's events (once per call).
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

#include "core/runtime/download_engine.h"

namespace mireva::testing {

class ThreadRunner : public CallRunner {
 public:
  std::function<void()> whileWaiting;
  void Run(const std::function<void()>& work, const std::function<void()>& pump) override {
    std::atomic<bool> done{false};
    std::thread worker([&] {
      work();
      done = true;
    });
    if (whileWaiting) whileWaiting();
    while (!done) {
      pump();
      ::usleep(1000);
    }
    worker.join();
    pump();
  }
};

}  // namespace mireva::testing
