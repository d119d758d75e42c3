#pragma once
// The program's own command-line options, taken off before the start-address
// rule sees the rest:
//   --help, --version
//   --command N        issue command id N once the window is up (repeatable)
//   --quit-after-patrol  end the program when the patrol started by a
//                      --command 2201 has ended (for patrols run from a timer)
//   --script FILE      run a test script (see app/script_runner.h)
// Everything else, joined by blanks, is the command-line text.
#include <string>
#include <vector>

namespace mireva {

struct AppOptions {
  bool help = false;
  bool version = false;
  bool quitAfterPatrol = false;
  std::vector<int> commands;
  std::string script;
  std::string commandLine;  // UTF-8 as given
  std::string error;        // non-empty when the options are malformed
};

AppOptions ParseAppOptions(const std::vector<std::string>& args);
std::string AppUsage();

}  // namespace mireva
