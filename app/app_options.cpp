#include "app/app_options.h"

#include <cstdlib>

namespace mireva {

AppOptions ParseAppOptions(const std::vector<std::string>& args) {
  AppOptions o;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--quit-after-patrol") {
      o.quitAfterPatrol = true;
    } else if (a == "--command" || a == "--script") {
      if (i + 1 >= args.size()) {
        o.error = a + " needs a value";
        return o;
      }
      const std::string& v = args[++i];
      if (a == "--script") {
        o.script = v;
        continue;
      }
      char* end = nullptr;
      long id = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || id <= 0 || id > 65535) {
        o.error = "--command needs a command id from 1 to 65535, not \"" + v + "\"";
        return o;
      }
      o.commands.push_back(static_cast<int>(id));
    } else {
      rest.push_back(a);
    }
  }
  for (size_t i = 0; i < rest.size(); ++i) o.commandLine += (i ? " " : "") + rest[i];
  return o;
}

std::string AppUsage() {
  return "Usage: mireva [options] [address]\n"
         "       mireva Default.htm <address>\n"
         "\n"
         "Opens Mireva, a browser for collecting material from the web. The address\n"
         "(http://..., https://... or file:...) is the first page shown.\n"
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
         "  --script FILE        run a script of commands (used by the tests)\n"
         "\n"
         "Environment:\n"
         "  MIREVA_HOME          working folder (default ~/.local/share/mireva)\n";
}

}  // namespace mireva
