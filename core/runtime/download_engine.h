#pragma once
// The one home of the run-time libraries: the download engine
// (libDownLoad.so), the page-fetch library (libHovrel.so) and the compositing
// library (libPngCompo.so). Each library is loaded by name at first use and
// kept until the view, which owns this object, is destroyed.
//
// Engine binding: the library is loaded once; each binding attempt looks up
// the six entries in a fixed order and stops at the first one missing, with a
// stop-icon message naming it. An operation binds only while its own entry is
// still missing; when binding fails the engine is not called and the
// operation ends as Missing. The engine's callbacks are registered once, when
// the entries are bound.
//
// Results: every call returns a CallResult: how it ended (done, failed with
// its reason, cancelled, refused because another call runs, library or entry
// missing) and what the engine did, as values: the page it read, the folder,
// one FileResult per file. Callers build on these; the progress texts are for
// the status bar and progress windows only.
//
// Threads: with a call runner (the program sets one), every engine call runs
// on a worker thread while the calling thread waits in the runner, which
// keeps the window live. What the engine says reaches the call's own hooks on
// the calling thread only: the worker queues it and the runner's pump hands
// it over. Hooks belong to the call that passed them: one call at a time
// runs, and a call asked for while one runs is refused (with a message)
// without touching the running call's hooks or its cancel.
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/runtime/download_engine_api.h"
#include "platform/dynamic_library.h"
#include "platform/interaction.h"

namespace mireva {

// The engine's six entries, in the order a binding attempt looks them up.
enum class EngineEntry { ListLoad, Temporary, DLoad, ALoad, MakePatrolList, MakeDownloadList };

// How a library call ended.
enum class CallStatus {
  Done,       // it ran to its end; files may still have failed one by one
  Failed,     // it could not do its work (the page could not be read, a full disk...)
  Cancelled,  // the user or the caller cancelled it
  Refused,    // another library call was running: nothing was done
  Missing,    // the library or its entry is missing (message shown): nothing was done
};

// Files finished of the files the running call fetches.
struct FileCount {
  size_t done = 0;
  size_t total = 0;
};

// What became of one file (texts Shift_JIS).
struct FileResult {
  DlFileOutcome outcome = DL_FILE_FAILED;
  std::string address;       // asked for
  std::string finalAddress;  // after redirects; empty when no answer came
  std::string savedPath;     // relative to the working folder; empty unless saved (or existing)
  long long size = 0;
  long status = 0;           // HTTP status, 0 when none
  std::string reason;        // why it failed, for the user
};

// What a call did.
struct CallResult {
  CallStatus status = CallStatus::Done;
  std::string reason;        // for the user: why it failed or was stopped
  DlPageState page = DL_PAGE_NONE;
  std::string pageAddress;   // the page read, after redirects
  std::string folder;        // where files went, relative to the working folder
  size_t found = 0, saved = 0, failed = 0, skipped = 0;
  size_t entries = 0;        // lists written by MakePatrolList and MakeDownloadList
  std::vector<FileResult> files;

  // The library was called (it may still have failed or been cancelled).
  bool Ran() const { return status != CallStatus::Refused && status != CallStatus::Missing; }
};

// What an engine call did, in words for the status bar and progress windows
// (Shift_JIS): "ダウンロード終了: 保存 3、取得済み 1、失敗 2", why it failed, or
// that it was cancelled; empty for a refused call or a missing engine (a
// message has said so).
std::string CallSummaryText(const CallResult& result);

// The caller's hooks for one call, all optional and all called on the
// calling thread. Without `progress` the texts go to the default progress
// (the status bar); without `message` the engine's messages are shown to the
// user.
struct CallHooks {
  // The engine's progress text and bytes of its running batch; true asks the
  // call to stop.
  std::function<bool(const std::string& text, long long bytes)> progress;
  std::function<void(const std::string& text)> message;
  std::function<void(FileCount count)> count;
  std::function<void(const FileResult& file)> file;
};

// Runs one library call to its end.
class CallRunner {
 public:
  virtual ~CallRunner() = default;
  // Returns when `work` has ended. While it waits it calls `pump` on the
  // calling thread at least every 100 ms, and once more after `work` ended.
  virtual void Run(const std::function<void()>& work, const std::function<void()>& pump) = 0;
};

class DownloadEngine {
 public:
  explicit DownloadEngine(Interaction& ui, std::string libraryFolder = std::string());

