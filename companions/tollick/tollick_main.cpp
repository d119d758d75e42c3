// tollick: the resident watcher. It holds the watcher lock while it runs (a
// second start ends at once), receives the program's one-line notices on the
// notice socket, logs each with its time, and while a patrol runs ("download
// start" until "download break" or "off") collects files of the enabled
// download types that the browser view spools (the working folder's "Spool",
// resource_spool.h) into its "Cache". The state file it keeps in the spool
// while it collects tells the view which types to hand over and up to which
// size; without it the view hands over nothing.
// It outlives the program that started it; SIGTERM or SIGINT end it (its
// process id is in the lock file).
//
//   tollick [--home DIR] [--interval MS] | --help
//     --home      the working folder with "TollickApp.ini", "Spool", "Cache"
//                 and the log "Tollick.log" (default: the program's working folder)
//     --interval  milliseconds between two collections during a patrol
//
// Log lines: "YYYY-MM-DD HH:MM:SS.mmm<TAB>notice<TAB><text>" for every notice,
// "...<TAB>collected<TAB><name>" for each file collected, and start/stop lines.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "companions/tollick/resource_spool.h"
#include "core/download_types.h"
#include "platform/monotonic_clock.h"
#include "platform/folders.h"
#include "platform/text_encoding.h"
#include "platform/watcher_link.h"

namespace {

volatile sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

class Log {
 public:
  explicit Log(std::string path) : path_(std::move(path)) {}
  void Write(const char* what, const std::string& text) {
    // Kept small: past 1 MB the log starts over, the old one kept as ".1".
    struct stat st;
    if (::stat(path_.c_str(), &st) == 0 && st.st_size > (1 << 20))
      std::rename(path_.c_str(), (path_ + ".1").c_str());
    FILE* f = std::fopen(path_.c_str(), "ab");
    if (!f) return;
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(f, "%s.%03ld\t%s\t%s\n", stamp, ts.tv_nsec / 1000000, what, text.c_str());
    std::fclose(f);
  }

 private:
  std::string path_;
};

// Notices are ASCII; anything else is shown as "?" so the log stays one line each.
std::string Printable(const char* data, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(data[i]);
    out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  }
  return out;
}

const char kUsage[] =
    "usage: tollick [--home DIR] [--interval MS]\n";

}  // namespace

int main(int argc, char** argv) {
  std::string home = mireva::WorkingFolder();
  int interval = 1000;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::printf(
          "tollick: Mireva's resident watcher. It takes the browser's notices and, while a\n"
          "patrol runs, collects the files of the chosen download types that the pages showed.\n"
          "%s"
          "  --home DIR     the working folder with its log, \"Spool\" and \"Cache\" (default %s)\n"
          "  --interval MS  milliseconds between two collections during a patrol (default 1000)\n",
          kUsage, mireva::WorkingFolder().c_str());
      return 0;
    }
    if (a == "--home" && i + 1 < argc)
      home = argv[++i];
    else if (a == "--interval" && i + 1 < argc)
      interval = std::atoi(argv[++i]);
    else {
      std::fprintf(stderr, "tollick: unknown or incomplete option \"%s\"\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
  if (interval < 10) interval = 10;

  // Without XDG_RUNTIME_DIR the folder is in the shared /tmp: one that another
  // user made or can write to could turn the lock into a way to truncate our
  // files or take our notices, so it is used only when it is verifiably ours.
  std::string problem;
  if (!mireva::PrepareRuntimeFolder(&problem)) {
    std::fprintf(stderr, "tollick: %s\n", problem.c_str());
    return 1;
  }
  const std::string lockPath = mireva::WatcherLockPath();
  int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (lockFd < 0) {
    std::fprintf(stderr, "tollick: cannot open the lock file %s: %s\n", lockPath.c_str(),
                 std::strerror(errno));
    return 1;
  }
  struct stat lockStat {};
  if (::fstat(lockFd, &lockStat) != 0 || !S_ISREG(lockStat.st_mode) ||
      lockStat.st_uid != ::geteuid() || lockStat.st_nlink != 1) {
    std::fprintf(stderr,
                 "tollick: the lock file %s is not a plain file of this user; not touched\n",
                 lockPath.c_str());
    return 1;
  }
  if (::flock(lockFd, LOCK_EX | LOCK_NB) != 0) return 0;  // a watcher runs already
  // The lock file names the running watcher, for whoever wants to stop it.
  if (::ftruncate(lockFd, 0) == 0) {
    std::string pid = std::to_string(::getpid()) + "\n";
    [[maybe_unused]] ssize_t written = ::pwrite(lockFd, pid.data(), pid.size(), 0);
  }

  // Holding the lock, any socket file left is a dead watcher's.
  const std::string socketPath = mireva::NoticeSocketPath();
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof addr.sun_path) return 1;
  std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
  ::unlink(socketPath.c_str());
  int sock = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sock < 0 || ::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return 1;

  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  ::mkdir(home.c_str(), 0755);
  Log log(home + "/Tollick.log");
  // The settings file is named like the program's own files: Shift_JIS.
  const std::string ini = mireva::Utf8ToSjis(home + "/" + mireva::kTypeSettingsFile);
  using mireva::tollick::SpoolState;
  const std::string spool = home + "/" + mireva::tollick::kSpoolFolderName;
  mireva::tollick::SpoolCollector collector(spool, home + "/Cache");
  // A state file left by a watcher that died would have the view spool for nobody.
  mireva::tollick::RemoveSpoolState(spool);
  SpoolState state;
  auto readSettings = [&] {
    state.types = mireva::ReadDownloadTypes(ini);
    state.limit = mireva::tollick::ReadResourceLimit(ini);
  };
  readSettings();
  log.Write("start", spool);

  bool collecting = false;
  int64_t nextScan = 0;
  auto collect = [&] {
    for (const std::string& name : collector.Collect(state)) log.Write("collected", name);
  };
  auto publish = [&] {
    if (mireva::AnyEnabled(state.types))
      mireva::tollick::WriteSpoolState(spool, state);
    else
      mireva::tollick::RemoveSpoolState(spool);
  };
  while (!gStop) {
    int timeout = -1;
    if (collecting) {
      int64_t left = nextScan - mireva::MonotonicMs();
      timeout = left < 0 ? 0 : static_cast<int>(left);
    }
    pollfd pfd{sock, POLLIN, 0};
    int rc = ::poll(&pfd, 1, timeout);
    if (rc < 0 && errno != EINTR) break;
    if (rc > 0 && (pfd.revents & POLLIN)) {
      char buf[512];
      ssize_t n = ::recv(sock, buf, sizeof buf, MSG_DONTWAIT);
      if (n >= 0) {
        std::string notice(buf, static_cast<size_t>(n));
        log.Write("notice", Printable(buf, static_cast<size_t>(n)));
        if (notice == "download set") {
          readSettings();
          if (collecting) publish();
        } else if (notice == "download start") {
          readSettings();
          collecting = true;
          publish();
          nextScan = mireva::MonotonicMs();
        } else if (notice == "download break" || notice == "off") {
          // What the last pages brought in is still collected; then the view
          // stops spooling.
          mireva::tollick::RemoveSpoolState(spool);
          if (collecting) collect();
          collecting = false;
        }
      }
    }
    if (collecting && mireva::MonotonicMs() >= nextScan) {
      collect();
      nextScan = mireva::MonotonicMs() + interval;
    }
  }
  mireva::tollick::RemoveSpoolState(spool);
  log.Write("stop", std::string());
  ::close(sock);
  ::unlink(socketPath.c_str());
  ::close(lockFd);
  return 0;
}
