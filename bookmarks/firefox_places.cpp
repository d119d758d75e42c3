#include "bookmarks/firefox_places.h"

#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <set>
#include <utility>

#include "platform/text_encoding.h"

namespace mireva {
namespace {
namespace fs = std::filesystem;

constexpr size_t kMaxRows = 1000000;
constexpr int kMaxDepth = 100;
constexpr size_t kMaxNodes = 100000;  // bookmarks and folders of one menu
constexpr uintmax_t kMaxDatabaseSize = 1ull << 30;

struct Row {
  long long id;
  int type;  // 1 bookmark, 2 folder, 3 separator
  std::string title;
  std::string url;
  std::string guid;
};

// The roots below the places root, by their fixed identifiers, with the
// names Firefox shows for them.
const char* RootName(const std::string& guid) {
  if (guid == "menu________") return "ブックマークメニュー";
  if (guid == "toolbar_____") return "ブックマークツールバー";
  if (guid == "unfiled_____") return "他のブックマーク";
  if (guid == "mobile______") return "モバイルのブックマーク";
  return nullptr;
}

std::string Column(sqlite3_stmt* st, int i) {
  const unsigned char* t = sqlite3_column_text(st, i);
  return t ? reinterpret_cast<const char*>(t) : "";
}

// The menu a crafted database can ask for is bounded: each folder is built
// once (a folder listed twice, or below itself, would otherwise double at each
// level or never end), at most kMaxDepth deep and kMaxNodes items in all.
struct BuildState {
  const std::map<long long, std::vector<Row>>& children;
  std::set<long long> built;
  size_t nodes = 0;
};

void Build(long long parent, BuildState& state, int depth, std::vector<BookmarkNode>& into) {
  auto it = state.children.find(parent);
  if (it == state.children.end() || depth > kMaxDepth) return;
  for (const Row& r : it->second) {
    if (state.nodes >= kMaxNodes) return;
    if (r.type == 1) {
      if (r.url.empty() || r.url.starts_with("place:")) continue;
      into.push_back({false, r.title, r.url, {}});
      ++state.nodes;
    } else if (r.type == 2) {
      if (!state.built.insert(r.id).second) continue;
      ++state.nodes;
      BookmarkNode folder{true, r.title, {}, {}};
      Build(r.id, state, depth + 1, folder.children);
      if (CountBookmarks(folder.children) > 0) into.push_back(std::move(folder));
    }
  }
}

class TempCopy {
 public:
  explicit TempCopy(const std::string& db) {
    char tmpl[] = "/tmp/mireva-places-XXXXXX";
    if (!mkdtemp(tmpl)) return;
    folder_ = tmpl;
    std::error_code ec;
    path_ = folder_ + "/places.sqlite";
    if (!fs::copy_file(db, path_, ec)) {
      path_.clear();
      return;
    }
    if (fs::exists(db + "-wal", ec)) fs::copy_file(db + "-wal", path_ + "-wal", ec);
  }
  ~TempCopy() {
    std::error_code ec;
    if (!folder_.empty()) fs::remove_all(folder_, ec);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string folder_;
  std::string path_;
};

}  // namespace

std::optional<std::vector<BookmarkNode>> ReadFirefoxPlaces(const std::string& hostPath) {
  std::error_code ec;
  if (!fs::is_regular_file(hostPath, ec) || fs::file_size(hostPath, ec) > kMaxDatabaseSize)
    return std::nullopt;
  TempCopy copy(hostPath);
  if (copy.Path().empty()) return std::nullopt;

  sqlite3* db = nullptr;
  if (sqlite3_open_v2(copy.Path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return std::nullopt;
  }
  sqlite3_busy_timeout(db, 2000);
  auto result = ReadFirefoxPlacesDatabase(db);
  sqlite3_close(db);
  return result;
}

std::optional<std::vector<BookmarkNode>> ReadFirefoxPlacesDatabase(sqlite3* db) {
  const char* sql =
      "SELECT b.id, b.parent, b.type, b.title, p.url, b.guid "
      "FROM moz_bookmarks b LEFT JOIN moz_places p ON b.fk = p.id "
      "ORDER BY b.parent, b.position";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) return std::nullopt;
  std::map<long long, std::vector<Row>> children;
  long long root = -1;
  size_t rows = 0;
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW && rows++ < kMaxRows) {
    Row r{sqlite3_column_int64(st, 0), sqlite3_column_int(st, 2), Column(st, 3), Column(st, 4),
          Column(st, 5)};
    long long parent = sqlite3_column_int64(st, 1);
    if (r.guid == "root________") root = r.id;
    children[parent].push_back(std::move(r));
  }
  bool ok = rc == SQLITE_DONE || rc == SQLITE_ROW;
  sqlite3_finalize(st);
  if (!ok || root < 0) return std::nullopt;

  std::vector<BookmarkNode> result;
  auto top = children.find(root);
  if (top == children.end()) return result;
  BuildState state{children, {root}, 0};
  for (const Row& r : top->second) {
    const char* name = RootName(r.guid);
    if (!name) continue;  // tags and anything unknown
    if (!state.built.insert(r.id).second) continue;
    BookmarkNode folder{true, SjisToUtf8(name), {}, {}};
    Build(r.id, state, 1, folder.children);
    if (CountBookmarks(folder.children) > 0) result.push_back(std::move(folder));
  }
  return result;
}

}  // namespace mireva
