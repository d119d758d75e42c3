#pragma once
// The download engine's work behind its exports. Everything is relative to the
// current folder (the program's working folder): files land in
// "DownLoad/<host>/" (the host of the page they were found on) or
// "DownLoad/<collection>/", what was fetched is kept in the download history
// "DownLoad/History.sqlite" (history/history_store.h), the lists are
// "Patrol.lst" and "Download.lst". Strings are Shift_JIS; nothing throws.
#include <functional>
#include <string>
#include <vector>

#include "companions/download_engine/engine_host.h"
#include "companions/download_engine/transfer_batch.h"
#include "history/history_store.h"

namespace mireva::dl {

// What one call did, gathered while it runs; the exports hand it to the host
// as a DlCallResult when the call ends.
struct CallSummary {
  DlCallOutcome outcome = DL_CALL_DONE;
  DlPageState page = DL_PAGE_NONE;
  std::string pageAddress;  // after redirects
  std::string folder;       // relative to the working folder
  long found = 0, saved = 0, failed = 0, skipped = 0, entries = 0;
  std::string reason;
};

// What LoadSelection does with a name that is taken in its folder.
enum class ExistingFile {
  Rename,     // the new file gets the first free numbered name ("name(1).ext")
  Skip,       // not fetched (nor when the history knows the address)
  Overwrite,  // the new file takes the name once it has arrived whole
};

// One file the user chose: its address and the name it is saved under,
// relative to the call's folder; "/" in the name makes subfolders.
struct SelectedFile {
  std::string url;
  std::string name;  // Shift_JIS (UTF-8 is taken too); each part made safe again
};

struct EngineOptions {
  FetchOptions fetch;
  size_t maxLinks = 5000;          // distinct addresses taken from one page
  size_t maxPatrolPages = 2000;    // pages read for a download list
  long pageCacheMs = 60000;        // a page fetched this recently is not fetched again
};

// Where the browser view keeps its cookies, <cache folder>/cookies.txt: the
// engine sends what the view has, so a download sees what the user sees after
// a login.
std::string DefaultCookieFile();

class Engine {
 public:
  Engine(EngineHost& host, EngineOptions options);

  // Every file of the page whose extension is `extension` (jpg also jpeg, tif
  // tiff, mid midi; case and query do not matter), linked or embedded. ALoad
  // and DLoad fetch only addresses the history does not know and record what
  // they fetched (a patrol, a link command).
  void ALoad(const std::string& page, const std::string& extension);
  // One of the nine kinds of the link menus, "1".."9".
  void DLoad(const std::string& page, const std::string& kind);
  // The files of a download list into "DownLoad/<collection>/", skipping names
  // that are already there (the collectors rely on finding every listed file
  // under its own name afterwards, whatever the history says). What it fetched
  // is recorded as a collector's run for the collectors' collections
  // ("Weather", "JapanMap", "Sdss"), else as a list's.
  void ListLoad(const std::string& listFile, const std::string& collection);
  // Sorts the files of `folder` matching `pattern` into "DownLoad/Cache/<type>/"
  // by their content; mode "1" moves them, anything else copies. Nothing is
  // recorded in the history.
  void Temporary(const std::string& folder, const std::string& pattern, const std::string& mode);
  // Writes "Patrol.lst" from the links of `page` that the kind's rules select.
  void MakePatrolList(const std::string& kind, const std::string& page);
  // Writes "Download.lst" from the pages of "Patrol.lst"; the number of entries,
  // 0 when no list was made.
  int MakeDownloadList(const std::string& kind);

  // The files the user chose in the link-selection window, each under its
  // own name, into `folder` (absolute, or relative to the working folder; made
  // when missing), with `page` as referrer. Subfolders of the names are made
  // without following links. Only with ExistingFile::Skip are addresses the
  // history knows skipped: otherwise the user asked for these very files.
  // What arrived is recorded as a selection's run.
  void LoadSelection(const std::string& page, const std::string& folder,
                     const std::vector<SelectedFile>& files, ExistingFile existing);

  // What the call made on this engine did (one call per Engine).
  const CallSummary& Summary() const { return summary_; }

 private:
  struct Page {
    bool ok = false;
    std::string url;   // after redirects
    std::string body;
  };
  enum class PageFailure { Message, Quiet };
  Page FetchPage(TransferBatch& batch, const std::string& url, PageFailure failure);
  // Fetches `urls` into DownLoad/<folder>/ unless the history knows them.
  void FetchFiles(TransferBatch& batch, const std::string& folder, const std::string& referer,
                  const std::vector<std::string>& urls, const std::string& fallbackName,
                  RunKind kind);
  enum class Pages { No, OtherHosts, OwnHost };
  // Fetches the page, then its links of `kinds` whose extension is one of
  // `exts` (or, with `pages`, the linked pages of other hosts or its own).
  void SelectAndFetch(const std::string& page, unsigned kinds, const std::vector<std::string>& exts,
                      Pages pages, PageFailure failure, RunKind kind);
  // Opens the history of the working folder, telling the host what the store
  // has to say. A history that cannot be opened stays closed: the call then
  // fetches without it and records nothing.
  void OpenHistory(HistoryStore& history);
  // Reports every job's file, records the files saved (a stopped run's too)
  // in one transaction and says how the run ended. `pathOf` gives the host
  // path (relative to the working folder or absolute) a saved job's file has.
  void RecordAndReport(const TransferBatch& batch, HistoryStore& history,
                       const std::vector<FetchJob>& jobs, RunKind kind,
                       const std::function<std::string(size_t job)>& pathOf);
  void TellHistory(const HistoryStore& history);
  void ReportEnd(StopReason stop, size_t fetched);
  // Ends the call as failed with `reason` (also the message the user sees,
  // unless `tell` is Quiet).
  enum class Tell { Message, Quiet };
  void Fail(const std::string& reason, Tell tell = Tell::Message);
  void ReportFile(DlFileOutcome outcome, const std::string& address, const std::string& finalAddress,
                  const std::string& savedPath, long long size, long status,
                  const std::string& reason);

  EngineHost& host_;
  EngineOptions options_;
  CallSummary summary_;
};

}  // namespace mireva::dl
