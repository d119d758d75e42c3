#pragma once
// The images of the results dialog's bitmap buttons, drawn in code: each is a
// plain text face (an engine's caption on its own colour, or a button caption).
#include <wx/bitmap.h>
#include <wx/string.h>

namespace mireva {

// The logo face of an engine index; an empty face for -1.
wxBitmap EngineLogoFace(int engine);
// A button face with `caption` (UTF-8 text of the GUI).
wxBitmap ButtonFace(const wxString& caption);

}  // namespace mireva