  CallResult ALoad(const std::string& page, const std::string& extension, const CallHooks& hooks = {});
  CallResult DLoad(const std::string& page, const std::string& kind, const CallHooks& hooks = {});
  CallResult ListLoad(const std::string& listFile, const std::string& collection,
                      const CallHooks& hooks = {});
  CallResult Temporary(const std::string& folder, const std::string& pattern,
                       const std::string& mode, const CallHooks& hooks = {});
  CallResult MakePatrolList(const std::string& kind, const std::string& page,
                            const CallHooks& hooks = {});
  // `entries` of the result: the list's entries, 0 when no list was made.
  CallResult MakeDownloadList(const std::string& kind, const CallHooks& hooks = {});
  // The files the user chose, through the optional entry DlLoadSelection
  // (download_engine_api.h has the form of `items` and `existing`). An engine
  // without it leaves the other entries working; this call then ends as
  // Missing, with a message naming the entry.
  CallResult LoadSelection(const std::string& page, const std::string& folder,
                           const std::string& items, const std::string& existing,
                           const CallHooks& hooks = {});

  // Binds when `entry` is still missing (a full attempt in the fixed order);
  // true when it is bound. Callers that must know the engine is there before
  // they start work (the patrol) use this.
  bool BindEntry(EngineEntry entry);
  bool IsBound(EngineEntry entry) const;
  // Whether the bound engine has the optional entry DlLoadSelection.
  bool HasSelectionEntry() const { return loadSelection_ != nullptr; }

  // Engine calls run through `runner` from now on (nullptr: in place).
  void SetRunner(CallRunner* runner) { runner_ = runner; }
  // Shown progress texts of calls made without a progress hook (the
  // collectors' downloads, say): the program puts them in the status bar.
  void SetDefaultProgress(std::function<void(const std::string& text)> show) {
    defaultProgress_ = std::move(show);
  }
  // Called on the calling thread each time a library call has ended, with
  // what it did (not for refused calls).
  using CallEndedHook = std::function<void(const CallResult& result)>;
  void AddCallEndedHook(CallEndedHook hook) { callEnded_.push_back(std::move(hook)); }
  // Called on the calling thread with every progress report and file count of
  // an engine call, before the call's hooks see it: a window that watches the
  // engine's work beside whoever shows it.
  using ProgressListener =
      std::function<void(const std::string& text, long long bytes, FileCount count)>;
  void AddProgressListener(ProgressListener listener) {
    progressListeners_.push_back(std::move(listener));
  }
  // Called on the calling thread when the running call's engine holds its
  // requests to a host for `waitMs` more (a server's back-off or the pause
  // between requests), and with 0 when it waits no longer; every wait ends
  // with the call. As values, for a window that shows whom the engine waits for.
  using HostWaitListener = std::function<void(const std::string& host, long long waitMs)>;
  void AddHostWaitListener(HostWaitListener listener) {
    hostWaitListeners_.push_back(std::move(listener));
  }
  // Runs `work`, a call into the page-fetch or compositing library, the way
  // engine calls run: through the runner (the window stays live) and one
  // call at a time. Refused (with the busy message) while another runs;
  // otherwise Done. Library callbacks inside `work` reach the window through
  // OnCallingThread.
  CallStatus RunLibraryCall(const std::function<void()>& work);
  // Runs `task` on the thread that made the running call (the GUI thread)
  // and returns when it has ended; called there, or without a runner, it
  // runs at once. For library callbacks that show windows or ask the user.
  void OnCallingThread(const std::function<void()>& task);
  // Whether a library call is running now.
  bool Busy() const { return busy_; }
  // A patrol holds the engine from its start to its end, between its calls
  // too: other commands that would call a library are not offered then, so
  // none can take the engine while the patrol waits for its next page.
  void Hold(bool held) { held_ = held; }
  bool Held() const { return held_; }
  // No call runs and nobody holds the engine: the update-UI rule of the
  // commands that call a library.
  bool Available() const { return !busy_ && !held_; }
  // Asks the running call to stop at its next progress report; the request
  // ends with the call.
  void Cancel() { cancel_ = true; }

