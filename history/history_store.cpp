#include "history/history_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/evp.h>
#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>

#include "platform/text_encoding.h"
#include "platform/text_helpers.h"

namespace mireva {

namespace {

constexpr int kBusyTimeoutMs = 15000;
constexpr int kReopenPauseMs = 20;
// Times a batch follows the history to a new file before it gives up.
constexpr int kMaxFollows = 3;
constexpr long long kCheckEverySeconds = 24 * 60 * 60;
constexpr size_t kMaxImportLine = 65536;
constexpr int kSchemaVersion = 1;

const char kMsgNoFolder[] = "作業フォルダがありません: ";
const char kMsgOpen[] = "ダウンロードの履歴を開けませんでした: ";
const char kMsgNewer[] = "ダウンロードの履歴は新しい版のプログラムが作ったもので、使えません: ";
const char kMsgAside[] = "ダウンロードの履歴が壊れていたので、別名で残して新しい履歴を始めました: ";
const char kMsgWrite[] = "ダウンロードの履歴に書き込めませんでした: ";
const char kMsgRead[] = "ダウンロードの履歴を読めませんでした: ";
const char kMsgImport[] = "以前のダウンロードの記録を取り込めませんでした: ";

// Addresses, names and sites are Shift_JIS, so they are stored as BLOBs:
// SQLite's text functions would read them as UTF-8.
const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS fetched("
    "  id INTEGER PRIMARY KEY,"
    "  address BLOB NOT NULL,"
    "  final_address BLOB NOT NULL,"
    "  referrer BLOB NOT NULL,"
    "  file BLOB NOT NULL,"
    "  site BLOB NOT NULL,"
    "  size INTEGER NOT NULL,"
    "  sha256 TEXT NOT NULL,"
    "  fetched_at INTEGER NOT NULL,"
    "  run_kind INTEGER NOT NULL);"
    "CREATE UNIQUE INDEX IF NOT EXISTS fetched_address ON fetched(address);"
    "CREATE INDEX IF NOT EXISTS fetched_time ON fetched(fetched_at);"
    "CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL);";

const char kInsertColumns[] =
    "INSERT INTO fetched(address, final_address, referrer, file, site, size, sha256, fetched_at,"
    " run_kind) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9) ";
// A new fetch of a known address replaces its entry.
const std::string kUpsert =
    std::string(kInsertColumns) +
    "ON CONFLICT(address) DO UPDATE SET final_address = excluded.final_address,"
    " referrer = excluded.referrer, file = excluded.file, site = excluded.site,"
    " size = excluded.size, sha256 = excluded.sha256, fetched_at = excluded.fetched_at,"
    " run_kind = excluded.run_kind";
// An imported line never overrides what the history already knows.
const std::string kImportInsert = std::string(kInsertColumns) + "ON CONFLICT(address) DO NOTHING";

// ?1 since, ?2 site, ?3 "." + site, ?4 text.
const char kWhere[] =
    " WHERE fetched_at >= ?1"
    " AND (length(?2) = 0 OR site = ?2 OR substr(site, -length(?3)) = ?3)"
    " AND (length(?4) = 0 OR sjis_contains(address, ?4) OR sjis_contains(final_address, ?4)"
    "      OR sjis_contains(file, ?4))";

class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) {
    rc_ = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &st_, nullptr);
  }
  ~Statement() { sqlite3_finalize(st_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Ok() const { return rc_ == SQLITE_OK; }
  int Rc() const { return rc_; }
  // The strings must outlive the statement's next Step.
  void Blob(int i, const std::string& s) {
    sqlite3_bind_blob(st_, i, s.data(), static_cast<int>(s.size()), SQLITE_STATIC);
  }
  void Text(int i, const std::string& s) {
    sqlite3_bind_text(st_, i, s.data(), static_cast<int>(s.size()), SQLITE_STATIC);
  }
  void Int(int i, long long v) { sqlite3_bind_int64(st_, i, v); }
  // SQLITE_ROW, SQLITE_DONE or an error (kept in Rc()).
  int Step() {
    int rc = sqlite3_step(st_);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) rc_ = rc;
    return rc;
  }
  void Reset() {
    sqlite3_reset(st_);
    sqlite3_clear_bindings(st_);
  }
  std::string BlobAt(int col) {
    const void* p = sqlite3_column_blob(st_, col);
    int n = sqlite3_column_bytes(st_, col);
    return p ? std::string(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
  }
  long long IntAt(int col) { return sqlite3_column_int64(st_, col); }

 private:
  sqlite3_stmt* st_ = nullptr;
  int rc_ = SQLITE_OK;
};

// sjis_contains(haystack, needle): whether `needle` occurs in `haystack` at a
// character boundary, so a needle never matches across two Shift_JIS characters.
void SjisContains(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto* hay = static_cast<const unsigned char*>(sqlite3_value_blob(argv[0]));
  const size_t hayLen = static_cast<size_t>(sqlite3_value_bytes(argv[0]));
  const auto* needle = static_cast<const unsigned char*>(sqlite3_value_blob(argv[1]));
  const size_t needleLen = static_cast<size_t>(sqlite3_value_bytes(argv[1]));
  int found = needleLen == 0;
  for (size_t i = 0; !found && hay && needle && i + needleLen <= hayLen;
       i += IsSjisLead(hay[i]) ? 2 : 1)
    found = std::memcmp(hay + i, needle, needleLen) == 0;
  sqlite3_result_int(ctx, found);
}

bool Damaged(int rc) {
  const int primary = rc & 0xff;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

bool CleanText(const std::string& s) {
  return s.find_first_of(std::string("\t\r\n\0", 4)) == std::string::npos;
}

bool Exists(const std::string& hostPath) {
  struct stat st;
  return ::lstat(hostPath.c_str(), &st) == 0;
}

// `base`, else `base`-2, -3 ... whichever is free.
std::string FreeName(const std::string& base) {
  std::string name = base;
  for (int i = 2; Exists(name); ++i) name = base + "-" + std::to_string(i);
  return name;
}

void SyncFolder(const std::string& hostPath) {
  int fd = ::open(hostPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string TimeStamp(long long t) {
  std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  localtime_r(&tt, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
  return buf;
}

long long Now() { return static_cast<long long>(std::time(nullptr)); }

}  // namespace

const char* RunKindName(RunKind kind) {
  switch (kind) {
    case RunKind::Patrol:
      return "patrol";
    case RunKind::LinkCommand:
      return "link";
    case RunKind::List:
      return "list";
    case RunKind::Collector:
      return "collector";
    case RunKind::Selection:
      return "selection";
    case RunKind::Unknown:
      break;
  }
  return "unknown";
}

std::string FileSha256(const std::string& hostPath) {
  int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  bool ok = ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) == 1;
  char buf[65536];
  ssize_t n = 0;
  while (ok && (n = ::read(fd, buf, sizeof buf)) != 0) {
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
    } else {
      ok = EVP_DigestUpdate(ctx.get(), buf, static_cast<size_t>(n)) == 1;
    }
  }
  ::close(fd);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (!ok || EVP_DigestFinal_ex(ctx.get(), digest, &len) != 1) return "";
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < len; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

std::string AddressHost(const std::string& address) {
  const size_t scheme = address.find("://");
  if (scheme == std::string::npos || scheme == 0) return "";
  const size_t start = scheme + 3;
  size_t end = address.find_first_of("/?#\\", start);
  if (end == std::string::npos) end = address.size();
  std::string authority = address.substr(start, end - start);
  if (size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
  std::string host;
  if (!authority.empty() && authority[0] == '[') {
    host = authority.substr(0, authority.find(']') + 1);  // npos + 1 takes it all
  } else {
    host = authority.substr(0, authority.find(':'));
  }
  for (char& c : host)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return host;
}

HistoryStore::HistoryStore() = default;

HistoryStore::~HistoryStore() { Close(); }

void HistoryStore::Close() {
  if (!db_) return;
  if (inBatch_ && !sqlite3_get_autocommit(db_)) Exec("ROLLBACK");
  inBatch_ = false;
  sqlite3_close_v2(db_);
  db_ = nullptr;
}

void HistoryStore::Fail(const char* what) {
  message_ = what;
  message_ += db_ ? sqlite3_errmsg(db_) : "";
}

bool HistoryStore::Exec(const char* sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool HistoryStore::Moved() {
  // SQLite compares the inode it opened with the one now at the path (or
  // finds the path empty).
  int moved = 0;
  return db_ && sqlite3_file_control(db_, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK &&
         moved != 0;
}

bool HistoryStore::Current() {
  if (!db_) return false;
  if (inBatch_ || !Moved()) return true;
  Close();
  return OpenDatabase();
}

bool HistoryStore::Failed(const char* what) {
  const int rc = sqlite3_errcode(db_);
  Fail(what);
  // A failed COMMIT, a full disk or an I/O error can end the transaction
  // itself; a ROLLBACK then only replaces the message with "no transaction is
  // active".
  if (!sqlite3_get_autocommit(db_)) Exec("ROLLBACK");
  inBatch_ = false;
  return Damaged(rc) && SetAside("");
}

bool HistoryStore::Open(const std::string& workingFolder) {
  Close();
  message_.clear();
  imported_ = 0;
  folder_ = workingFolder.empty() ? "." : workingFolder;
  struct stat st;
  if (::stat(folder_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    message_ = kMsgNoFolder + Utf8ToSjis(folder_);
    return false;
  }
  const std::string downloads = folder_ + "/DownLoad";
  if (::mkdir(downloads.c_str(), 0777) != 0 && errno != EEXIST) {
    message_ = kMsgOpen + Utf8ToSjis(downloads) + ": " + std::strerror(errno);
    return false;
  }
  path_ = folder_ + "/" + kHistoryFileName;
  if (!OpenDatabase()) return false;
  ImportOldRecord();
  CheckDaily();
  return IsOpen();
}

bool HistoryStore::OpenDatabase() {
  int rc = OpenFile();
  // Two programs opening the history at once (the window and a scheduled
  // patrol): switching a new file to WAL, or creating its tables, can answer
  // "locked" at once instead of waiting, as waiting there could deadlock.
  // The whole opening is tried again until the busy limit.
  for (int waitedMs = 0; (rc & 0xff) == SQLITE_BUSY && waitedMs < kBusyTimeoutMs;
       waitedMs += kReopenPauseMs) {
    Close();
    message_.clear();
    ::usleep(kReopenPauseMs * 1000);
    rc = OpenFile();
  }
  if (rc == SQLITE_OK) return true;
  if (Damaged(rc)) return SetAside("");
  if (message_.empty()) Fail(kMsgOpen);
  Close();
  return false;
}

int HistoryStore::OpenFile() {
  int rc =
      sqlite3_open_v2(path_.c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW, nullptr);
  if (rc != SQLITE_OK) return rc;
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  sqlite3_create_function(db_, "sjis_contains", 2,
                          SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                          SjisContains, nullptr, nullptr);
  // Setting the journal mode is the first read of the file: a file that is no
  // database fails here.
  if (!Exec("PRAGMA journal_mode = WAL")) return sqlite3_errcode(db_);
  // FULL: a committed batch survives a power loss too, so no file that is on
  // disk is fetched again for want of its entry.
  if (!Exec("PRAGMA synchronous = FULL; PRAGMA journal_size_limit = 8388608"))
    return sqlite3_errcode(db_);
  auto version = [this]() -> int {
    Statement st(db_, "PRAGMA user_version");
    return st.Step() == SQLITE_ROW ? static_cast<int>(st.IntAt(0)) : -1;
  };
  int v = version();
  if (v == kSchemaVersion) return SQLITE_OK;
  if (v > kSchemaVersion) {
    message_ = kMsgNewer + Utf8ToSjis(path_);
    return SQLITE_ERROR;
  }
  if (v < 0) return sqlite3_errcode(db_);
  // Another process may be creating it at the same moment: look again under
  // the write lock.
  if (!Exec("BEGIN IMMEDIATE")) return sqlite3_errcode(db_);
  v = version();
  rc = v < 0 ? sqlite3_errcode(db_) : SQLITE_OK;
  if (rc == SQLITE_OK && v < kSchemaVersion) {
    const std::string setup = std::string(kSchema) +
                              "PRAGMA user_version = " + std::to_string(kSchemaVersion) +
                              "; INSERT OR REPLACE INTO meta(key, value) VALUES('checked_at', " +
                              std::to_string(Now()) + ")";
    if (!Exec(setup.c_str())) rc = sqlite3_errcode(db_);
  }
  if (rc == SQLITE_OK && !Exec("COMMIT")) rc = sqlite3_errcode(db_);
  if (rc != SQLITE_OK) {
    Fail(kMsgOpen);
    Exec("ROLLBACK");
  }
  return rc;
}

bool HistoryStore::SetAside(const std::string& why) {
  // The files are renamed under the write lock: a writer on another
  // connection waits, then finds its file moved (BeginBatch) and follows to
  // the new one. A file too damaged to be locked is set aside all the same.
  const bool locked = db_ && Exec("BEGIN IMMEDIATE");
  std::string aside;
  if (!Moved()) {  // else another process has set it aside: only the new one is opened
    aside = FreeName(path_ + ".damaged-" + TimeStamp(Now()));
    // The journal, the log and the index go first and the database last: a
    // process that sees the database gone and opens the path again finds
    // nothing of the old one there (no log to apply to the new file, no index
    // describing another log). The index stays with its database, as
    // connections that still have the old file open share it.
    std::vector<std::string> moved;
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
      if (::rename((path_ + suffix).c_str(), (aside + suffix).c_str()) == 0)
        moved.push_back(suffix);
    }
    if (::rename(path_.c_str(), aside.c_str()) != 0 && errno != ENOENT) {
      const int err = errno;
      for (const std::string& suffix : moved)
        ::rename((aside + suffix).c_str(), (path_ + suffix).c_str());
      if (locked) Exec("ROLLBACK");
      Close();
      message_ = kMsgOpen + Utf8ToSjis(path_) + ": " + std::strerror(err);
      return false;
    }
    SyncFolder(folder_ + "/DownLoad");
  }
  if (locked) Exec("ROLLBACK");
  Close();
  message_.clear();
  if (OpenFile() != SQLITE_OK) {
    if (message_.empty()) Fail(kMsgOpen);
    Close();
    return false;
  }
  if (!aside.empty())
    message_ = kMsgAside + Utf8ToSjis(aside.substr(folder_.size() + 1)) +
               (why.empty() ? "" : " (" + why + ")");
  return true;
}

bool HistoryStore::ImportOldRecord() {
  // The old record: one line per address, folder relative to "DownLoad".
  //   address TAB size TAB unix-time TAB folder/name LF
  const std::string oldPath = folder_ + "/DownLoad/Fetched.lst";
  std::ifstream in(oldPath, std::ios::binary);
  if (!in) return true;  // none, or another process has just taken it in
  std::vector<HistoryEntry> entries;
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() > kMaxImportLine) continue;
    size_t t1 = line.find('\t');
    size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
    size_t t3 = t2 == std::string::npos ? t2 : line.find('\t', t2 + 1);
    if (t3 == std::string::npos || t1 == 0) continue;
    HistoryEntry e;
    e.address = line.substr(0, t1);
    e.size = std::strtoll(line.c_str() + t1 + 1, nullptr, 10);
    e.fetchedAt = std::strtoll(line.c_str() + t2 + 1, nullptr, 10);
    e.file = "DownLoad/" + line.substr(t3 + 1);
    if (e.fetchedAt <= 0) e.fetchedAt = 1;  // 0 would mean "now"
    if (Fill(e, false)) entries.push_back(std::move(e));
  }
  if (in.bad()) {
    message_ = kMsgImport + Utf8ToSjis(oldPath);
    return false;
  }
  in.close();
  if (!BeginBatch()) return false;
  size_t added = 0;
  for (const HistoryEntry& e : entries) {
    if (!Insert(e, kImportInsert.c_str())) {
      message_ = kMsgImport + Utf8ToSjis(oldPath) + ": " + sqlite3_errmsg(db_);
      Rollback();
      return false;
    }
    added += static_cast<size_t>(sqlite3_changes(db_));
  }
  if (!Commit()) return false;
  imported_ = added;
  // Renamed only once the entries are lasting; a crash in between imports the
  // same lines again, which changes nothing.
  std::string done = FreeName(oldPath + ".imported");
  ::rename(oldPath.c_str(), done.c_str());
  SyncFolder(folder_ + "/DownLoad");
  return true;
}

bool HistoryStore::CheckDaily() {
  if (!db_) return false;
  long long checked = 0;
  {
    Statement st(db_, "SELECT value FROM meta WHERE key = 'checked_at'");
    int rc = st.Step();
    if (rc == SQLITE_ROW)
      checked = st.IntAt(0);
    else if (Damaged(st.Rc()))
      return SetAside("");
  }
  const long long now = Now();
  if (checked <= now && now - checked < kCheckEverySeconds) return true;
  std::string result;
  {
    Statement st(db_, "PRAGMA quick_check(1)");
    if (st.Step() == SQLITE_ROW) result = st.BlobAt(0);
    if (Damaged(st.Rc())) return SetAside("");
  }
  if (result != "ok") return SetAside(result);
  Statement mark(db_, "INSERT OR REPLACE INTO meta(key, value) VALUES('checked_at', ?1)");
  mark.Int(1, now);
  mark.Step();  // busy: another process checks again later
  return true;
}

bool HistoryStore::Fill(HistoryEntry& e, bool hashFile) const {
  if (e.address.empty() || !CleanText(e.address) || !CleanText(e.finalAddress) ||
      !CleanText(e.referrer) || !CleanText(e.file) || e.size < 0)
    return false;
  for (char& c : e.sha256)
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  if (!e.sha256.empty() && (e.sha256.size() != 64 ||
                            e.sha256.find_first_not_of("0123456789abcdef") != std::string::npos))
    return false;
  e.site = AddressHost(e.address);
  if (e.fetchedAt == 0) e.fetchedAt = Now();
  if (e.sha256.empty() && hashFile && !e.file.empty())
    e.sha256 = FileSha256(e.file[0] == '/' ? HostPath(e.file) : folder_ + "/" + HostPath(e.file));
  return true;
}

bool HistoryStore::Insert(const HistoryEntry& e, const char* sql) {
  Statement st(db_, sql);
  if (!st.Ok()) return false;
  st.Blob(1, e.address);
  st.Blob(2, e.finalAddress);
  st.Blob(3, e.referrer);
  st.Blob(4, e.file);
  st.Blob(5, e.site);
  st.Int(6, e.size);
  st.Text(7, e.sha256);
  st.Int(8, e.fetchedAt);
  st.Int(9, static_cast<int>(e.kind));
  return st.Step() == SQLITE_DONE;
}

bool HistoryStore::BeginBatch() {
  if (!db_ || inBatch_) return false;
  // The path is looked at under the write lock, which a process setting the
  // file aside holds while it renames: a file still in place now stays in
  // place until this batch ends.
  for (int follows = 0; follows <= kMaxFollows; ++follows) {
    if (!Exec("BEGIN IMMEDIATE")) {
      Failed(kMsgWrite);
      return false;
    }
    if (!Moved()) {
      inBatch_ = true;
      return true;
    }
    Exec("ROLLBACK");
    Close();
    if (!OpenDatabase()) return false;
  }
  message_ = kMsgWrite + Utf8ToSjis(path_);
  return false;
}

bool HistoryStore::Add(HistoryEntry entry) {
  if (!inBatch_ || !Fill(entry, true)) return false;
  if (Insert(entry, kUpsert.c_str())) return true;
  Failed(kMsgWrite);
  return false;
}

bool HistoryStore::Commit() {
  if (!inBatch_) return false;
  if (Exec("COMMIT")) {
    inBatch_ = false;
    return true;
  }
  Failed(kMsgWrite);
  return false;
}

void HistoryStore::Rollback() {
  if (!inBatch_) return;
  if (!sqlite3_get_autocommit(db_)) Exec("ROLLBACK");
  inBatch_ = false;
}

std::optional<size_t> HistoryStore::Record(std::vector<HistoryEntry> entries) {
  if (!db_) return std::nullopt;
  std::vector<HistoryEntry> clean;
  clean.reserve(entries.size());
  // Files are read for their digests before the write lock is taken.
  for (HistoryEntry& e : entries)
    if (Fill(e, true)) clean.push_back(std::move(e));
  // A database found damaged on the way is set aside and the batch written to
  // the new one.
  for (int attempt = 0; attempt < 2 && db_; ++attempt) {
    if (!BeginBatch()) continue;
    bool ok = true;
    for (const HistoryEntry& e : clean) {
      if (!Insert(e, kUpsert.c_str())) {
        ok = false;
        break;
      }
    }
    if (ok && Exec("COMMIT")) {
      inBatch_ = false;
      return clean.size();
    }
    if (!Failed(kMsgWrite)) return std::nullopt;
  }
  return std::nullopt;
}

bool HistoryStore::Has(const std::string& address) { return !Known({address}).empty(); }

std::unordered_set<std::string> HistoryStore::Known(const std::vector<std::string>& addresses) {
  std::unordered_set<std::string> known;
  if (!Current()) return known;
  const bool own = !inBatch_ && Exec("BEGIN");  // one snapshot for all of them
  Statement st(db_, "SELECT 1 FROM fetched WHERE address = ?1");
  for (const std::string& a : addresses) {
    if (!st.Ok()) break;
    st.Blob(1, a);
    if (st.Step() == SQLITE_ROW) known.insert(a);
    st.Reset();
  }
  const int rc = st.Rc();
  if (own) Exec("COMMIT");
  if (rc != SQLITE_OK) {
    Fail(kMsgRead);
    if (Damaged(rc)) SetAside("");
  }
  return known;
}

std::vector<HistoryEntry> HistoryStore::List(const HistoryFilter& filter) {
  std::vector<HistoryEntry> out;
  if (!Current()) return out;
  const std::string dotSite = "." + filter.site;
  Statement st(db_, std::string("SELECT address, final_address, referrer, file, site, size, sha256,"
                                " fetched_at, run_kind FROM fetched") +
                        kWhere + " ORDER BY fetched_at DESC, id DESC LIMIT ?5");
  if (st.Ok()) {
    st.Int(1, filter.since);
    st.Blob(2, filter.site);
    st.Blob(3, dotSite);
    st.Blob(4, filter.text);
    st.Int(5, filter.limit ? static_cast<long long>(filter.limit) : -1);
    while (st.Step() == SQLITE_ROW) {
      HistoryEntry e;
      e.address = st.BlobAt(0);
      e.finalAddress = st.BlobAt(1);
      e.referrer = st.BlobAt(2);
      e.file = st.BlobAt(3);
      e.site = st.BlobAt(4);
      e.size = st.IntAt(5);
      e.sha256 = st.BlobAt(6);
      e.fetchedAt = st.IntAt(7);
      e.kind = static_cast<RunKind>(st.IntAt(8));
      out.push_back(std::move(e));
    }
  }
  if (st.Rc() != SQLITE_OK) {
    const int rc = st.Rc();
    Fail(kMsgRead);
    if (Damaged(rc)) SetAside("");
  }
  return out;
}

std::optional<long long> HistoryStore::Forget(const HistoryFilter& filter) {
  if (!Current()) return std::nullopt;
  const std::string dotSite = "." + filter.site;
  Statement st(db_, std::string("DELETE FROM fetched") + kWhere);
  if (st.Ok()) {
    st.Int(1, filter.since);
    st.Blob(2, filter.site);
    st.Blob(3, dotSite);
    st.Blob(4, filter.text);
    if (st.Step() == SQLITE_DONE) return sqlite3_changes64(db_);
  }
  const int rc = st.Rc();
  Fail(kMsgWrite);
  if (Damaged(rc)) SetAside("");
  return std::nullopt;
}

std::optional<long long> HistoryStore::ForgetAddresses(const std::vector<std::string>& addresses) {
  if (!Current() || inBatch_) return std::nullopt;
  if (!Exec("BEGIN IMMEDIATE")) {
    Failed(kMsgWrite);
    return std::nullopt;
  }
  Statement st(db_, "DELETE FROM fetched WHERE address = ?1");
  long long removed = 0;
  bool ok = st.Ok();
  for (size_t i = 0; ok && i < addresses.size(); ++i) {
    st.Blob(1, addresses[i]);
    ok = st.Step() == SQLITE_DONE;
    removed += sqlite3_changes64(db_);
    st.Reset();
  }
  if (ok && Exec("COMMIT")) return removed;
  Failed(kMsgWrite);
  return std::nullopt;
}

std::vector<SiteTotals> HistoryStore::Stats() {
  std::vector<SiteTotals> out;
  if (!Current()) return out;
  Statement st(db_,
               "SELECT site, count(*), total(size), max(fetched_at) FROM fetched"
               " GROUP BY site ORDER BY site");
  if (st.Ok()) {
    while (st.Step() == SQLITE_ROW) {
      SiteTotals t;
      t.site = st.BlobAt(0);
      t.files = st.IntAt(1);
      t.bytes = st.IntAt(2);
      t.newest = st.IntAt(3);
      out.push_back(std::move(t));
    }
  }
  if (st.Rc() != SQLITE_OK) {
    const int rc = st.Rc();
    Fail(kMsgRead);
    if (Damaged(rc)) SetAside("");
  }
  return out;
}

long long HistoryStore::Count() {
  if (!Current()) return 0;
  Statement st(db_, "SELECT count(*) FROM fetched");
  return st.Step() == SQLITE_ROW ? st.IntAt(0) : 0;
}

}  // namespace mireva
