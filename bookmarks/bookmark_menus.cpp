#include "bookmarks/bookmark_menus.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <utility>

#include "bookmarks/bookmark_sources.h"
#include "platform/file_util.h"
#include "platform/interaction.h"
#include "platform/process.h"
#include "platform/text_encoding.h"

namespace mireva {

const char* const kNetscapeWorkingCopy = "bookmark.html";
// One name for the copy and the read: the file system compares case.
const char* const kOperaWorkingCopy = "operabook.txt";

namespace {
namespace fs = std::filesystem;

// Copies `from` over `to` through a unique temporary name that is flushed to
// disk before it is renamed, so the working copy is either the old or the
// whole new file, also with two windows copying at once or after a crash.
// False on any failure (the caller ignores it).
bool CopyReplacing(const std::string& from, const std::string& to) {
  if (from.empty()) return false;
  return CopyFileAtomically(from, to, kBookmarkFileLimit);
}

// The file's bytes up to the reader's bound; nothing when it cannot be opened.
std::optional<std::string> ReadBounded(const std::string& hostPath) {
  std::error_code ec;
  if (fs::is_directory(hostPath, ec)) return std::nullopt;
  std::ifstream in(hostPath, std::ios::binary);
  if (!in) return std::nullopt;
  uintmax_t size = fs::file_size(hostPath, ec);
  std::string data(ec ? kBookmarkFileLimit : std::min<uintmax_t>(size, kBookmarkFileLimit), '\0');
  in.read(data.data(), static_cast<std::streamsize>(data.size()));
  if (in.bad()) return std::nullopt;  // a read error is no shorter file
  data.resize(static_cast<size_t>(in.gcount()));
  return data;
}

std::optional<std::string> Lookup(const std::vector<std::string>& list, int id, int first) {
  int n = id - first;
  if (n < 0 || n >= kBookmarkRangeSize || static_cast<size_t>(n) >= list.size()) return std::nullopt;
  return list[static_cast<size_t>(n)];
}

}  // namespace

BookmarkMenus::BookmarkMenus(std::string workingFolder, Hooks hooks)
    : workingFolder_(std::move(workingFolder)), hooks_(std::move(hooks)) {
  if (!hooks_.editFile)
    hooks_.editFile = [](const std::string& path, std::function<void(bool)> closed) {
      closed(OpenInTextEditor(path, Wait::UntilExit));
    };
  if (!hooks_.netscapePath) {
    std::string folder = workingFolder_;
    hooks_.netscapePath = [folder] { return FindNetscapeBookmarks(DefaultSourceFolders(folder)); };
  }
  if (!hooks_.operaPath) {
    std::string folder = workingFolder_;
    hooks_.operaPath = [folder] { return FindOperaHotlist(DefaultSourceFolders(folder)); };
  }
}

void BookmarkMenus::BuildFavorites(const std::string& hostFolder) {
  favorites_ = BuildFavoritesMenu(hostFolder);
  Changed(BookmarkMenuKind::Favorites);
}

MenuModel BookmarkMenus::BookmarksModel() const {
  MenuModel menu;
  MenuItem enter = MenuItem::Command("登録", 3111);
  enter.enabled = false;  // no handler: shown disabled
  menu.push_back(enter);
  menu.push_back(MenuItem::Command("編集", 3312));
  if (operaRead_) {
    MenuModel section = OperaMenuSection(opera_);
    menu.insert(menu.end(), section.begin(), section.end());
  }
  if (netscapeRead_) {
    MenuModel section = NetscapeMenuSection(netscape_);
    menu.insert(menu.end(), section.begin(), section.end());
  }
  return menu;
}

std::optional<std::string> BookmarkMenus::FavoriteAddress(int id) const {
  return Lookup(favorites_.addresses, id, kFavoriteFirstId);
}
std::optional<std::string> BookmarkMenus::NetscapeAddress(int id) const {
  return Lookup(netscapeAddresses_, id, kNetscapeFirstId);
}
std::optional<std::string> BookmarkMenus::OperaAddress(int id) const {
  return Lookup(opera_.addresses, id, kOperaFirstId);
}

std::string BookmarkMenus::NetscapePath() {
  if (netscapePath_.empty()) netscapePath_ = Utf8ToSjis(hooks_.netscapePath());
  return netscapePath_;
}

void BookmarkMenus::EditNetscape(Interaction& ui) {
  std::string source = hooks_.netscapePath();
  netscapePath_ = Utf8ToSjis(source);
  CopyReplacing(source, NetscapeCopyPath());
  hooks_.editFile(NetscapeCopyPath(), [this, &ui](bool started) {
    if (!started) {
      ui.ShowMessage("netscp6 faild.");
      return;
    }
    ReadNetscape(ui);
  });
}

void BookmarkMenus::EditOpera(Interaction& ui) {
  std::string source = hooks_.operaPath();
  operaPath_ = Utf8ToSjis(source);
  CopyReplacing(source, OperaCopyPath());
  hooks_.editFile(OperaCopyPath(), [this, &ui](bool started) {
    if (!started) {
      ui.ShowMessage("notepad faild.");
      return;
    }
    ReadOpera(ui);
  });
}

void BookmarkMenus::FillFromSources(Interaction& ui) {
  std::string netscape = hooks_.netscapePath();
  netscapePath_ = Utf8ToSjis(netscape);
  if (CopyReplacing(netscape, NetscapeCopyPath())) ReadNetscape(ui);
  if (CopyReplacing(hooks_.operaPath(), OperaCopyPath())) ReadOpera(ui);
}

bool BookmarkMenus::ReadNetscape(Interaction& ui) {
  std::optional<std::string> bytes = ReadBounded(NetscapeCopyPath());
  if (!bytes) {
    ui.ShowMessage("Netscape ブックマーク　ファイル が見つかりません");
    return false;
  }
  netscape_ = ParseNetscapeBookmarks(*bytes);
  netscapeAddresses_.clear();
  for (const BookmarkEntry& e : netscape_.entries) netscapeAddresses_.push_back(e.address);
  netscapeRead_ = true;
  Changed(BookmarkMenuKind::Bookmarks);
  return true;
}

bool BookmarkMenus::ReadOpera(Interaction& ui) {
  std::optional<std::string> bytes = ReadBounded(OperaCopyPath());
  if (!bytes) {
    ui.ShowMessage("Opera ブックマーク　ファイルが見つかりません");
    return false;
  }
  opera_ = ParseOperaHotlist(*bytes);
  operaRead_ = true;
  Changed(BookmarkMenuKind::Bookmarks);
  return true;
}

void BookmarkMenus::Changed(BookmarkMenuKind kind) {
  if (onChanged) onChanged(kind);
}

}  // namespace mireva
