#include "app/cache_move.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdio.h>

#include <cerrno>
#include <string>

namespace mireva {

int MoveMosaicImages(const std::string& workingFolder) {
  std::string from = workingFolder + "/Cache";
  std::string to = workingFolder + "/DownLoad";
  DIR* dir = opendir(from.c_str());
  if (!dir) return 0;
  int moved = 0;
  while (dirent* entry = readdir(dir)) {
    if (fnmatch("mosaic*.jpg", entry->d_name, 0) != 0) continue;
    std::string src = from + "/" + entry->d_name;
    std::string dst = to + "/" + entry->d_name;
    // renameat2 with RENAME_NOREPLACE never replaces a file already there,
    // as a plain move would not.
    if (renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0) ++moved;
  }
  closedir(dir);
  return moved;
}

}  // namespace mireva
