#include "app/companions_start.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_util.h"
#include "platform/process.h"
#include "platform/text_encoding.h"
#include "platform/watcher_link.h"

namespace mireva {

bool EnsureWatcher(Interaction& ui) {
  if (WatcherIsRunning()) return false;
  errno = 0;
  if (!StartProgram({"tollick"}, Wait::No)) {
    int err = errno ? errno : ENOENT;
    ui.ShowMessage(Utf8ToSjis(std::strerror(err)), MessageIcon::None);
    return false;
  }
  return true;
}

void WaitForWatcher() {
  for (int i = 0; i < 60; ++i) {
    struct stat st;
    if (WatcherIsRunning() && ::stat(NoticeSocketPath().c_str(), &st) == 0) return;
    ::usleep(50 * 1000);
  }
}

bool EnsurePrefetchShortcut() {
  if (FileExists("先読み開始.LNK")) return false;
  return StartProgram({"mireva-shortcut", "browser"}, Wait::No);
}

}  // namespace mireva
