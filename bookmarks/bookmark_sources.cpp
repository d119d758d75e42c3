#include "bookmarks/bookmark_sources.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "bookmarks/bookmark_tree.h"
#include "bookmarks/chromium_bookmarks.h"
#include "bookmarks/firefox_places.h"
#include "platform/file_util.h"
#include "platform/folders.h"
#include "platform/ini_file.h"
#include "platform/text_encoding.h"

namespace mireva {

const char* const kBookmarkSettingsFile = "bookmarks.ini";

namespace {
namespace fs = std::filesystem;

constexpr uintmax_t kMaxJsonSize = 64u << 20;

bool IsFile(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(path, ec);
}

std::string FromEnvironment(const char* name) {
  const char* v = std::getenv(name);
  return v && IsFile(v) ? std::string(v) : std::string();
}

// The saved value of `key` as a host path, "" when there is none.
std::string SavedValue(const BookmarkSourceFolders& f, const char* key) {
  std::string ini = Utf8ToSjis(f.workingFolder + "/" + kBookmarkSettingsFile);
  std::string value = GetProfileString(ini, "Bookmarks", key, "", 4096);
  return value.empty() ? std::string() : HostPath(value);
}

std::string FromSettings(const BookmarkSourceFolders& f, const char* key) {
  std::string host = SavedValue(f, key);
  return IsFile(host) ? host : std::string();
}

// The newest of the candidates that are files; "" when none is.
std::string Newest(const std::vector<std::string>& candidates) {
  std::string best;
  fs::file_time_type bestTime{};
  for (const std::string& c : candidates) {
    std::error_code ec;
    if (!IsFile(c)) continue;
    auto t = fs::last_write_time(c, ec);
    if (ec) continue;
    if (best.empty() || t > bestTime) {
      best = c;
      bestTime = t;
    }
  }
  return best;
}

// XDG_DOWNLOAD_DIR="$HOME/ダウンロード" from user-dirs.dirs.
std::string XdgDownloadFolder(const BookmarkSourceFolders& f) {
  std::ifstream in(f.configHome + "/user-dirs.dirs");
  std::string line;
  for (int n = 0; n < 200 && std::getline(in, line); ++n) {
    const std::string key = "XDG_DOWNLOAD_DIR=";
    if (!line.starts_with(key)) continue;
    std::string v = line.substr(key.size());
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    if (v.starts_with("$HOME")) v = f.home + v.substr(5);
    return v;
  }
  return {};
}

std::vector<std::string> ExportsIn(const std::string& folder) {
  std::vector<std::string> found;
  std::error_code ec;
  if (folder.empty() || !fs::is_directory(folder, ec)) return found;
  size_t seen = 0;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end && seen < 10000; it.increment(ec), ++seen) {
    std::string name = it->path().filename().string();
    if (name.size() >= 14 && name.starts_with("bookmarks") && name.ends_with(".html"))
      found.push_back(it->path().string());
  }
  return found;
}

std::string NewestExport(const BookmarkSourceFolders& f) {
  std::vector<std::string> candidates{f.home + "/bookmarks.html"};
  for (const std::string& folder : {XdgDownloadFolder(f), f.home + "/Downloads",
                                    f.home + "/" + SjisToUtf8("ダウンロード"), f.home + "/Desktop"})
    for (std::string& c : ExportsIn(folder)) candidates.push_back(std::move(c));
  return Newest(candidates);
}

std::string NewestFirefoxPlaces(const BookmarkSourceFolders& f) {
  std::vector<std::string> candidates;
  for (const std::string& root : {f.home + "/.mozilla/firefox", f.home + "/snap/firefox/common/.mozilla/firefox",
                                  f.home + "/.var/app/org.mozilla.firefox/.mozilla/firefox"}) {
    std::error_code ec;
    if (!fs::is_directory(root, ec)) continue;
    size_t seen = 0;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end && seen < 1000; it.increment(ec), ++seen)
      candidates.push_back(it->path().string() + "/places.sqlite");
  }
  return Newest(candidates);
}

