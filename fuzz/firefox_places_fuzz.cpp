// The places.sqlite reader. An input that starts like a SQLite file is the
// database itself; any other input describes the rows of a places database
// (ids, parents, types, titles, addresses, root names), which reaches the
// folder building far more often than mutated database pages do. The reader
// must come back, with a bounded tree, from duplicate and circular folders.
#include <fuzzer/FuzzedDataProvider.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bookmarks/bookmark_tree.h"
#include "bookmarks/firefox_places.h"
#include "fuzz/fuzz_support.h"

using namespace mireva;

namespace {

// Text as an SQL literal, NUL bytes dropped.
std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\0') continue;
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

bool BuildDatabase(FuzzedDataProvider& in, const std::string& path, size_t* rows) {
  static const char* const kGuids[] = {"root________", "menu________", "toolbar_____",
                                       "tags________", "unfiled_____", "mobile______"};
  std::string sql =
      "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;"
      "CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR);"
      "CREATE TABLE moz_bookmarks (id INTEGER, type INTEGER, fk INTEGER, parent INTEGER,"
      " position INTEGER, title LONGVARCHAR, guid TEXT);";
  const int places = in.ConsumeIntegralInRange<int>(0, 8);
  for (int i = 1; i <= places; ++i)
    sql += "INSERT INTO moz_places (id,url) VALUES (" + std::to_string(i) + "," +
           Quote(in.ConsumeRandomLengthString(40)) + ");";
  while (in.remaining_bytes() > 0) {
    const int id = in.ConsumeIntegralInRange<int>(0, 40);
    const int type = in.ConsumeIntegralInRange<int>(0, 4);
    const int fk = in.ConsumeIntegralInRange<int>(0, 9);
    const int parent = in.ConsumeIntegralInRange<int>(0, 40);
    const int position = in.ConsumeIntegralInRange<int>(0, 8);
    const uint8_t guid = in.ConsumeIntegral<uint8_t>();
    const std::string title = in.ConsumeRandomLengthString(16);
    ++*rows;
    sql += "INSERT INTO moz_bookmarks VALUES (" + std::to_string(id) + "," +
           std::to_string(type) + "," + (fk ? std::to_string(fk) : "NULL") + "," +
           std::to_string(parent) + "," + std::to_string(position) + "," + Quote(title) + "," +
           (guid < 6 * 16 ? Quote(kGuids[guid / 16]) : Quote(std::to_string(guid))) + ");";
  }
  sql += "COMMIT;";
  ::unlink(path.c_str());
  sqlite3* db = nullptr;
  bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
            sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char kMagic[] = "SQLite format 3";
  std::string path;
  size_t rows = SIZE_MAX;
  if (size >= sizeof kMagic && std::memcmp(data, kMagic, sizeof kMagic) == 0) {
    path = fuzz::WriteScratch("places.sqlite", data, size);
  } else {
    FuzzedDataProvider in(data, size);
    path = fuzz::ScratchFolder() + "/places.sqlite";
    rows = 0;
    if (!BuildDatabase(in, path, &rows)) return 0;
  }
  auto tree = ReadFirefoxPlaces(path);
  // Each row at most once, however the rows are linked.
  if (tree && CountBookmarks(*tree) > rows) std::abort();
  return 0;
}
