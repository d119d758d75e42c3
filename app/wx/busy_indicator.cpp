#include "app/wx/busy_indicator.h"

#include <cmath>

#include <wx/dcbuffer.h>

namespace mireva {

namespace {
constexpr int kDots = 12;
}

BusyIndicator::BusyIndicator(wxWindow* parent, wxWindowID id, int size)
    : wxWindow(parent, id, wxDefaultPosition, wxSize(size, size)), timer_(this) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetMinSize(wxSize(size, size));
  Bind(wxEVT_PAINT, &BusyIndicator::OnPaint, this);
  Bind(wxEVT_TIMER, &BusyIndicator::OnTimer, this);
}

void BusyIndicator::Play() {
  if (!timer_.IsRunning()) timer_.Start(80);
}

void BusyIndicator::Stop() {
  timer_.Stop();
  frame_ = 0;
  Refresh();
}

void BusyIndicator::OnTimer(wxTimerEvent&) {
  frame_ = (frame_ + 1) % kDots;
  Refresh();
}

void BusyIndicator::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
  dc.Clear();
  wxSize s = GetClientSize();
  double cx = s.x / 2.0, cy = s.y / 2.0;
  double radius = std::min(s.x, s.y) * 0.36;
  double dot = std::max(1.5, std::min(s.x, s.y) * 0.08);
  dc.SetPen(*wxTRANSPARENT_PEN);
  for (int i = 0; i < kDots; ++i) {
    // The lead dot is dark blue; the tail fades towards the background.
    int age = (frame_ - i + kDots) % kDots;
    int shade = 40 + age * 17;
    dc.SetBrush(wxBrush(wxColour(shade, shade + 10, 200 - age * 5)));
    double a = 2 * M_PI * i / kDots - M_PI / 2;
    dc.DrawCircle(wxPoint(static_cast<int>(cx + radius * std::cos(a)),
                          static_cast<int>(cy + radius * std::sin(a))),
                  static_cast<int>(dot));
  }
  dc.SetTextForeground(wxColour(30, 60, 160));
  wxFont f = GetFont();
  f.SetPointSize(std::max(6, s.y / 5));
  f.MakeBold();
  dc.SetFont(f);
  wxSize t = dc.GetTextExtent("M");
  dc.DrawText("M", static_cast<int>(cx - t.x / 2.0), static_cast<int>(cy - t.y / 2.0));
}

}  // namespace mireva
