#include "searchresults/browser_launch.h"

#include "platform/process.h"
#include "platform/text_encoding.h"

namespace mireva {

bool ProcessLauncher::OpenWithDesktop(const std::string& target) {
  return mireva::OpenWithDesktop(target);
}

bool ProcessLauncher::Start(const std::vector<std::string>& argv) {
  return StartProgram(argv, Wait::No);
}

std::vector<std::string> SplitProgramLine(std::string_view line) {
  auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string word;
    bool quoted = false;
    while (i < line.size() && (quoted || !isBlank(line[i]))) {
      if (line[i] == '"') {
        quoted = !quoted;
        if (!quoted) {
          // "path " as the browse button writes it: the space belongs to no name.
          while (!word.empty() && isBlank(word.back())) word.pop_back();
        } else if (word.empty()) {
          // Leading blanks inside the quotes are dropped as well.
          while (i + 1 < line.size() && isBlank(line[i + 1])) ++i;
        }
      } else {
        word += line[i];
      }
      ++i;
    }
    if (!word.empty()) words.push_back(word);
  }
  return words;
}

bool LaunchLink(Launcher& launcher, BrowserChoice choice, const std::string& userProgram,
                const std::string& programFolder, const std::string& sjisUrl) {
  if (sjisUrl.empty()) return false;
  const std::string url = SjisToUtf8(sjisUrl);
  switch (choice) {
    case BrowserChoice::System:
      return launcher.OpenWithDesktop(url);
    case BrowserChoice::Original: {
      std::string folder = programFolder.empty() ? std::string(".") : programFolder;
      return launcher.Start({folder + "/mireva", "Default.htm", url});
    }
    case BrowserChoice::User: {
      std::vector<std::string> argv = SplitProgramLine(userProgram);
      if (argv.empty()) return false;
      argv.push_back(url);
      return launcher.Start(argv);
    }
  }
  return false;
}

}  // namespace mireva