  // The page-fetch and compositing libraries; bound by their users, freed here.
  DynamicLibrary& PageFetchLibrary() { return pageFetch_; }
  DynamicLibrary& CompositingLibrary() { return compositing_; }
  const std::string& LibraryFolder() const { return folder_; }

 private:
  // Loads the library if needed and looks up the entries in order, stopping
  // at the first missing one with its message. True when all are bound.
  bool Bind();
  // Runs one bound entry for `hooks`; refused with a message while another
  // call runs.
  CallResult Call(const std::function<void()>& call, const CallHooks& hooks);
  CallResult Unbound() const;
  // The callbacks the library gets, registered once: they queue what the
  // engine says; Pump hands it to the running call's hooks on the calling
  // thread.
  static int MIREVA_STDCALL QueueProgress(void* user, const char* text, long long done,
                                          long long total);
  static void MIREVA_STDCALL QueueMessage(void* user, const char* text);
  static void MIREVA_STDCALL QueueCount(void* user, long done, long total);
  static void MIREVA_STDCALL QueueFile(void* user, const DlFileResult* result);
  static void MIREVA_STDCALL QueueCall(void* user, const DlCallResult* result);
  static void MIREVA_STDCALL QueueHostWait(void* user, const char* host, long long waitMs);
  // Queues `event`; a message or task waits until the calling thread has
  // handled it (at once when this is the calling thread).
  struct HostEvent;
  void Queue(HostEvent event, bool wait);
  void Pump();
  bool OnCallingThreadNow() const;

  Interaction& ui_;
  std::string folder_;
  DynamicLibrary engine_;
  DynamicLibrary pageFetch_;
  DynamicLibrary compositing_;
  ListLoadFn listLoad_ = nullptr;
  TemporaryFn temporary_ = nullptr;
  DLoadFn dLoad_ = nullptr;
  ALoadFn aLoad_ = nullptr;
  MakePatrolListFn makePatrolList_ = nullptr;
  MakeDownloadListFn makeDownloadList_ = nullptr;
  DlLoadSelectionFn loadSelection_ = nullptr;  // optional
  bool hostRegistered_ = false;

  CallRunner* runner_ = nullptr;
  std::function<void(const std::string&)> defaultProgress_;
  std::vector<CallEndedHook> callEnded_;
  std::vector<ProgressListener> progressListeners_;
  std::vector<HostWaitListener> hostWaitListeners_;
  std::atomic<bool> busy_{false};
  bool held_ = false;
  pthread_t callingThread_{};  // <thread> needs <chrono>, which this build cannot take
  std::atomic<bool> cancel_{false};
  // The running call: its hooks and what it has reported so far. Touched on
  // the calling thread only (Pump).
  const CallHooks* hooks_ = nullptr;
  CallResult* result_ = nullptr;
  FileCount count_;

  // What the worker queued for the calling thread.
  enum class EventKind { Progress, Message, Task, Count, File, Call, HostWait };
  struct HostEvent {
    EventKind kind = EventKind::Progress;
    bool waited = false;  // the queuing thread waits until it is handled
    std::function<void()> task;
    std::string text;
    long long done = 0;
    long long total = -1;
    FileResult file;
    CallResult call;
  };
  std::mutex queueLock_;
  std::condition_variable handled_;
  std::deque<HostEvent> queue_;
  unsigned long long waitingQueued_ = 0;
  unsigned long long waitingHandled_ = 0;
};

}  // namespace mireva
