// mireva-shortcut browser
// Writes the prefetch shortcut "先読み開始.LNK" into the current folder: a
// desktop entry that starts Mireva from this program's folder. Mireva looks for
// that file at start and runs this program when it is missing. The same entry
// also goes to the user's applications folder ($XDG_DATA_HOME/applications,
// else ~/.local/share/applications) as mireva-prefetch.desktop, where desktops
// list it as a launcher.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/file_util.h"
#include "platform/folders.h"
#include "platform/text_encoding.h"

int main(int argc, char** argv) {
  if (argc < 2 || std::string(argv[1]) != "browser") {
    std::fprintf(stderr, "usage: mireva-shortcut browser\n");
    return 2;
  }
  std::string entry =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=" + mireva::SjisToUtf8("先読み開始") + "\n"
      "Comment=Mireva\n"
      "Exec=\"" + mireva::ProgramFolder() + "/mireva\"\n"
      "Icon=mireva\n"
      "Terminal=false\n"
      "Categories=Network;WebBrowser;\n";
  if (!mireva::WriteFileAtomically("先読み開始.LNK", entry)) {
    std::fprintf(stderr, "mireva-shortcut: cannot write the shortcut\n");
    return 1;
  }
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  std::string applications =
      (dataHome && *dataHome ? std::string(dataHome) : mireva::HomeFolder() + "/.local/share") +
      "/applications";
  if (!mireva::MakeDirectories(applications) ||
      !mireva::WriteFileAtomically(applications + "/mireva-prefetch.desktop", entry)) {
    std::fprintf(stderr, "mireva-shortcut: cannot write the launcher into %s\n",
                 applications.c_str());
    return 1;
  }
  return 0;
}
