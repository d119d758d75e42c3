#include "app/app_options.h"

#include <cstdlib>

namespace mireva {

AppOptions ParseAppOptions(const std::vector<std::string>& args) {
  AppOptions o;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      o.words.push_back(a);
      continue;
    }
    // "--name=value" is "--name value".
    std::string value;
    bool hasValue = false;
    if (size_t eq = a.find('='); a.starts_with("--") && eq != std::string::npos) {
      value = a.substr(eq + 1);
      a.resize(eq);
      hasValue = true;
    }
    if (a == "--") {
      optionsEnded = true;
    } else if ((a == "--help" || a == "-h") && !hasValue) {
      o.help = true;
    } else if (a == "--version" && !hasValue) {
      o.version = true;
    } else if (a == "--quit-after-patrol" && !hasValue) {
      o.quitAfterPatrol = true;
    } else if (a == "--headless" && !hasValue) {
      o.headless = true;
    } else if (a == "--command") {
      if (!hasValue) {
        if (i + 1 >= args.size()) {
          o.error = a + " needs a value";
          return o;
        }
        value = args[++i];
      }
      char* end = nullptr;
      long id = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || id <= 0 || id > 65535) {
        o.error = "--command needs a command id from 1 to 65535, not \"" + value + "\"";
        return o;
      }
      o.commands.push_back(static_cast<int>(id));
    } else {
      o.error = "unknown option \"" + args[i] + "\" (mireva --help lists the options)";
      return o;
    }
  }
  for (size_t i = 0; i < o.words.size(); ++i) o.commandLine += (i ? " " : "") + o.words[i];
  return o;
}

std::string AppUsage() {
  return "Usage: mireva [options] [address]\n"
         "       mireva Default.htm <address>\n"
         "\n"
         "Opens Mireva, a browser for collecting material from the web. The address\n"
         "(http://..., https://..., file:... or the path of a local file) is the first\n"
         "page shown; an address without a scheme (example.jp/page.html) is taken as\n"
         "http://.\n"
         "\n"
         "Options:\n"
         "  --help               show this text and exit\n"
         "  --version            show the version and exit\n"
         "  --command N          once the window is up, issue command N as if it were\n"
         "                       chosen from the menu; may be given several times\n"
         "                       (2201 runs the patrol list, 712 fetches the infrared\n"
         "                       satellite images, ...)\n"
         "  --quit-after-patrol  end the program when the patrol started with\n"
         "                       --command 2201 has ended\n"
         "  --headless           run without a display: start a virtual X server (Xvfb,\n"
         "                       Debian package xvfb) for the run and stop it at the\n"
         "                       end; messages go to standard error, and a patrol\n"
         "                       that cannot start ends the program with status 1\n"
         "  --                   end of the options: what follows is the address, even\n"
         "                       where it begins with \"-\"\n"
         "\n"
         "Environment:\n"
         "  MIREVA_HOME          working folder (default ~/.local/share/mireva)\n";
}

}  // namespace mireva
