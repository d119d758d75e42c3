#include "platform/watcher_link.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/folders.h"

namespace mireva {

std::string WatcherLockPath() { return RuntimeFolder() + "/WebTollickApp.lock"; }
std::string NoticeSocketPath() { return RuntimeFolder() + "/Tollick.sock"; }

bool WatcherIsRunning() {
  if (!CheckRuntimeFolder(nullptr)) return false;
  int fd = ::open(WatcherLockPath().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;  // no lock file: no watcher ever ran here
  bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
  ::close(fd);  // releases our test lock, if we got it
  return held;
}

bool SendWatcherNotice(const std::string& text) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string path = NoticeSocketPath();
  if (path.size() >= sizeof addr.sun_path) return false;
  if (!CheckRuntimeFolder(nullptr)) {
    errno = EPERM;
    return false;
  }
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ssize_t sent = ::sendto(fd, text.data(), text.size(), MSG_NOSIGNAL,
                          reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::close(fd);
  return sent == static_cast<ssize_t>(text.size());
}

}  // namespace mireva