std::optional<std::string> ReadSmallFile(const std::string& path) {
  std::error_code ec;
  if (!IsFile(path) || fs::file_size(path, ec) > kMaxJsonSize) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes a generated source file into the working folder (a unique temporary
// name, flushed, renamed); its path, or "".
std::string WriteGenerated(const BookmarkSourceFolders& f, const char* name, const std::string& data) {
  std::string path = f.workingFolder + "/" + name;
  return WriteHostFileAtomically(path, data) ? path : std::string();
}

std::optional<std::vector<BookmarkNode>> ReadChromiumFile(const std::string& path) {
  std::optional<std::string> json = ReadSmallFile(path);
  if (!json) return std::nullopt;
  return ParseChromiumBookmarks(*json);
}

}  // namespace

BookmarkSourceFolders DefaultSourceFolders(const std::string& workingFolder) {
  BookmarkSourceFolders f;
  f.home = HomeFolder();
  const char* config = std::getenv("XDG_CONFIG_HOME");
  f.configHome = config && *config ? config : f.home + "/.config";
  f.workingFolder = workingFolder;
  return f;
}

namespace {

std::string NewestChromiumBookmarks(const BookmarkSourceFolders& f) {
  return Newest({f.configHome + "/chromium/Default/Bookmarks", f.configHome + "/google-chrome/Default/Bookmarks",
                 f.home + "/snap/chromium/common/chromium/Default/Bookmarks"});
}

std::string NewestOperaHotlist(const BookmarkSourceFolders& f) {
  return Newest({f.home + "/.opera/bookmarks.adr", f.home + "/.opera/opera6.adr", f.home + "/.opera/opera.adr"});
}

std::string FolderOf(const std::string& path) {
  return path.empty() ? path : fs::path(path).parent_path().string();
}

}  // namespace

BookmarkSettings ReadBookmarkSettings(const BookmarkSourceFolders& f) {
  BookmarkSettings s;
  std::string ini = Utf8ToSjis(f.workingFolder + "/" + kBookmarkSettingsFile);
  s.chosen = GetProfileString(ini, "Bookmarks", "AtStart", "", 16) == "1";
  s.netscapeFile = SavedValue(f, "Netscape");
  s.firefoxProfile = SavedValue(f, "Firefox");
  s.chromiumProfile = SavedValue(f, "Chromium");
  s.operaHotlist = SavedValue(f, "Opera");
  if (s.chosen) return s;
  // Nothing saved yet: what the automatic search would take.
  if (s.netscapeFile.empty()) s.netscapeFile = NewestExport(f);
  if (s.firefoxProfile.empty()) s.firefoxProfile = FolderOf(NewestFirefoxPlaces(f));
  if (s.chromiumProfile.empty()) s.chromiumProfile = FolderOf(NewestChromiumBookmarks(f));
  if (s.operaHotlist.empty()) s.operaHotlist = NewestOperaHotlist(f);
  return s;
}

bool WriteBookmarkSettings(const BookmarkSourceFolders& f, const BookmarkSettings& s) {
  std::string text = "[Bookmarks]\r\n";
  text += "Netscape=" + Utf8ToSjis(s.netscapeFile) + "\r\n";
  text += "Firefox=" + Utf8ToSjis(s.firefoxProfile) + "\r\n";
  text += "Chromium=" + Utf8ToSjis(s.chromiumProfile) + "\r\n";
  text += "Opera=" + Utf8ToSjis(s.operaHotlist) + "\r\n";
  text += "AtStart=1\r\n";
  return WriteHostFileAtomically(f.workingFolder + "/" + kBookmarkSettingsFile, text);
}

std::string FindNetscapeBookmarks(const BookmarkSourceFolders& f) {
  if (std::string p = FromEnvironment("MIREVA_NETSCAPE_BOOKMARKS"); !p.empty()) return p;
  if (std::string p = FromSettings(f, "Netscape"); !p.empty()) return p;
  if (std::string folder = SavedValue(f, "Firefox"); !folder.empty()) {
    if (auto tree = ReadFirefoxPlaces(folder + "/places.sqlite"); tree && CountBookmarks(*tree) > 0)
      if (std::string p = WriteGenerated(f, "FirefoxBookmarks.html", WriteNetscapeHtml(*tree)); !p.empty())
        return p;
  }
  if (std::string folder = SavedValue(f, "Chromium"); !folder.empty()) {
    if (auto tree = ReadChromiumFile(folder + "/Bookmarks"); tree && CountBookmarks(*tree) > 0)
      return WriteGenerated(f, "ChromiumBookmarks.html", WriteNetscapeHtml(*tree));
  }
  if (std::string p = NewestExport(f); !p.empty()) return p;
  if (std::string places = NewestFirefoxPlaces(f); !places.empty()) {
    if (auto tree = ReadFirefoxPlaces(places); tree && CountBookmarks(*tree) > 0)
      if (std::string p = WriteGenerated(f, "FirefoxBookmarks.html", WriteNetscapeHtml(*tree)); !p.empty())
        return p;
  }
  std::string chromium = NewestChromiumBookmarks(f);
  if (!chromium.empty()) {
    if (auto tree = ReadChromiumFile(chromium); tree && CountBookmarks(*tree) > 0)
      return WriteGenerated(f, "ChromiumBookmarks.html", WriteNetscapeHtml(*tree));
  }
  return {};
}

std::string FindOperaHotlist(const BookmarkSourceFolders& f) {
  if (std::string p = FromEnvironment("MIREVA_OPERA_HOTLIST"); !p.empty()) return p;
  if (std::string p = FromSettings(f, "Opera"); !p.empty()) return p;
  if (std::string p = NewestOperaHotlist(f); !p.empty()) return p;
  if (auto tree = ReadChromiumFile(f.configHome + "/opera/Bookmarks"); tree && CountBookmarks(*tree) > 0)
    return WriteGenerated(f, "OperaHotlist.adr", WriteOperaHotlist(*tree));
  return {};
}

}  // namespace mireva
