#pragma once
// Artwork of the program, drawn in code: the toolbar buttons and the icon.
#include <wx/bitmap.h>
#include <wx/icon.h>

namespace mireva {

// The bitmap of a toolbar button by command id, `size` pixels square.
wxBitmap ToolbarBitmap(int commandId, int size);
// The program's icon (a blue globe with an "M").
wxIcon ProgramIcon(int size);

}  // namespace mireva
