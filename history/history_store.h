#pragma once
// The download history: one entry per address the download engine has fetched,
// kept in the SQLite database "DownLoad/History.sqlite" of the working folder,
// beside the engine's files. Several processes (engines, the window, the
// command-line tool) may use it at once: the database runs in WAL mode with a
// busy timeout, and every batch of entries is one transaction, so a crash at
// any moment leaves either the whole batch or none of it.
//
// On first use an existing "DownLoad/Fetched.lst" is imported and renamed to
// "DownLoad/Fetched.lst.imported". A database that is no database or fails its
// check is renamed to "DownLoad/History.sqlite.damaged-<time>" (with its
// "-wal" and "-shm") and a new one is started; Message() then says so. A store
// whose file another process has set aside opens the new one before it writes
// a batch or reads, so nothing goes on being recorded in the damaged copy.
//
// Texts (addresses, file names, messages) are Shift_JIS bytes, as everywhere
// inside the system; host paths (the working folder) are UTF-8. Nothing throws.
#include <cstddef>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

struct sqlite3;

namespace mireva {

// What kind of run fetched a file. The numbers are stored: never renumber.
enum class RunKind {
  Unknown = 0,  // entries imported from the old record
  Patrol = 1,
  LinkCommand = 2,
  List = 3,
  Collector = 4,
  Selection = 5,  // links the user chose in the link-selection window
};

// A short English name ("patrol", "link", "list", "collector", "selection", "unknown").
const char* RunKindName(RunKind kind);

struct HistoryEntry {
  std::string address;       // the address asked for; the key of the history
  std::string finalAddress;  // where it came from after redirects (empty: unknown)
  std::string referrer;      // the page it was linked from (empty: none)
  std::string file;          // relative to the working folder: "DownLoad/<host>/<name>"
  long long size = 0;        // bytes
  std::string sha256;        // 64 lowercase hex digits; empty: read from `file` when recorded
  long long fetchedAt = 0;   // Unix seconds; 0: the time it is recorded
  RunKind kind = RunKind::Unknown;
  std::string site;  // the address's host in lower case; filled by the store
};

// Which entries List and Forget take. Empty members do not filter.
struct HistoryFilter {
  long long since = 0;  // fetched at or after this Unix time
  std::string site;     // the host or any host below it ("example.com" takes "img.example.com")
  std::string text;     // found in the address, the address after redirects or the file
  size_t limit = 0;     // List only: at most this many entries (0: all)
};

struct SiteTotals {
  std::string site;
  long long files = 0;
  long long bytes = 0;
  long long newest = 0;  // Unix time of the newest entry
};

// The name of the database relative to the working folder.
inline constexpr char kHistoryFileName[] = "DownLoad/History.sqlite";

class HistoryStore {
 public:
  HistoryStore();
  ~HistoryStore();  // an open batch is rolled back
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  // Opens the history of `workingFolder` (a UTF-8 host path; "." is the current
  // folder), creating "DownLoad" and the database when missing, importing
  // "DownLoad/Fetched.lst" when present, and setting a damaged database aside.
  // False when no history can be used (the folder is missing or unwritable, a
  // newer program's database); Message() says why.
  bool Open(const std::string& workingFolder);
  void Close();
  bool IsOpen() const { return db_ != nullptr; }

  // The message for the user from the last call that had something to say
  // (the database was set aside, could not be opened or written), else empty.
  const std::string& Message() const { return message_; }
  // Entries taken from "Fetched.lst" by Open (0 when there was none).
  size_t Imported() const { return imported_; }

  // Whether the address has been fetched (the address asked for).
  bool Has(const std::string& address);
  // The addresses of `addresses` that have been fetched, in one read.
  std::unordered_set<std::string> Known(const std::vector<std::string>& addresses);

  // Records the entries in one transaction; an address already there is
  // replaced by its new fetch. Entries without an address, or with a tab or a
  // line end in a text, are refused. The number recorded, or nothing when the
  // batch could not be written (then none of it is).
  std::optional<size_t> Record(std::vector<HistoryEntry> entries);

  // The same in steps, for callers that record as files arrive: BeginBatch
  // takes the write lock, Add records one entry (false when refused), Commit
  // makes the batch lasting. Close, Open or destruction roll an open batch back.
  bool BeginBatch();
  bool Add(HistoryEntry entry);
  bool Commit();
  void Rollback();

  // The matching entries, newest first.
  std::vector<HistoryEntry> List(const HistoryFilter& filter);
  // Removes the matching entries (so they are fetched again); how many, or
  // nothing on failure. `limit` is ignored.
  std::optional<long long> Forget(const HistoryFilter& filter);
  // Removes the entries of exactly these addresses, in one transaction.
  std::optional<long long> ForgetAddresses(const std::vector<std::string>& addresses);
  // Files, bytes and newest fetch per site, by site name.
  std::vector<SiteTotals> Stats();
  long long Count();

 private:
  bool OpenDatabase();
  int OpenFile();
  bool ImportOldRecord();
  bool CheckDaily();
  bool SetAside(const std::string& why);
  // Whether the file this connection has open is no longer the one at the
  // path: another process has set it aside (or removed it).
  bool Moved();
  // Opens the path again when the open file has moved and no batch is open;
  // false when no history is open.
  bool Current();
  bool Fill(HistoryEntry& entry, bool hashFile) const;
  bool Insert(const HistoryEntry& entry, const char* sql);
  bool Exec(const char* sql);
  void Fail(const char* what);
  // After a failed statement: keeps SQLite's message for it after `what`,
  // rolls back a batch that SQLite has not rolled back itself and sets a
  // damaged database aside. True when a new database was opened in place of
  // the damaged one, so the work can be tried again there.
  bool Failed(const char* what);

  sqlite3* db_ = nullptr;
  std::string folder_;  // UTF-8 host path of the working folder
  std::string path_;    // UTF-8 host path of the database
  std::string message_;
  size_t imported_ = 0;
  bool inBatch_ = false;
};

// The SHA-256 of a file as 64 lowercase hex digits, or "" when it cannot be read.
std::string FileSha256(const std::string& hostPath);

// The host of an address in lower case, without user, password or port;
// "" when the address has no "scheme://host".
std::string AddressHost(const std::string& address);

}  // namespace mireva
