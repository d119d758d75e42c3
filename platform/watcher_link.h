#pragma once
// The program's side of the link to the watcher Tollick.
//  - The watcher holds an exclusive flock on a lock file while it runs, under
//    the lock name "WebTollickApp"; the program only tests it.
//  - Notices are one-line texts sent as single datagrams (no NUL, no line end)
//    to a Unix datagram socket at a fixed path (the mailslot
//    "\\*\mailslot\Internet\Tollick"); sending fails when no watcher listens.
#include <string>

namespace mireva {

std::string WatcherLockPath();    // RuntimeFolder()/WebTollickApp.lock
std::string NoticeSocketPath();   // RuntimeFolder()/Tollick.sock

// True when a process holds the watcher lock. False when the runtime folder
// fails CheckRuntimeFolder or the lock name is a link.
bool WatcherIsRunning();

// Sends one notice; false when no watcher listens, the text is too long or the
// runtime folder fails CheckRuntimeFolder (errno EPERM), so that no notice ever
// goes to a socket another user placed.
bool SendWatcherNotice(const std::string& text);

}  // namespace mireva
