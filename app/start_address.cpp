#include "app/start_address.h"

#include "platform/ini_file.h"

namespace mireva {

std::string StartAddressFromCommandLine(const std::string& commandLine,
                                        const std::string& defaultPage) {
  std::string address;
  if (commandLine.empty()) {
    address.clear();
  } else {
    size_t blank = commandLine.find(' ');
    if (blank == std::string::npos) {
      address = commandLine;
    } else {
      std::string rest = commandLine.substr(blank + 1);
      size_t http = rest.find("http");
      size_t file = rest.find("file");
      if (http != std::string::npos) {
        address = rest.substr(http);
      } else if (file != std::string::npos) {
        address = file + 5 <= rest.size() ? rest.substr(file + 5) : std::string();
      } else {
        address = defaultPage;
      }
    }
  }
  return CutSjis(address, kAddressCapacity - 1);
}

}  // namespace mireva
