// The watcher as the program meets it: a separate process holding the lock,
// listening on the notice socket, logging and collecting.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "companions/tollick/resource_spool.h"
#include "platform/folders.h"
#include "platform/watcher_link.h"
#include "tests/companions/tollick/cache_samples.h"
#include "tests/support/test_server.h"

extern char** environ;

namespace mireva {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

void SleepMs(int ms) {
  timespec t{ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&t, nullptr);
}

bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
  for (int waited = 0; waited < ms; waited += 20) {
    if (done()) return true;
    SleepMs(20);
  }
  return done();
}

class TollickProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = testing::MakeTempFolder("tollick-run");
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    home = dir + "/home";
    fs::create_directories(home);
  }
  void TearDown() override {
    for (pid_t pid : pids) {
      ::kill(pid, SIGTERM);
      int st;
      waitpid(pid, &st, 0);
    }
    unsetenv("XDG_RUNTIME_DIR");
    testing::RemoveFolder(dir);
  }
  pid_t Start() {
    std::string program = testing::BinDir() + "/tollick";
    std::vector<std::string> args = {program, "--home", home, "--interval", "50"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
  }
  std::string Log() { return ReadFile(home + "/Tollick.log"); }
  bool Logged(const std::string& what) { return Log().find(what) != std::string::npos; }

  std::string dir, home;
  std::vector<pid_t> pids;
};

