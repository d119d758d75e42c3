#pragma once
// Opening a link from a result list in the browser the user chose. Links come
// from untrusted pages: programs are started with an argument vector, never
// through a shell, and the address is passed whole (a cut address would open
// another page).
#include <string>
#include <string_view>
#include <vector>

namespace mireva {

// The browser radios of the results dialog: the desktop's handler for web
// addresses, Mireva from the program's folder, or the program the user named.
enum class BrowserChoice { System = 0, Original = 1, User = 2 };

// What starts the programs; host (UTF-8) strings. The real one goes through
// platform/process.h, tests record the calls.
class Launcher {
 public:
  virtual ~Launcher() = default;
  virtual bool OpenWithDesktop(const std::string& target) = 0;
  virtual bool Start(const std::vector<std::string>& argv) = 0;
};

class ProcessLauncher : public Launcher {
 public:
  bool OpenWithDesktop(const std::string& target) override;
  bool Start(const std::vector<std::string>& argv) override;
};

// Splits a program line as the user writes it ("/opt/web/browser --new"),
// with double quotes around words that hold spaces. The browse button writes
// a quoted path with one space inside the quotes; white space at either end
// of a quoted word is dropped. Empty when the line holds no word.
std::vector<std::string> SplitProgramLine(std::string_view line);

// Opens `sjisUrl` (Shift_JIS) by `choice`:
//   System:   the desktop's handler with the address;
//   Original: `programFolder`/mireva with "Default.htm" and the address;
//   User:     the words of `userProgram` (host text) followed by the address.
// An empty address, or User with no program, opens nothing. The result is
// whether a program was started.
bool LaunchLink(Launcher& launcher, BrowserChoice choice, const std::string& userProgram,
                const std::string& programFolder, const std::string& sjisUrl);

}  // namespace mireva
