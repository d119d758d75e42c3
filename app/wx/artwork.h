#pragma once
// Artwork of the program: the toolbar buttons (from the desktop's icon theme,
// drawn in code where it has none) and the icon.
#include <wx/bitmap.h>
#include <wx/icon.h>

namespace mireva {

// The bitmap of a toolbar button by command id, `size` pixels square: the
// desktop icon theme's picture where the theme has one, else wx's standard
// picture for the standard commands and the drawn artwork for back, forward,
// stop and the blank button.
wxBitmap ToolbarBitmap(int commandId, int size);
// The program's icon (a blue globe with an "M").
wxIcon ProgramIcon(int size);

}  // namespace mireva
