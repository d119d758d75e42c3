#pragma once
// Start-up checks for the companion programs.
#include "platform/interaction.h"

namespace mireva {

// Starts the watcher ("tollick" from the program's folder) unless its lock
// shows it running; a failed start is shown with the system's error text.
// Does not wait for it (see WaitForWatcher). Returns true when the watcher
// was started.
bool EnsureWatcher(Interaction& ui);

// Waits up to 3 s for a watcher that EnsureWatcher started to take its lock
// and listen, so that a patrol started right away finds it. Only work that
// sends notices at once needs it: the first page does not wait for it.
void WaitForWatcher();

// Starts the shortcut maker ("mireva-shortcut browser") unless the prefetch
// shortcut "先読み開始.LNK" exists in the current folder. Failures are silent.
// Returns true when the shortcut maker was started.
bool EnsurePrefetchShortcut();

}  // namespace mireva
