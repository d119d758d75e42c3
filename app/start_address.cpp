#include "app/start_address.h"

#include "platform/file_util.h"
#include "platform/text_helpers.h"

namespace mireva {
namespace {

// True for "scheme:..." (RFC 3986: a letter, then letters, digits, "+", "-"
// or "."), except "host:port" followed by nothing or a path, which browsers
// read as a host with its port ("localhost:8080/a.html").
bool HasScheme(const std::string& a) {
  if (a.empty() || !IsAsciiLetter(a[0])) return false;
  size_t i = 1;
  while (i < a.size() && (IsAsciiLetter(a[i]) || IsAsciiDigit(a[i]) || a[i] == '+' ||
                          a[i] == '-' || a[i] == '.'))
    ++i;
  if (i == a.size() || a[i] != ':') return false;
  size_t end = i + 1;
  while (end < a.size() && IsAsciiDigit(a[end])) ++end;
  size_t digits = end - i - 1;
  bool port = digits > 0 && digits <= 5 &&
              (end == a.size() || a[end] == '/' || a[end] == '?' || a[end] == '#');
  return !port;
}

std::string InFolder(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

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

std::string CompleteAddress(const std::string& address, const std::string& currentFolder) {
  if (address.empty() || address[0] == '/' || HasScheme(address)) return address;
  std::string path = InFolder(currentFolder, address);
  if (!currentFolder.empty() && FileExists(path)) return CutSjis(path, kAddressCapacity - 1);
  return CutSjis("http://" + address, kAddressCapacity - 1);
}

std::string StartAddressFromWords(const std::vector<std::string>& words,
                                  const std::string& currentFolder,
                                  const std::string& defaultPage) {
  if (words.size() == 1 && words[0].find(' ') != std::string::npos) {
    const std::string& w = words[0];
    std::string path = w[0] == '/' ? w : InFolder(currentFolder, w);
    if (FileExists(path)) return CutSjis(path, kAddressCapacity - 1);
  }
  std::string commandLine;
  for (size_t i = 0; i < words.size(); ++i) commandLine += (i ? " " : "") + words[i];
  return CompleteAddress(StartAddressFromCommandLine(commandLine, defaultPage), currentFolder);
}

bool CanBeWebAddress(const std::string& text) {
  if (text.empty()) return false;
  // Shift_JIS trail bytes are 0x40 and up: the ASCII tests below never hit
  // half of a double-byte character, but the full-width blank is looked for
  // character by character.
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == ' ' || c == '\t') return false;
    if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
      if (c == 0x81 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x40)
        return false;
      ++i;
    }
  }
  const std::string host = text.substr(0, text.find_first_of("/?#"));
  return host.find('.') != std::string::npos || host.find(':') != std::string::npos ||
         host == "localhost";
}

bool IsWebAddress(const std::string& address) {
  return StartsWithNoCase(address, "http://") || StartsWithNoCase(address, "https://");
}

}  // namespace mireva
