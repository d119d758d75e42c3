#pragma once
// The busy animation at the top right of the main window: a ring of dots that
// turns while a page loads. Play() loops it; Stop() stops it on its first frame.
#include <wx/timer.h>
#include <wx/window.h>

namespace mireva {

class BusyIndicator : public wxWindow {
 public:
  BusyIndicator(wxWindow* parent, wxWindowID id, int size);
  void Play();
  void Stop();
  bool IsPlaying() const { return timer_.IsRunning(); }

 private:
  void OnPaint(wxPaintEvent&);
  void OnTimer(wxTimerEvent&);
  wxTimer timer_;
  int frame_ = 0;
};

}  // namespace mireva
