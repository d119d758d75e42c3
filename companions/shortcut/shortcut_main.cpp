// mireva-shortcut browser
// Writes the prefetch shortcut "先読み開始.LNK" into the current folder: a
// desktop entry that starts Mireva from this program's folder. Desktops that
// read desktop entries show it as a launcher once it is copied to
// ~/.local/share/applications or the desktop folder.
#include <cstdio>
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
      "Terminal=false\n"
      "Categories=Network;WebBrowser;\n";
  if (!mireva::WriteFileAtomically("先読み開始.LNK", entry)) {
    std::fprintf(stderr, "mireva-shortcut: cannot write the shortcut\n");
    return 1;
  }
  return 0;
}
