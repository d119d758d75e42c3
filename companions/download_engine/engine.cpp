#include "companions/download_engine/engine.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdio.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <unordered_set>

#include "companions/download_engine/content_type.h"
#include "companions/download_engine/link_extractor.h"
#include "companions/download_engine/list_files.h"
#include "companions/download_engine/list_rules.h"
#include "platform/monotonic_clock.h"
#include "companions/download_engine/output_folder.h"
#include "companions/download_engine/safe_name.h"
#include "companions/download_engine/url_tools.h"
#include "platform/file_util.h"
#include "platform/folders.h"
#include "platform/text_encoding.h"
#include "platform/text_helpers.h"

namespace mireva::dl {

namespace {

constexpr char kDownloadFolder[] = "DownLoad";
constexpr size_t kMaxListFileBytes = 8u << 20;
constexpr int kMaxCacheFiles = 100000;

const char kMsgPageFailed[] = "ページを読み込めませんでした: ";
const char kMsgDiskFull[] = "ディスクの空きが足りません。ダウンロードを中止しました。";
const char kMsgFolder[] = "保存先のフォルダを作れません: ";
const char kMsgRecord[] = "ダウンロードの記録を保存できませんでした。";
const char kMsgNoList[] = "ダウンロードリストが見つかりません: ";
const char kMsgNoRules[] = "リスト作成の規則がありません: ";
const char kMsgNoPatrolLinks[] = "巡回するリンクが見つかりませんでした。";
const char kMsgPatrolNotSaved[] = "巡回リストを保存できませんでした。";
const char kMsgNoKind[] = "ダウンロードの種類がわかりません: ";
const char kMsgNoPatrolList[] = "巡回リストを読めません: Patrol.lst";
const char kMsgDownloadListNotSaved[] = "ダウンロードリストを保存できませんでした。";
const char kTextLoading[] = "ダウンロード中";
// The fetch of the page itself, told apart from its files' count.
const char kTextPageLoading[] = "ページ読み込み中";
const char kTextDone[] = "ダウンロード終了";
const char kTextCancelled[] = "ダウンロードを中止しました";
const char kTextTimeLimit[] = "時間の上限でダウンロードを打ち切りました";
const char kTextSorting[] = "キャッシュの整理中";
const char kReasonStopped[] = "中止しました";
const char kReasonCannotSort[] = "整理先に保存できません";
const char kMsgNoFolder[] = "フォルダを開けません: ";

// The kinds of the link menus: which references count and which extensions.
struct KindTable {
  char code;
  unsigned kinds;
  std::vector<std::string> exts;
};
const std::vector<KindTable>& Kinds() {
  static const std::vector<KindTable> table = {
      {'3', kEmbedded, {"jpg", "gif", "png", "tif", "pdf"}},
      {'4', kLinked, {"exe", "lzh", "zip"}},
      {'5', kLinked, {"jpg", "gif", "png", "tif", "pdf"}},
      {'6', kEmbedded, {"mid", "mp3", "wav", "avi", "wmv", "mov", "swf"}},
      {'7', kLinked, {"mid", "mp3", "avi", "wav"}},
      {'8', kLinked, {"asx", "ram"}},
      {'9', kLinked, {"wmv", "mov", "swf", "tm", "qt"}},
  };
  return table;
}

// Addresses whose extension says they are documents, not files of a type.
bool LooksLikePage(const UrlParts& parts) {
  static const std::set<std::string> pageExts = {
      "",    "html", "htm", "shtml", "xhtml", "php", "php3", "asp", "aspx",
      "jsp", "cgi",  "pl",  "cfm",   "do",    "jsf", "xml"};
  return pageExts.count(ExtensionOf(parts)) != 0;
}

// What the history had to say that the user was last told. A failure that
// lasts (a newer program's database, a folder that cannot be written) is told
// once, not by every call of a patrol; once the history works again, the next
// failure is told again.
struct HistoryNotice {
  std::mutex lock;
  std::string told;
};
HistoryNotice& Notice() {
  static HistoryNotice notice;
  return notice;
}

// The collections of the collectors; any other collection is the user's list.
bool IsCollectorCollection(const std::string& collection) {
  for (const char* name : {"Weather", "JapanMap", "Sdss"})
    if (EqualsNoCase(collection, name)) return true;
  return false;
}

// The last page fetched, so the patrol's one call per file type reads the
// page once.
struct PageCache {
  std::mutex lock;
  std::string request;
  std::string url;
  std::string body;
  long long whenMs = 0;
};
PageCache& Cache() {
  static PageCache cache;
  return cache;
}

std::string FolderText(const std::vector<std::string>& parts) {
  std::string s;
  for (const std::string& p : parts) s += (s.empty() ? "" : "/") + p;
  return Utf8ToSjis(s);
}

}  // namespace

std::string DefaultCookieFile() {
  return CacheFolder() + "/cookies.txt";
}

Engine::Engine(EngineHost& host, EngineOptions options) : host_(host), options_(std::move(options)) {}

Engine::Page Engine::FetchPage(TransferBatch& batch, const std::string& url, PageFailure failure) {
  Page page;
  auto resolved = ResolveUrl("", url);
  if (resolved && options_.pageCacheMs > 0) {
    PageCache& c = Cache();
    std::lock_guard<std::mutex> hold(c.lock);
    if (c.request == *resolved && MonotonicMs() - c.whenMs < options_.pageCacheMs) {
      page.ok = true;
      page.url = c.url;
      page.body = c.body;
      summary_.page = DL_PAGE_FETCHED;
      summary_.pageAddress = page.url;
      return page;
    }
  }
  if (resolved) {
    std::vector<FetchJob> jobs(1);
    jobs[0].url = *resolved;
    batch.Run(jobs, kTextPageLoading, Counting::Pages);
    if (jobs[0].ok) {
      page.ok = true;
      page.url = jobs[0].effectiveUrl;
      summary_.page = DL_PAGE_FETCHED;
      summary_.pageAddress = page.url;
      page.body = std::move(jobs[0].body);
      PageCache& c = Cache();
      std::lock_guard<std::mutex> hold(c.lock);
      c.request = *resolved;
      c.url = page.url;
      c.body = page.body;
      c.whenMs = MonotonicMs();
      return page;
    }
  }
  summary_.page = DL_PAGE_FAILED;
  if (batch.Stopped() != StopReason::None) {
    ReportEnd(batch.Stopped(), 0);
    return page;
  }
  Fail(kMsgPageFailed + url, failure == PageFailure::Message ? Tell::Message : Tell::Quiet);
  return page;
}

void Engine::Fail(const std::string& reason, Tell tell) {
  summary_.outcome = DL_CALL_FAILED;
  summary_.reason = reason;
  if (tell == Tell::Message) host_.Message(reason);
  else host_.Progress(reason, 0, -1);
}

void Engine::ReportFile(DlFileOutcome outcome, const std::string& address,
                        const std::string& finalAddress, const std::string& savedPath,
                        long long size, long status, const std::string& reason) {
  switch (outcome) {
    case DL_FILE_SAVED: ++summary_.saved; break;
    case DL_FILE_FAILED: ++summary_.failed; break;
    case DL_FILE_KNOWN:
    case DL_FILE_EXISTS: ++summary_.skipped; break;
  }
  DlFileResult r;
  r.outcome = outcome;
  r.address = address.c_str();
  r.finalAddress = finalAddress.c_str();
  r.savedPath = savedPath.c_str();
  r.size = size;
  r.status = status;
  r.reason = reason.c_str();
  host_.FileDone(r);
}

void Engine::ReportEnd(StopReason stop, size_t fetched) {
  switch (stop) {
    case StopReason::DiskFull:
      summary_.outcome = DL_CALL_STOPPED;
      summary_.reason = kMsgDiskFull;
      host_.Message(kMsgDiskFull);
      break;
    case StopReason::Cancelled:
      summary_.outcome = DL_CALL_CANCELLED;
      host_.Progress(kTextCancelled, 0, -1);
      break;
    case StopReason::TimeLimit:
      summary_.outcome = DL_CALL_STOPPED;
      summary_.reason = kTextTimeLimit;
      host_.Progress(kTextTimeLimit, 0, -1);
      break;
    case StopReason::None:
      host_.Progress(std::string(kTextDone) + " " + std::to_string(fetched), 0, -1);
      break;
  }
}

void Engine::OpenHistory(HistoryStore& history) {
  history.Open(".");
  TellHistory(history);
}

void Engine::TellHistory(const HistoryStore& history) {
  HistoryNotice& notice = Notice();
  std::lock_guard<std::mutex> hold(notice.lock);
  if (history.Message().empty()) {
    if (history.IsOpen()) notice.told.clear();
    return;
  }
  if (history.Message() == notice.told) return;
  notice.told = history.Message();
  host_.Message(notice.told);
}

void Engine::FetchFiles(TransferBatch& batch, const std::string& folder, const std::string& referer,
                        const std::vector<std::string>& urls, const std::string& fallbackName,
                        RunKind kind) {
  const std::vector<std::string> parts = {kDownloadFolder, SafeFileName(folder, "misc")};
  FolderHandle target = OpenFolderChain(parts);
  if (!target.IsOpen()) {
    Fail(kMsgFolder + FolderText(parts));
    return;
  }
  summary_.folder = Utf8ToSjis(parts[0] + "/" + parts[1]);
  RemoveStaleParts(target.Fd());
  HistoryStore history;
  OpenHistory(history);
  const std::unordered_set<std::string> known = history.Known(urls);
  std::vector<FetchJob> jobs;
  for (const std::string& url : urls) {
    auto p = SplitUrl(url);
    if (!p) continue;
    ++summary_.found;
    if (known.count(url)) {
      ReportFile(DL_FILE_KNOWN, url, "", "", 0, 0, "");
      continue;
    }
    FetchJob job;
    job.url = url;
    job.referer = referer;
    job.folderFd = target.Fd();
    job.name = SafeFileName(LastSegment(*p), fallbackName);
    jobs.push_back(std::move(job));
  }
  batch.Run(jobs, kTextLoading);
  const std::string prefix = std::string(kDownloadFolder) + "/" + parts[1] + "/";
  RecordAndReport(batch, history, jobs, kind,
                  [&](size_t i) { return prefix + jobs[i].savedName; });
}

void Engine::RecordAndReport(const TransferBatch& batch, HistoryStore& history,
                             const std::vector<FetchJob>& jobs, RunKind kind,
                             const std::function<std::string(size_t job)>& pathOf) {
  // The batch has flushed every file and its folder to disk before this: an
  // entry never vouches for a file that a power loss could still take.
  std::vector<HistoryEntry> entries;
  for (size_t i = 0; i < jobs.size(); ++i) {
    const FetchJob& j = jobs[i];
    if (!j.ok) {
      ReportFile(DL_FILE_FAILED, j.url, j.effectiveUrl, "", 0, j.status,
                 j.error == kStoppedError || j.error.empty() ? std::string(kReasonStopped) : j.error);
      continue;
    }
    const std::string file = pathOf(i);
    ReportFile(DL_FILE_SAVED, j.url, j.effectiveUrl, Utf8ToSjis(file), j.bytes, j.status, "");
    HistoryEntry e;
    e.address = j.url;
    e.finalAddress = j.effectiveUrl;
    e.referrer = j.referer;
    e.file = Utf8ToSjis(file);
    e.size = j.bytes;
    // Read through the file's real name: a name that Shift_JIS cannot spell
    // would not be found again from the recorded one.
    e.sha256 = FileSha256(file);
    e.kind = kind;
    entries.push_back(std::move(e));
  }
  const size_t fetched = entries.size();
  const StopReason stop = batch.Stopped();
  if (!entries.empty() && history.IsOpen() && !history.Record(std::move(entries)) &&
      stop != StopReason::DiskFull) {
    // A full disk has been told already; the files stay and are found again
    // by their content when they are fetched next time.
    if (history.Message().empty()) host_.Message(kMsgRecord);
    else TellHistory(history);
  }
  ReportEnd(stop, fetched);
}

void Engine::SelectAndFetch(const std::string& page, unsigned kinds,
                            const std::vector<std::string>& exts, Pages pages,
                            PageFailure failure, RunKind kind) {
  TransferBatch batch(options_.fetch, host_);
  Page fetched = FetchPage(batch, page, failure);
  if (!fetched.ok) return;
  auto pageParts = SplitUrl(fetched.url);
  if (!pageParts) {
    Fail(kMsgPageFailed + page, failure == PageFailure::Message ? Tell::Message : Tell::Quiet);
    return;
  }
  ExtractedLinks found = ExtractLinks(fetched.body, fetched.url, options_.maxLinks);
  std::vector<std::string> urls;
  for (const Link& link : found.links) {
    if (!(link.kinds & kinds)) continue;
    auto parts = SplitUrl(link.url);
    if (!parts) continue;
    if (pages != Pages::No) {
      if (link.url == fetched.url || !LooksLikePage(*parts)) continue;
      if (SameHost(parts->host, pageParts->host) != (pages == Pages::OwnHost)) continue;
    } else if (std::find(exts.begin(), exts.end(), ExtensionOf(*parts)) == exts.end()) {
      continue;
    }
    urls.push_back(link.url);
  }
  FetchFiles(batch, pageParts->host, fetched.url, urls,
             pages == Pages::No ? "download" : "index.html", kind);
}

void Engine::ALoad(const std::string& page, const std::string& extension) {
  std::string ext = NormalExtension(extension);
  if (ext.empty()) {
    Fail(kMsgNoKind + extension, Tell::Quiet);
    return;
  }
  SelectAndFetch(page, kAnyLink, {ext}, Pages::No, PageFailure::Quiet, RunKind::Patrol);
}

void Engine::DLoad(const std::string& page, const std::string& kind) {
  if (kind.empty() || kind[0] < '1' || kind[0] > '9') {
    Fail(kMsgNoKind + kind, Tell::Quiet);
    return;
  }
  if (kind[0] == '1' || kind[0] == '2') {
    SelectAndFetch(page, kAnchor | kFrame, {}, kind[0] == '1' ? Pages::OtherHosts : Pages::OwnHost,
                   PageFailure::Message, RunKind::LinkCommand);
    return;
  }
  for (const KindTable& k : Kinds())
    if (k.code == kind[0])
      SelectAndFetch(page, k.kinds, k.exts, Pages::No, PageFailure::Message, RunKind::LinkCommand);
}

void Engine::ListLoad(const std::string& listFile, const std::string& collection) {
  std::string text;
  struct stat st;
  if (stat(HostPath(listFile).c_str(), &st) == 0 && static_cast<size_t>(st.st_size) <= kMaxListFileBytes)
    text = ReadWholeFile(listFile).value_or("");
  if (text.empty()) {
    Fail(kMsgNoList + listFile);
    return;
  }
  DownloadList list = ParseDownloadList(text);
  const std::vector<std::string> parts = {kDownloadFolder, SafeFileName(collection, "misc")};
  FolderHandle target = OpenFolderChain(parts);
  if (!target.IsOpen()) {
    Fail(kMsgFolder + FolderText(parts));
    return;
  }
  summary_.folder = Utf8ToSjis(parts[0] + "/" + parts[1]);
  RemoveStaleParts(target.Fd());
  HistoryStore history;
  OpenHistory(history);
  std::vector<FetchJob> jobs;
  std::unordered_set<std::string> names;
  for (const std::string& path : list.paths) {
    auto url = ResolveUrl("", JoinTopAndPath(list.top, path));
    if (!url) continue;
    auto p = SplitUrl(*url);
    if (!p) continue;
    std::string name = SafeFileName(LastSegment(*p));
    // Files already there are not fetched again; a name listed twice is fetched once.
    if (!names.insert(name).second) continue;
    ++summary_.found;
    if (NameTaken(target.Fd(), name)) {
      ReportFile(DL_FILE_EXISTS, *url, "", Utf8ToSjis(parts[0] + "/" + parts[1] + "/") + name, 0, 0,
                 "");
      continue;
    }
    FetchJob job;
    job.url = *url;
    job.referer = list.top;
    job.folderFd = target.Fd();
    job.name = name;
    jobs.push_back(std::move(job));
  }
  TransferBatch batch(options_.fetch, host_);
  batch.Run(jobs, kTextLoading);
  const std::string prefix = std::string(kDownloadFolder) + "/" + parts[1] + "/";
  RecordAndReport(batch, history, jobs,
                  IsCollectorCollection(collection) ? RunKind::Collector : RunKind::List,
                  [&](size_t i) { return prefix + jobs[i].savedName; });
}

namespace {

// Opens (making as needed) the folder the user named for a selection. It is
// the user's own path, so links along it are followed, unlike the folders
// that names from a page make.
FolderHandle OpenUserFolder(const std::string& hostPath) {
  std::string path;
  size_t at = 0;
  while (at != std::string::npos) {
    at = hostPath.find('/', at + 1);
    path = hostPath.substr(0, at);
    if (!path.empty()) mkdir(path.c_str(), 0755);  // an existing one is fine
  }
  return FolderHandle(open(hostPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// Opens (making as needed) `parts` below the open folder `base`, each a safe
// plain name, never through a link.
FolderHandle OpenBelow(int base, const std::vector<std::string>& parts) {
  FolderHandle current(dup(base));
  for (const std::string& part : parts) {
    if (!current.IsOpen()) break;
    mkdirat(current.Fd(), part.c_str(), 0755);
    current = FolderHandle(
        openat(current.Fd(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  return current;
}

// "a/b/c.jpg" -> {"a", "b", "c.jpg"}, every part made safe.
std::vector<std::string> SafeParts(const std::string& name) {
  std::vector<std::string> parts;
  size_t begin = 0;
  while (begin <= name.size()) {
    size_t slash = name.find('/', begin);
    if (slash == std::string::npos) slash = name.size();
    std::string part = name.substr(begin, slash - begin);
    // "", "." and ".." name no folder: a name never climbs out of the call's folder.
    if (part.find_first_not_of(". \t") != std::string::npos) parts.push_back(SafeFileName(part));
    begin = slash + 1;
  }
  if (parts.empty()) parts.push_back("download");
  return parts;
}

}  // namespace

void Engine::LoadSelection(const std::string& page, const std::string& folder,
                           const std::vector<SelectedFile>& files, ExistingFile existing) {
  const std::string hostFolder = HostPath(folder.empty() ? std::string(kDownloadFolder) : folder);
  FolderHandle base = OpenUserFolder(hostFolder);
  if (!base.IsOpen()) {
    Fail(kMsgFolder + folder);
    return;
  }
  summary_.folder = Utf8ToSjis(hostFolder);
  HistoryStore history;
  OpenHistory(history);
  std::vector<std::string> urls;
  for (const SelectedFile& f : files) urls.push_back(f.url);
  const std::unordered_set<std::string> known =
      existing == ExistingFile::Skip ? history.Known(urls) : std::unordered_set<std::string>();
  std::map<std::string, FolderHandle> folders;  // by subfolder path below the base
  std::vector<FetchJob> jobs;
  std::vector<std::string> subfolders;  // of each job, for its saved path
  for (const SelectedFile& f : files) {
    if (!SplitUrl(f.url)) continue;
    ++summary_.found;
    std::vector<std::string> parts = SafeParts(f.name);
    std::string name = parts.back();
    parts.pop_back();
    std::string sub;
    for (const std::string& p : parts) sub += p + "/";
    auto open = folders.find(sub);
    if (open == folders.end()) {
      open = folders.emplace(sub, OpenBelow(base.Fd(), parts)).first;
      if (open->second.IsOpen()) RemoveStaleParts(open->second.Fd());
    }
    const std::string shown = Utf8ToSjis(hostFolder + "/" + sub + name);
    if (!open->second.IsOpen()) {
      ReportFile(DL_FILE_FAILED, f.url, "", "", 0, 0, kMsgFolder + Utf8ToSjis(sub));
      continue;
    }
    if (known.count(f.url)) {
      ReportFile(DL_FILE_KNOWN, f.url, "", "", 0, 0, "");
      continue;
    }
    if (existing == ExistingFile::Skip && NameTaken(open->second.Fd(), name)) {
      ReportFile(DL_FILE_EXISTS, f.url, "", shown, 0, 0, "");
      continue;
    }
    FetchJob job;
    job.url = f.url;
    job.referer = page;
    job.folderFd = open->second.Fd();
    job.name = name;
    jobs.push_back(std::move(job));
    subfolders.push_back(sub);
  }
  TransferBatch batch(options_.fetch, host_);
  batch.Run(jobs, kTextLoading);
  // The batch never overwrites: the new file came in under a free numbered
  // name and now replaces the old one in one step, so a failed transfer
  // leaves the old file as it was.
  if (existing == ExistingFile::Overwrite)
    for (FetchJob& j : jobs)
      if (j.ok && j.savedName != j.name &&
          renameat(j.folderFd, j.savedName.c_str(), j.folderFd, j.name.c_str()) == 0) {
        j.savedName = j.name;
        SyncFd(j.folderFd);
      }
  RecordAndReport(batch, history, jobs, RunKind::Selection,
                  [&](size_t i) { return hostFolder + "/" + subfolders[i] + jobs[i].savedName; });
}

namespace {

// Copies an open file into a temporary name of `folderFd`; the temporary's name
// or "" on failure (nothing left behind).
std::string CopyToTemp(int srcFd, int folderFd, int* error) {
  std::string temp = TemporaryName();
  int out = openat(folderFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (out < 0) {
    *error = errno;
    return "";
  }
  char buf[65536];
  bool ok = true;
  ssize_t n;
  while (ok && (n = read(srcFd, buf, sizeof buf)) != 0) {
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      ok = false;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buf + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        *error = errno;
        ok = false;
        break;
      }
      done += w;
    }
  }
  if (ok && !SyncFd(out)) {
    *error = errno;
    ok = false;
  }
  if (close(out) != 0 && ok) {
    *error = errno;
    ok = false;
  }
  if (!ok) {
    unlinkat(folderFd, temp.c_str(), 0);
    return "";
  }
  return temp;
}

}  // namespace

void Engine::Temporary(const std::string& folder, const std::string& pattern,
                       const std::string& mode) {
  std::string hostFolder = HostPath(folder);
  std::replace(hostFolder.begin(), hostFolder.end(), '\\', '/');
  std::string glob = HostPath(pattern);
  // Callers pass "*.*" for every file; cache files often have no dot in their
  // names, which the shell pattern "*.*" would miss.
  if (glob.empty() || glob == "*.*") glob = "*";
  const bool move = mode == "1";
  FolderHandle source(open(hostFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!source.IsOpen()) {
    Fail(kMsgNoFolder + folder, Tell::Quiet);
    return;
  }
  int dupFd = dup(source.Fd());
  DIR* dir = dupFd >= 0 ? fdopendir(dupFd) : nullptr;
  if (!dir) {
    if (dupFd >= 0) close(dupFd);
    Fail(kMsgNoFolder + folder, Tell::Quiet);
    return;
  }
  summary_.folder = std::string(kDownloadFolder) + "/Cache";
  std::vector<std::string> names;
  while (dirent* e = readdir(dir)) {
    if (names.size() >= static_cast<size_t>(kMaxCacheFiles)) break;
    if (e->d_name[0] == '.') continue;
    if (fnmatch(glob.c_str(), e->d_name, 0) != 0) continue;
    names.push_back(e->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());

  // A copy's source is removed only once the copy's name is on disk.
  struct Target {
    FolderHandle folder;
    FileCommitter committer;
  };
  std::map<std::string, Target> targets;  // by type
  std::vector<std::string> copied;
  auto settle = [&] {
    bool synced = true;
    for (auto& [type, t] : targets) synced = t.committer.SyncFolder() && synced;
    if (synced)
      for (const std::string& name : copied) unlinkat(source.Fd(), name.c_str(), 0);
    copied.clear();
  };

  size_t done = 0;
  for (const std::string& name : names) {
    host_.Counted(done, names.size());
    if (host_.Progress(std::string(kTextSorting) + " " + std::to_string(done) + "/" +
                           std::to_string(names.size()),
                       static_cast<long long>(done), static_cast<long long>(names.size()))) {
      settle();
      ReportEnd(StopReason::Cancelled, 0);
      return;
    }
    ++done;
    struct stat st;
    if (fstatat(source.Fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
      continue;
    FolderHandle file(openat(source.Fd(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!file.IsOpen()) continue;
    char head[64];
    ssize_t got = pread(file.Fd(), head, sizeof head, 0);
    if (got <= 0) continue;
    // Files of no known type stay where they are (the watcher may still be
    // writing them, or they are of no use to the user).
    std::string type = SniffType(std::string(head, static_cast<size_t>(got)));
    if (type.empty()) continue;
    auto target = targets.find(type);
    if (target == targets.end()) {
      const std::vector<std::string> parts = {kDownloadFolder, "Cache", type};
      FolderHandle opened = OpenFolderChain(parts);
      if (!opened.IsOpen()) {
        settle();
        Fail(kMsgFolder + FolderText(parts));
        return;
      }
      const int fd = opened.Fd();
      target = targets.emplace(type, Target{std::move(opened), FileCommitter(fd)}).first;
    }
    const int targetFd = target->second.folder.Fd();
    std::string safe = SafeFileName(name);
    auto dot = safe.rfind('.');
    std::string ext = dot == std::string::npos ? "" : NormalExtension(safe.substr(dot + 1));
    if (ext != type) safe = CutNameBase(safe, kMaxNameBytes - type.size() - 1) + "." + type;

    // Within one file system a move is a rename to a free name; when the name is
    // taken (or across file systems) the file is copied, which also finds
    // identical files and numbered names, and the original removed afterwards.
    const std::string sortedPath = summary_.folder + "/" + type + "/" + Utf8ToSjis(safe);
    ++summary_.found;
    if (move && renameat2(source.Fd(), name.c_str(), targetFd, safe.c_str(), RENAME_NOREPLACE) == 0) {
      ReportFile(DL_FILE_SAVED, Utf8ToSjis(name), "", sortedPath, st.st_size, 0, "");
      continue;
    }
    int error = 0;
    std::string temp = CopyToTemp(file.Fd(), targetFd, &error);
    if (temp.empty()) {
      if (error == ENOSPC || error == EDQUOT) {
        settle();
        ReportEnd(StopReason::DiskFull, 0);
        return;
      }
      ReportFile(DL_FILE_FAILED, Utf8ToSjis(name), "", "", 0, 0, Utf8ToSjis(std::strerror(error)));
      continue;
    }
    // The committer may give the copy a numbered name when `safe` is taken.
    if (target->second.committer.Commit(temp, safe)) {
      ReportFile(DL_FILE_SAVED, Utf8ToSjis(name), "", sortedPath, st.st_size, 0, "");
      if (move) copied.push_back(name);
    } else {
      ReportFile(DL_FILE_FAILED, Utf8ToSjis(name), "", "", 0, 0, kReasonCannotSort);
    }
  }
  settle();
  ReportEnd(StopReason::None, static_cast<size_t>(summary_.saved));
}

void Engine::MakePatrolList(const std::string& kind, const std::string& page) {
  auto rules = LoadKindRules(RulesFilePath(), kind);
  if (!rules) {
    Fail(kMsgNoRules + kind);
    return;
  }
  TransferBatch batch(options_.fetch, host_);
  Page fetched = FetchPage(batch, page, PageFailure::Message);
  if (!fetched.ok) return;
  auto pageParts = SplitUrl(fetched.url);
  if (!pageParts) {
    Fail(kMsgPageFailed + page);
    return;
  }
  std::vector<std::string> entries;
  const ExtractedLinks found = ExtractLinks(fetched.body, fetched.url, options_.maxLinks);
  for (const Link& link : found.links) {
    if (!(link.kinds & rules->patrolLinks) || link.url == fetched.url) continue;
    auto parts = SplitUrl(link.url);
    if (!parts || (rules->patrolSameHost && !SameHost(parts->host, pageParts->host))) continue;
    if (!Selected(link.url, rules->patrolMatch, rules->patrolSkip)) continue;
    if (link.url.size() > kMaxListLine) continue;
    entries.push_back(link.url);
    if (entries.size() >= options_.maxPatrolPages) break;
  }
  // An empty result leaves the user's list as it was.
  if (entries.empty()) {
    Fail(kMsgNoPatrolLinks);
    return;
  }
  if (!WriteFileAtomically("Patrol.lst", FormatPatrolList(entries))) {
    Fail(kMsgPatrolNotSaved);
    return;
  }
  summary_.entries = static_cast<long>(entries.size());
}

int Engine::MakeDownloadList(const std::string& kind) {
  auto rules = LoadKindRules(RulesFilePath(), kind);
  if (!rules) {
    Fail(kMsgNoRules + kind, Tell::Quiet);
    return 0;
  }
  auto text = ReadWholeFile("Patrol.lst");
  if (!text || text->size() > kMaxListFileBytes) {
    Fail(kMsgNoPatrolList, Tell::Quiet);
    return 0;
  }
  std::vector<std::string> addresses = ParsePatrolList(*text, options_.maxPatrolPages);
  std::vector<FetchJob> jobs;
  for (const std::string& a : addresses)
    if (auto url = ResolveUrl("", a)) {
      FetchJob job;
      job.url = *url;
      jobs.push_back(std::move(job));
    }
  TransferBatch batch(options_.fetch, host_);
  batch.Run(jobs, kTextLoading, Counting::Pages);
  if (batch.Stopped() != StopReason::None) {
    ReportEnd(batch.Stopped(), 0);
    return 0;
  }
  std::vector<std::string> images;
  std::unordered_set<std::string> seen;
  for (const FetchJob& j : jobs) {
    if (!j.ok) continue;
    const ExtractedLinks found = ExtractLinks(j.body, j.effectiveUrl, options_.maxLinks);
    for (const Link& link : found.links) {
      if (!(link.kinds & rules->downloadLinks)) continue;
      if (!Selected(link.url, rules->downloadMatch, rules->downloadSkip)) continue;
      if (seen.insert(link.url).second) images.push_back(link.url);
    }
  }
  if (images.empty()) return 0;
  auto first = SplitUrl(images[0]);
  if (!first) return 0;
  DownloadList list;
  list.top = OriginOf(*first);
  list.label = rules->label;
  for (const std::string& url : images) {
    auto p = SplitUrl(url);
    if (!p) continue;
    // Same origin as the top address: its server path; otherwise the whole address.
    std::string line = OriginOf(*p) == list.top ? p->path + (p->query.empty() ? "" : "?" + p->query)
                                                : url;
    if (line.size() <= kMaxListLine) list.paths.push_back(line);
  }
  if (list.paths.empty() || list.top.size() > kMaxListLine) return 0;
  if (!WriteFileAtomically("Download.lst", FormatDownloadList(list))) {
    Fail(kMsgDownloadListNotSaved, Tell::Quiet);
    return 0;
  }
  summary_.entries = static_cast<long>(list.paths.size());
  return static_cast<int>(list.paths.size());
}

}  // namespace mireva::dl