TEST_F(TollickProcess, HelpSaysWhatItIsAndAWrongOptionIsRefused) {
  auto run = [](const std::string& args, int* status) {
    std::string out;
    FILE* p = ::popen((testing::BinDir() + "/tollick " + args + " 2>&1").c_str(), "r");
    if (!p) return out;
    char buf[512];
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    *status = ::pclose(p);
    return out;
  };
  int status = -1;
  std::string help = run("--help", &status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << help;
  EXPECT_EQ(help.rfind("tollick: Mireva's resident watcher.", 0), 0u) << help;
  EXPECT_NE(help.find("usage: tollick [--home DIR] [--interval MS]"),
            std::string::npos) << help;
  EXPECT_FALSE(WatcherIsRunning());  // asking for help starts no watcher

  std::string refused = run("--bogus", &status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << refused;
  EXPECT_NE(refused.find("\"--bogus\""), std::string::npos) << refused;
  EXPECT_FALSE(WatcherIsRunning());
}

TEST_F(TollickProcess, HoldsTheLockAndASecondStartEndsAtOnce) {
  // A socket file left by a watcher that died is replaced.
  ASSERT_EQ(::mkdir(RuntimeFolder().c_str(), 0700), 0);
  WriteFile(NoticeSocketPath(), "stale");
  EXPECT_FALSE(SendWatcherNotice("off"));
  pid_t first = Start();
  ASSERT_GT(first, 0);
  pids.push_back(first);
  ASSERT_TRUE(WaitFor([] { return WatcherIsRunning(); }));
  ASSERT_TRUE(WaitFor([] { return SendWatcherNotice("off"); }));
  EXPECT_EQ(ReadFile(WatcherLockPath()), std::to_string(first) + "\n");

  pid_t second = Start();
  ASSERT_GT(second, 0);
  int status = -1;
  ASSERT_TRUE(WaitFor([&] { return waitpid(second, &status, WNOHANG) == second; }));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(SendWatcherNotice("download break"));  // the first still listens

  ::kill(first, SIGTERM);
  ASSERT_TRUE(WaitFor([&] { return waitpid(first, &status, WNOHANG) == first; }));
  pids.clear();
  EXPECT_FALSE(WatcherIsRunning());
  EXPECT_FALSE(SendWatcherNotice("off"));
  EXPECT_TRUE(Logged("\tnotice\toff\n"));
  EXPECT_TRUE(Logged("\tnotice\tdownload break\n"));
}

TEST_F(TollickProcess, RefusesARuntimeFolderOrLockItCannotTrust) {
  auto exitCode = [&](pid_t pid) {
    int status = -1;
    if (!WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; })) {
      pids.push_back(pid);
      return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  // The lock's name is a link to a file of the user's: the file is neither
  // truncated nor given the process id, and no watcher starts.
  const std::string victim = dir + "/notes.txt";
  WriteFile(victim, "thirty-two bytes of user's notes");
  ASSERT_EQ(::mkdir(RuntimeFolder().c_str(), 0700), 0);
  fs::create_symlink(victim, WatcherLockPath());
  EXPECT_EQ(exitCode(Start()), 1);
  EXPECT_EQ(ReadFile(victim), "thirty-two bytes of user's notes");
  // A hard link to it is refused as well.
  fs::remove(WatcherLockPath());
  fs::create_hard_link(victim, WatcherLockPath());
  EXPECT_EQ(exitCode(Start()), 1);
  EXPECT_EQ(ReadFile(victim), "thirty-two bytes of user's notes");
  fs::remove(WatcherLockPath());

  // A folder that others may enter (as one made first by another user in /tmp).
  ::chmod(RuntimeFolder().c_str(), 0777);
  EXPECT_EQ(exitCode(Start()), 1);
  EXPECT_FALSE(fs::exists(WatcherLockPath()));
  EXPECT_FALSE(fs::exists(NoticeSocketPath()));
}

TEST_F(TollickProcess, CollectsOnlyWhileAPatrolRuns) {
  WriteFile(home + "/TollickApp.ini", "[TollickApp]\r\nJPEG=off\r\nPNG=on\r\n");
  pid_t pid = Start();
  ASSERT_GT(pid, 0);
  pids.push_back(pid);
  ASSERT_TRUE(WaitFor([] { return SendWatcherNotice("off"); }));

  // The view's side of the spool: it hands over nothing while no patrol runs.
  tollick::SpoolWriter view(home + "/Spool");
  const std::string png = tollick::testing::SamplePng(), jpeg = tollick::testing::SampleJpeg();
  EXPECT_EQ(view.Limit(), 0u);
  EXPECT_FALSE(view.Offer("http://h/a.png", "http://h/", "image/png", png));

  // The program's order at a start: "off", "download break", "download start";
  // the types enabled since the watcher started arrive with "download set".
  WriteFile(home + "/TollickApp.ini", "[TollickApp]\r\nJPEG=on\r\nPNG=on\r\nMaxResourceMB=1\r\n");
  ASSERT_TRUE(SendWatcherNotice("download set"));
  ASSERT_TRUE(SendWatcherNotice("off"));
  ASSERT_TRUE(SendWatcherNotice("download break"));
  SleepMs(100);
  ASSERT_TRUE(SendWatcherNotice("download start"));
  ASSERT_TRUE(WaitFor([&] { return view.Limit() == (1u << 20); })) << Log();
  EXPECT_TRUE(view.Offer("http://h/a.png", "http://h/", "image/png", png));
  // A revalidated answer comes without a type: its bytes tell.
  EXPECT_TRUE(view.Offer("http://h/b", "http://h/", "", jpeg));
  // Over the size limit, or not an image: passed over.
  EXPECT_FALSE(view.Offer("http://h/big.jpg", "http://h/", "image/jpeg",
                          jpeg + std::string(1 << 20, 'x')));
  EXPECT_FALSE(view.Offer("http://h/", "http://h/", "text/html", "<html>"));
  auto count = [&](const std::string& folder) {
    std::error_code ec;
    size_t n = 0;
    for (auto it = fs::directory_iterator(folder, ec);
         !ec && it != fs::directory_iterator(); it.increment(ec))
      ++n;
    return n;
  };
  ASSERT_TRUE(WaitFor([&] { return count(home + "/Cache") == 2; })) << Log();
  // Files appear before their log lines.
  EXPECT_TRUE(WaitFor([&] { return Logged(".png\n") && Logged(".jpg\n"); })) << Log();
  std::error_code ec;
  for (auto& e : fs::directory_iterator(home + "/Cache", ec))
    EXPECT_TRUE(ReadFile(e.path().string()) == png || ReadFile(e.path().string()) == jpeg);

  // What the last page brought in just before the end is still collected, and
  // the spool is left empty.
  EXPECT_TRUE(view.Offer("http://h/z.jpg", "http://h/", "image/jpeg",
                         tollick::testing::SampleJpeg('z')));
  ASSERT_TRUE(SendWatcherNotice("download break"));
  ASSERT_TRUE(WaitFor([&] { return count(home + "/Cache") == 3; })) << Log();
  EXPECT_TRUE(WaitFor([&] { return count(home + "/Spool") == 0; }));
  // After the patrol: nothing more.
  EXPECT_EQ(view.Limit(), 0u);
  EXPECT_FALSE(view.Offer("http://h/y.jpg", "http://h/", "image/jpeg",
                          tollick::testing::SampleJpeg('y')));

  const std::string log = Log();
  size_t set = log.find("\tnotice\tdownload set\n"), start = log.find("\tnotice\tdownload start\n");
  EXPECT_NE(set, std::string::npos);
  EXPECT_LT(set, start);
  EXPECT_EQ(log.substr(0, 2), "20");  // lines begin with the date
}

}  // namespace
}  // namespace mireva
