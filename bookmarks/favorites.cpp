#include "bookmarks/favorites.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <utility>

#include "bookmarks/sjis_text.h"
#include "platform/folders.h"
#include "platform/ini_file.h"
#include "platform/text_encoding.h"
#include "platform/text_helpers.h"

namespace mireva {

const char* const kFavoritesTruncatedNotice = "（256 件を超えたお気に入りは表示していません）";

namespace {

constexpr size_t kMaxEntriesPerFolder = 100000;
constexpr int kMaxDepth = 64;
// The shortcut's "URL" value is read into a 512-byte buffer: 511 bytes at most.
constexpr size_t kAddressCapacity = 512;
// A shortcut is a few hundred bytes; a far larger ".url" file is not read.
constexpr off_t kMaxShortcutSize = 1 << 20;

enum class EntryType { File, Folder, Special };

struct Entry {
  std::string hostName;
  std::string sjisName;
  EntryType type;
  bool hidden;
  off_t size;
  dev_t dev;
  ino_t ino;
};

// Names on disk are UTF-8 as a rule; a name that is not (copied over from an
// old system) is taken as Shift_JIS bytes.
std::string NameToSjis(const std::string& hostName) {
  return IsValidUtf8(hostName) ? Utf8ToSjis(hostName) : hostName;
}

std::vector<Entry> ListFolder(const std::string& folder) {
  std::vector<Entry> entries;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return entries;
  while (dirent* d = readdir(dir)) {
    std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    std::string path = folder + "/" + name;
    if (path.size() >= PATH_MAX) continue;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) continue;  // broken link or vanished: unreadable
    EntryType type = S_ISREG(st.st_mode)   ? EntryType::File
                     : S_ISDIR(st.st_mode) ? EntryType::Folder
                                           : EntryType::Special;
    entries.push_back({name, NameToSjis(name), type, name[0] == '.', st.st_size, st.st_dev,
                       st.st_ino});
    if (entries.size() >= kMaxEntriesPerFolder) break;
  }
  closedir(dir);
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    int c = CompareNoCaseMb(a.sjisName, b.sjisName);
    return c != 0 ? c < 0 : a.hostName < b.hostName;
  });
  return entries;
}

// The "URL" value of the shortcut's [InternetShortcut] section; false when the
// file cannot be opened.
bool ReadShortcutAddress(const std::string& hostPath, std::string* address) {
  // O_NONBLOCK: should the file have been replaced by a FIFO since it was
  // listed, the open must not wait for a writer.
  int fd = open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  // The profile reader takes Shift_JIS paths; a name that does not survive the
  // round trip (a character Shift_JIS lacks) is read through its descriptor.
  std::string sjisPath = Utf8ToSjis(hostPath);
  if (SjisToUtf8(sjisPath) != hostPath) sjisPath = "/proc/self/fd/" + std::to_string(fd);
  std::string value =
      GetProfileString(sjisPath, "InternetShortcut", "URL", "", kAddressCapacity);
  close(fd);
  // Shortcuts written on this system may carry UTF-8; the program's text is Shift_JIS.
  *address = ToSjis(value, DetectEncoding(value));
  return true;
}

struct Walk {
  std::vector<std::string>& addresses;
  bool truncated = false;
  std::vector<std::pair<dev_t, ino_t>> chain;  // folders on the path being walked
};

// Builds one level into `menu` with the first free index `k`; returns the
// next free index.
int BuildLevel(const std::string& folder, int k, MenuModel& menu, Walk& walk) {
  std::vector<Entry> entries = ListFolder(folder);

  // First pass: this folder's shortcuts, kept in ascending title order; a title
  // equal to an earlier one goes after it. Their addresses take the same slots
  // k, k+1, ... of the address list.
  std::vector<std::string> titles;
  for (const Entry& e : entries) {
    if (e.hidden || e.type != EntryType::File || !e.hostName.ends_with(".url")) continue;
    if (k + static_cast<int>(titles.size()) >= kBookmarkRangeSize) {
      walk.truncated = true;
      continue;
    }
    std::string address;
    if (e.size > kMaxShortcutSize) continue;
    if (!ReadShortcutAddress(folder + "/" + e.hostName, &address)) continue;
    std::string title = e.sjisName.substr(0, e.sjisName.size() - 4);
    size_t pos = 0;
    while (pos < titles.size() && CompareNoCaseMb(titles[pos], title) <= 0) ++pos;
    titles.insert(titles.begin() + static_cast<long>(pos), title);
    walk.addresses.insert(walk.addresses.begin() + k + static_cast<long>(pos), address);
  }
  for (size_t i = 0; i < titles.size(); ++i) {
    int index = k + static_cast<int>(i);
    menu.push_back(MenuItem::Command(titles[i], kFavoriteFirstId + index,
                                     walk.addresses[static_cast<size_t>(index)]));
  }
  int next = k + static_cast<int>(titles.size());

  // Second pass: sub-folders, hidden ones included. A popup goes before the
  // first popup name of this level that compares greater, so popups stay in
  // ascending order ahead of the shortcut items.
  if (walk.chain.size() >= kMaxDepth) return next;
  std::vector<std::string> popupNames;
  for (const Entry& e : entries) {
    if (e.type != EntryType::Folder) continue;
    auto id = std::make_pair(e.dev, e.ino);
    if (std::find(walk.chain.begin(), walk.chain.end(), id) != walk.chain.end()) continue;
    size_t pos = 0;
    while (pos < popupNames.size() && CompareNoCaseMb(popupNames[pos], e.sjisName) <= 0) ++pos;
    MenuModel sub;
    walk.chain.push_back(id);
    int after = BuildLevel(folder + "/" + e.hostName, next, sub, walk);
    walk.chain.pop_back();
    if (after > next) {
      menu.insert(menu.begin() + static_cast<long>(pos), MenuItem::Submenu(e.sjisName, std::move(sub)));
      popupNames.insert(popupNames.begin() + static_cast<long>(pos), e.sjisName);
      next = after;
    }
  }
  return next;
}

}  // namespace

std::string FavoritesFolder() {
  if (const char* v = std::getenv("MIREVA_FAVORITES"); v && *v) return v;
  return WorkingFolder() + "/Favorites";
}

FavoritesMenu BuildFavoritesMenu(const std::string& hostFolder) {
  FavoritesMenu result;
  std::string folder = hostFolder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty()) return result;
  Walk walk{result.addresses, false, {}};
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return result;
  walk.chain.push_back({st.st_dev, st.st_ino});
  BuildLevel(folder, 0, result.menu, walk);
  result.truncated = walk.truncated;
  if (walk.truncated) result.menu.push_back(MenuItem::Notice(kFavoritesTruncatedNotice));
  return result;
}

}  // namespace mireva
