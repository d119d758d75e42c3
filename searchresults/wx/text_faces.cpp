#include "searchresults/wx/text_faces.h"

#include <wx/dcmemory.h>
#include <wx/settings.h>

#include "platform/wx/wx_text.h"
#include "searchresults/engine_table.h"

namespace mireva {
namespace {

constexpr int kLogoWidth = 150;
constexpr int kLogoHeight = 44;

struct FaceColours {
  unsigned long back;
  unsigned long text;
};

// One colour pair per engine index 0 to 11 (the engines with a logo row).
constexpr FaceColours kLogoColours[] = {
    {0xC0102A, 0xFFFFFF}, {0x1F5FA8, 0xFFFFFF}, {0x2C7A2C, 0xFFFFFF}, {0x5A2D82, 0xFFFFFF},
    {0x0B6E79, 0xFFFFFF}, {0x202020, 0xF2C200}, {0x004C97, 0xFFFFFF}, {0x7A4A12, 0xFFFFFF},
    {0x3B8E3B, 0xFFFFFF}, {0xE8E8E8, 0x1B3F8B}, {0x8B1A1A, 0xFFD700}, {0xF29100, 0x202020},
};

wxColour FromRgb(unsigned long rgb) {
  return wxColour(static_cast<unsigned char>(rgb >> 16), static_cast<unsigned char>(rgb >> 8),
                  static_cast<unsigned char>(rgb));
}

wxBitmap DrawFace(const wxString& text, wxSize size, const wxColour& back, const wxColour& fore,
                  int pointSize, bool border) {
  wxBitmap bmp(size.x, size.y, 24);
  wxMemoryDC dc(bmp);
  dc.SetBackground(wxBrush(back));
  dc.Clear();
  if (border) {
    dc.SetPen(wxPen(fore, 2));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(1, 1, size.x - 2, size.y - 2);
  }
  wxFont font(wxFontInfo(pointSize).Family(wxFONTFAMILY_SWISS).Bold());
  dc.SetFont(font);
  dc.SetTextForeground(fore);
  wxSize extent = dc.GetTextExtent(text);
  // Shrink a caption that would not fit.
  while (extent.x > size.x - 8 && pointSize > 6) {
    font.SetPointSize(--pointSize);
    dc.SetFont(font);
    extent = dc.GetTextExtent(text);
  }
  dc.DrawText(text, (size.x - extent.x) / 2, (size.y - extent.y) / 2);
  dc.SelectObject(wxNullBitmap);
  return bmp;
}

}  // namespace

wxBitmap EngineLogoFace(int engine) {
  const EngineInfo* info = FindEngine(engine);
  if (!info || !info->logoId || engine < 0 || engine > 11) {
    return DrawFace(wxString(), wxSize(kLogoWidth, kLogoHeight),
                    wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE), *wxBLACK, 12, false);
  }
  const FaceColours& c = kLogoColours[engine];
  return DrawFace(ToWx(info->caption), wxSize(kLogoWidth, kLogoHeight),
                  FromRgb(c.back), FromRgb(c.text), 16, true);
}

wxBitmap ButtonFace(const wxString& caption) {
  return DrawFace(caption, wxSize(72, 28), wxColour(0x34, 0x4E, 0x7A), *wxWHITE, 11, false);
}

}  // namespace mireva
