// The places.sqlite reader. An input that starts like a SQLite file is the
// database itself; any other input describes the rows of a places database
// (ids, parents, types, titles, addresses, root names), which reaches the
// folder building far more often than mutated database pages do. The reader
// must come back, with a bounded tree, from duplicate and circular folders.
// Databases are read in memory: the rows go into one in-memory database kept
// for the whole run, a database file is loaded with sqlite3_deserialize. One
// database file in eight goes through the reader's own path entry (a private
// copy of the file opened read-only) instead.
#include <fuzzer/FuzzedDataProvider.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "bookmarks/bookmark_tree.h"
#include "bookmarks/firefox_places.h"
#include "fuzz/fuzz_support.h"

using namespace mireva;

namespace {

using mireva::fuzz::Check;

sqlite3_stmt* Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* st = nullptr;
  Check(sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK);
  return st;
}

void BindText(sqlite3_stmt* st, int column, const std::string& text) {
  Check(sqlite3_bind_text(st, column, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT) == SQLITE_OK);
}

void Step(sqlite3_stmt* st) {
  Check(sqlite3_step(st) == SQLITE_DONE);
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
}

// The places tables as the reader queries them, emptied and filled with the
// input's rows. The number of bookmark rows goes to `rows`.
sqlite3* FillDatabase(FuzzedDataProvider& in, size_t* rows) {
  static sqlite3* db = [] {
    sqlite3* d = nullptr;
    Check(sqlite3_open(":memory:", &d) == SQLITE_OK);
    Check(sqlite3_exec(d,
                       "CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR,"
                       " title LONGVARCHAR);"
                       "CREATE TABLE moz_bookmarks (id INTEGER, type INTEGER, fk INTEGER,"
                       " parent INTEGER, position INTEGER, title LONGVARCHAR, guid TEXT);",
                       nullptr, nullptr, nullptr) == SQLITE_OK);
    return d;
  }();
  static sqlite3_stmt* clear = Prepare(db, "DELETE FROM moz_places");
  static sqlite3_stmt* clearBookmarks = Prepare(db, "DELETE FROM moz_bookmarks");
  static sqlite3_stmt* place = Prepare(db, "INSERT INTO moz_places (id, url) VALUES (?, ?)");
  static sqlite3_stmt* bookmark =
      Prepare(db, "INSERT INTO moz_bookmarks VALUES (?, ?, ?, ?, ?, ?, ?)");
  static const char* const kGuids[] = {"root________", "menu________", "toolbar_____",
                                       "tags________", "unfiled_____", "mobile______"};

  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK);
  Step(clear);
  Step(clearBookmarks);
  const int places = in.ConsumeIntegralInRange<int>(0, 8);
  for (int i = 1; i <= places; ++i) {
    sqlite3_bind_int(place, 1, i);
    BindText(place, 2, in.ConsumeRandomLengthString(40));
    Step(place);
  }
  while (in.remaining_bytes() > 0) {
    const int id = in.ConsumeIntegralInRange<int>(0, 40);
    const int type = in.ConsumeIntegralInRange<int>(0, 4);
    const int fk = in.ConsumeIntegralInRange<int>(0, 9);
    const int parent = in.ConsumeIntegralInRange<int>(0, 40);
    const int position = in.ConsumeIntegralInRange<int>(0, 8);
    const uint8_t guid = in.ConsumeIntegral<uint8_t>();
    const std::string title = in.ConsumeRandomLengthString(16);
    ++*rows;
    sqlite3_bind_int(bookmark, 1, id);
    sqlite3_bind_int(bookmark, 2, type);
    if (fk) sqlite3_bind_int(bookmark, 3, fk);  // else NULL
    sqlite3_bind_int(bookmark, 4, parent);
    sqlite3_bind_int(bookmark, 5, position);
    BindText(bookmark, 6, title);
    BindText(bookmark, 7, guid < 6 * 16 ? kGuids[guid / 16] : std::to_string(guid));
    Step(bookmark);
  }
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK);
  return db;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // One thread, no memory statistics: SQLite's mutexes and counters only
  // slow the run down here.
  sqlite3_config(SQLITE_CONFIG_SINGLETHREAD);
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char kMagic[] = "SQLite format 3";
  std::optional<std::vector<BookmarkNode>> tree;
  size_t rows = SIZE_MAX;
  if (size >= sizeof kMagic && std::memcmp(data, kMagic, sizeof kMagic) == 0) {
    if (data[size - 1] % 8 == 0) {
      tree = ReadFirefoxPlaces(fuzz::WriteScratch("places.sqlite", data, size));
    } else {
      sqlite3* db = nullptr;
      Check(sqlite3_open(":memory:", &db) == SQLITE_OK);
      auto* copy = static_cast<unsigned char*>(sqlite3_malloc64(size));
      Check(copy != nullptr);
      std::memcpy(copy, data, size);
      if (sqlite3_deserialize(db, "main", copy, static_cast<sqlite3_int64>(size),
                              static_cast<sqlite3_int64>(size),
                              SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_READONLY) ==
          SQLITE_OK)
        tree = ReadFirefoxPlacesDatabase(db);
      sqlite3_close(db);
    }
  } else {
    FuzzedDataProvider in(data, size);
    rows = 0;
    tree = ReadFirefoxPlacesDatabase(FillDatabase(in, &rows));
  }
  // Each row at most once, however the rows are linked.
  if (tree && CountBookmarks(*tree) > rows) std::abort();
  return 0;
}
