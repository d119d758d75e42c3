#pragma once
// The folders the program lives in and works in.
//  - ProgramFolder: where the binaries of one build sit (build/bin, or the
//    install prefix's lib/mireva); libraries and companions are taken from it.
//  - WorkingFolder: $MIREVA_HOME, else $XDG_DATA_HOME/mireva (~/.local/share/mireva).
//    Everything the program reads and writes lies below it; the program changes
//    into it at start.
//  - CacheFolder: $XDG_CACHE_HOME/mireva (~/.cache/mireva): the browser view's
//    web cache and cookies, which the watcher reads.
//  - RuntimeFolder: $XDG_RUNTIME_DIR/mireva, else /tmp/mireva-<uid>: the watcher's
//    lock file and notice socket.
//  - DataFolder: the shipped data files that seed the working folder: "data"
//    beside the program when built, else <prefix>/share/mireva/data.
// All paths are UTF-8 host paths without a trailing slash.
#include <string>

namespace mireva {

std::string ProgramFolder();
std::string WorkingFolder();
std::string CacheFolder();
std::string RuntimeFolder();

// The runtime folder may sit in the shared /tmp, where another user can make
// the name first. It is trusted only when lstat shows a real folder (not a
// link) owned by this user with mode 0700 exactly; otherwise `problem` says
// what is wrong and the folder must not be used. CheckRuntimeFolder only
// looks; PrepareRuntimeFolder first creates it (0700) when it is missing.
bool CheckRuntimeFolder(std::string* problem);
bool PrepareRuntimeFolder(std::string* problem);
std::string DataFolder();
std::string HomeFolder();

// Creates the working folder and its sub-folders ("Cache", "DownLoad",
// "DownLoad/Weather", "DownLoad/JapanMap"), copies every shipped data file that
// is missing there (never overwriting one the user has), and changes into it.
// False when the folder cannot be made or entered.
bool PrepareWorkingFolder(const std::string& folder, const std::string& dataFolder);

}  // namespace mireva
