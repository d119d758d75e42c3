#include "app/wx/artwork.h"

#include <wx/artprov.h>
#include <wx/dcmemory.h>
#include <wx/image.h>

namespace mireva {
namespace {

wxBitmap Canvas(int size, wxMemoryDC& dc) {
  wxImage img(size, size);
  img.InitAlpha();
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) img.SetAlpha(x, y, 0);
  wxBitmap bmp(img, 32);
  dc.SelectObject(bmp);
  return bmp;
}

void Arrow(wxDC& dc, int size, bool left) {
  const wxColour red(200, 30, 30);
  dc.SetPen(wxPen(red));
  dc.SetBrush(wxBrush(red));
  int mid = size / 2, w = size * 7 / 16;
  if (left) {
    wxPoint p[] = {{1, mid}, {w, 2}, {w, size - 3}};
    dc.DrawPolygon(3, p);
  } else {
    wxPoint p[] = {{size - 2, mid}, {size - w - 1, 2}, {size - w - 1, size - 3}};
    dc.DrawPolygon(3, p);
  }
}

void Letter(wxDC& dc, int size, const char* letter, bool right) {
  wxFont f(wxFontInfo(std::max(6, size * 9 / 16)).Bold().Family(wxFONTFAMILY_SWISS));
  dc.SetFont(f);
  dc.SetTextForeground(wxColour(20, 20, 20));
  wxSize t = dc.GetTextExtent(letter);
  int x = right ? size - t.x - 1 : 1;
  dc.DrawText(letter, x, (size - t.y) / 2);
}

// The desktop icon theme's name for a toolbar button's picture. The theme is
// asked by name because for wx's own art ids (wxART_GO_BACK, ...) wx answers
// with built-in pictures where the theme has none, which would hide the
// program's own artwork for back, forward and stop.
const char* ThemeIconName(int commandId) {
  switch (commandId) {
    case 57600: return "document-new";
    case 57601: return "document-open";
    case 57603: return "document-save";
    case 57635: return "edit-cut";
    case 57634: return "edit-copy";
    case 57637: return "edit-paste";
    case 200: return "document-print";
    case 57664: return "help-about";
    case 301: return "go-previous";
    case 302: return "go-next";
    case 303: return "process-stop";
    default: return nullptr;
  }
}

// wx's own picture for a standard button the theme lacks.
wxArtID StandardArt(int commandId) {
  switch (commandId) {
    case 57600: return wxART_NEW;
    case 57601: return wxART_FILE_OPEN;
    case 57603: return wxART_FILE_SAVE;
    case 57635: return wxART_CUT;
    case 57634: return wxART_COPY;
    case 57637: return wxART_PASTE;
    case 200: return wxART_PRINT;
    case 57664: return wxART_INFORMATION;
    default: return wxArtID();
  }
}

// The program's own artwork; any other id gives a blank, transparent bitmap.
wxBitmap DrawnToolbarBitmap(int commandId, int size) {
  wxMemoryDC dc;
  wxBitmap bmp = Canvas(size, dc);
  switch (commandId) {
    case 301:  // back: a red arrow to the left with the letter B
      Arrow(dc, size, true);
      Letter(dc, size, "B", true);
      break;
    case 302:  // forward: the letter F with a red arrow to the right
      Letter(dc, size, "F", false);
      Arrow(dc, size, false);
      break;
    case 303: {  // stop: a red disc with a cross
      dc.SetPen(wxPen(wxColour(160, 20, 20)));
      dc.SetBrush(wxBrush(wxColour(210, 30, 30)));
      dc.DrawCircle(size / 2, size / 2, size / 2 - 1);
      dc.SetPen(wxPen(*wxWHITE, std::max(2, size / 8)));
      int a = size / 3, b = size - size / 3 - 1;
      dc.DrawLine(a, a, b, b);
      dc.DrawLine(a, b, b, a);
      break;
    }
    default:  // the blank button
      break;
  }
  dc.SelectObject(wxNullBitmap);
  return bmp;
}

}  // namespace

wxBitmap ToolbarBitmap(int commandId, int size) {
  wxSize sz(size, size);
  if (const char* name = ThemeIconName(commandId)) {
    wxBitmap themed = wxArtProvider::GetBitmap(wxArtID(name), wxART_TOOLBAR, sz);
    if (themed.IsOk()) return themed;
  }
  wxArtID standard = StandardArt(commandId);
  if (!standard.empty()) return wxArtProvider::GetBitmap(standard, wxART_TOOLBAR, sz);
  return DrawnToolbarBitmap(commandId, size);
}

wxIcon ProgramIcon(int size) {
  wxMemoryDC dc;
  wxBitmap bmp = Canvas(size, dc);
  dc.SetPen(wxPen(wxColour(20, 60, 140), std::max(1, size / 16)));
  dc.SetBrush(wxBrush(wxColour(60, 130, 220)));
  dc.DrawCircle(size / 2, size / 2, size / 2 - 1);
  dc.SetBrush(*wxTRANSPARENT_BRUSH);
  dc.DrawEllipse(size / 4, 1, size / 2, size - 2);
  dc.DrawLine(1, size / 2, size - 1, size / 2);
  wxFont f(wxFontInfo(std::max(6, size / 2)).Bold().Family(wxFONTFAMILY_SWISS));
  dc.SetFont(f);
  dc.SetTextForeground(*wxWHITE);
  wxSize t = dc.GetTextExtent("M");
  dc.DrawText("M", (size - t.x) / 2, (size - t.y) / 2);
  dc.SelectObject(wxNullBitmap);
  wxIcon icon;
  icon.CopyFromBitmap(bmp);
  return icon;
}

}  // namespace mireva
