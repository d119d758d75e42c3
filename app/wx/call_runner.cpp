#include "app/wx/call_runner.h"

#include <atomic>
#include <thread>

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/timer.h>

namespace mireva {

void WxCallRunner::Run(const std::function<void()>& work, const std::function<void()>& pump) {
  if (began_) began_();
  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done = true;
    wxWakeUpIdle();
  });
  wxGUIEventLoop loop;
  wxTimer tick;
  tick.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    pump();
    // Only this loop may be left here: a message box opened meanwhile runs
    // a loop of its own, and ending that one would close the box.
    if (done && loop.IsRunning() && wxEventLoopBase::GetActive() == &loop) loop.Exit();
  });
  tick.Start(50);
  loop.Run();
  tick.Stop();
  worker.join();
  pump();
  if (ended_) ended_();
}

}  // namespace mireva
