#pragma once
// The program's own command-line options, taken off before the start-address
// rule sees the rest:
//   --help, --version
//   --command N        issue command id N once the window is up (repeatable)
//   --quit-after-patrol  end the program when the patrol started by a
//                      --command 2201 has ended (for patrols run from a timer)
//   --headless         run on a virtual X display (Xvfb) of the program's own,
//                      for machines where nobody is logged in; no value
//   --                 ends the options: every later word is address text
// "--command=N" is the same as the two-word form. Any
// other word that begins with "-" is an unknown option and an error. The
// remaining words, joined by blanks, are the command-line text.
#include <string>
#include <vector>

namespace mireva {

struct AppOptions {
  bool help = false;
  bool version = false;
  bool quitAfterPatrol = false;
  bool headless = false;
  std::vector<int> commands;
  std::vector<std::string> words;  // the words that are no options, UTF-8 as given
  std::string commandLine;         // the same words joined by blanks
  std::string error;               // one line, non-empty when the options are malformed
};

AppOptions ParseAppOptions(const std::vector<std::string>& args);
std::string AppUsage();

}  // namespace mireva
