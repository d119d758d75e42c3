#include "bookmarks/opera_hotlist.h"

#include <algorithm>

#include "bookmarks/netscape_bookmarks.h"
#include "bookmarks/sjis_text.h"
#include "platform/text_helpers.h"

namespace mireva {
namespace {

// The indent before the lines of a hotlist.
constexpr std::string_view kIndent = " \t";

// "Opera Hotlist version 2.0" / "Options: encoding = utf8, version=3".
FileEncoding HotlistEncoding(std::string_view bytes) {
  std::string head(bytes.substr(0, std::min<size_t>(bytes.size(), 512)));
  std::string squeezed;
  for (char c : head)
    if (c != ' ' && c != '\t') squeezed += AsciiLower(c);
  if (squeezed.find("encoding=utf8") != std::string::npos ||
      squeezed.find("encoding=utf-8") != std::string::npos)
    return FileEncoding::Utf8;
  return DetectEncoding(bytes);
}

struct Block {
  bool hasName = false;
  std::string name;
  std::string url;
};

class HotlistParser {
 public:
  HotlistParser(std::string_view text, OperaHotlist& out) : lines_(text, kBookmarkLineLimit), out_(out) {}

  void Run() {
    std::string_view line;
    while (NextLine(&line)) {
      std::string_view t = TrimStart(line, kIndent);
      if (t.starts_with("#FOLDER")) {
        Block folder = ReadBlock();
        if (!folder.hasName) continue;
        MenuModel popup = ReadFolderContent();
        if (!popup.empty()) out_.items.push_back(MenuItem::Submenu(folder.name, std::move(popup)));
      } else if (t.starts_with("#URL")) {
        AddEntry(ReadBlock(), out_.items);
      }
    }
  }

 private:
  bool NextLine(std::string_view* line) {
    if (hasPending_) {
      hasPending_ = false;
      *line = pending_;
      return true;
    }
    return lines_.Next(line);
  }
  void PushBack(std::string_view line) {
    pending_ = line;
    hasPending_ = true;
  }

  // The field lines after a "#URL" or "#FOLDER" line. The line that ends the
  // block is left for the caller.
  Block ReadBlock() {
    Block block;
    std::string_view line;
    while (NextLine(&line)) {
      std::string_view t = TrimStart(line, kIndent);
      if (t.empty() || line == "-" || t.starts_with("#")) {
        PushBack(line);
        break;
      }
      if (t.starts_with("NAME=") && !block.hasName) {
        block.hasName = true;
        block.name = std::string(t.substr(5));
      } else if (t.starts_with("URL=") && block.url.empty()) {
        block.url = std::string(t.substr(4));
      }
    }
    return block;
  }

  MenuModel ReadFolderContent() {
    MenuModel popup;
    std::string_view line;
    while (NextLine(&line)) {
      if (line == "-") break;
      std::string_view t = TrimStart(line, kIndent);
      if (t.starts_with("#URL")) AddEntry(ReadBlock(), popup);
    }
    return popup;
  }

  void AddEntry(const Block& block, MenuModel& into) {
    if (!block.hasName) return;
    if (out_.addresses.size() >= kBookmarkRangeSize) {
      out_.truncated = true;
      return;
    }
    int id = kOperaFirstId + static_cast<int>(out_.addresses.size());
    out_.addresses.push_back(block.url);
    into.push_back(MenuItem::Command(block.name, id, block.url));
  }

  LineReader lines_;
  OperaHotlist& out_;
  std::string_view pending_;
  bool hasPending_ = false;
};

}  // namespace

OperaHotlist ParseOperaHotlist(std::string_view fileBytes) {
  OperaHotlist result;
  if (fileBytes.size() > kBookmarkFileLimit) fileBytes = fileBytes.substr(0, kBookmarkFileLimit);
  const std::string text = ToSjis(fileBytes, HotlistEncoding(fileBytes));
  HotlistParser(text, result).Run();
  return result;
}

MenuModel OperaMenuSection(const OperaHotlist& hotlist) {
  MenuModel menu;
  menu.push_back(MenuItem::Separator());
  menu.insert(menu.end(), hotlist.items.begin(), hotlist.items.end());
  if (hotlist.truncated) menu.push_back(MenuItem::Notice(kBookmarksTruncatedNotice));
  return menu;
}

}  // namespace mireva
