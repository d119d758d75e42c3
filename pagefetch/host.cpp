#include "pagefetch/host.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/text_encoding.h"

namespace mireva::hovrel {
namespace {

HovrelMessageFn g_message = nullptr;
HovrelPasswordFn g_password = nullptr;
void* g_user = nullptr;
bool g_pauses = true;

}  // namespace

void SetHost(HovrelMessageFn message, HovrelPasswordFn password, void* user) {
  g_message = message;
  g_password = password;
  g_user = user;
}

void ShowMessage(const std::string& text) {
  if (g_message) {
    g_message(g_user, text.c_str());
    return;
  }
  std::string line = mireva::SjisToUtf8(text);
  if (line.empty() || line.back() != '\n') line += '\n';
  std::fputs(line.c_str(), stderr);
}

bool AskPassword(const std::string& site, const std::string& realm, Login* login) {
  if (!g_password) return false;
  // Room for what a login form takes; longer entries are cut by the host.
  char user[256] = {};
  char password[256] = {};
  int retry =
      g_password(g_user, site.c_str(), realm.c_str(), user, sizeof user, password, sizeof password);
  user[sizeof user - 1] = '\0';
  password[sizeof password - 1] = '\0';
  if (!retry) return false;
  login->user = user;
  login->password = password;
  return true;
}

void Pause(int milliseconds) {
  if (!g_pauses || milliseconds <= 0) return;
  // <chrono> cannot be compiled with the Shift_JIS execution character set.
  timespec left{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

namespace testing {
void SetPausesEnabled(bool enabled) { g_pauses = enabled; }
}  // namespace testing

}  // namespace mireva::hovrel
