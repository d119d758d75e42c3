#pragma once
// The view's binding of the run-time libraries: the download engine
// (libDownLoad.so), the page-fetch library (libHovrel.so) and the compositing
// library (libPngCompo.so). Each library is loaded by name at first use and
// kept until the view, which owns this object, is destroyed.
//
// Engine binding: the library is loaded once; each binding attempt looks up
// the six entries in a fixed order and stops at the first one missing, with a
// stop-icon message naming it. An operation binds only while its own entry is
// still missing; when binding fails the engine is not called and the operation
// returns false.
//
// Threads: with a call runner (the program sets one), every engine call runs
// on a worker thread while the calling thread waits in the runner, which
// keeps the window live. The engine's progress and messages reach the host's
// callbacks on the calling thread only: the worker queues them and the
// runner's pump hands them over, so hosts never see another thread. One call
// runs at a time; a call asked for while one runs is refused with a message.
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "companions/download_engine/download_engine_api.h"
#include "platform/dynamic_library.h"
#include "platform/interaction.h"

namespace mireva {

// The engine's six entries, in the order a binding attempt looks them up.
enum class EngineEntry { ListLoad, Temporary, DLoad, ALoad, MakePatrolList, MakeDownloadList };

// The file count of an engine progress text ("ダウンロード中 3/10"): done and
// total, or nothing when the text ends in no "n/m".
struct FileCount {
  size_t done = 0;
  size_t total = 0;
};
std::optional<FileCount> CountInProgressText(const std::string& text);

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

  // Each returns false when the engine could not be bound (message shown).
  bool ALoad(const std::string& page, const std::string& extension);
  bool DLoad(const std::string& page, const std::string& kind);
  bool ListLoad(const std::string& listFile, const std::string& collection);
  bool Temporary(const std::string& folder, const std::string& pattern, const std::string& mode);
  bool MakePatrolList(const std::string& kind, const std::string& page);
  // The engine's result (0 = no list made); -1 when the engine could not be bound.
  int MakeDownloadList(const std::string& kind);

  // Binds when `entry` is still missing (a full attempt in the fixed order);
  // true when it is bound. Callers that must know the engine is there before
  // they start work (the patrol) use this.
  bool BindEntry(EngineEntry entry);
  bool IsBound(EngineEntry entry) const;

  // Host callbacks for the engine's progress and messages (optional export).
  void SetHost(DlProgressFn progress, DlMessageFn message, void* user);
  // The callbacks in force, so a command that puts up its own progress window
  // can put the previous ones back when it is done.
  struct Host {
    DlProgressFn progress;
    DlMessageFn message;
    void* user;
  };
  Host CurrentHost() const { return Host{progress_, message_, hostUser_}; }

  // Engine calls run through `runner` from now on (nullptr: in place).
  void SetRunner(CallRunner* runner) { runner_ = runner; }
  // Shown progress texts of calls made without a progress host (the
  // collectors' downloads, say): the program puts them in the status bar.
  void SetDefaultProgress(std::function<void(const std::string& text)> show) {
    defaultProgress_ = std::move(show);
  }
  // Called on the calling thread each time an engine call has ended.
  void AddCallEndedHook(std::function<void()> hook) { callEnded_.push_back(std::move(hook)); }
  // Called on the calling thread with every progress report of a call made
  // through the runner, before the host sees it: a window that watches the
  // engine's work beside whoever shows it.
  using ProgressListener =
      std::function<void(const std::string& text, long long done, long long total)>;
  void AddProgressListener(ProgressListener listener) {
    progressListeners_.push_back(std::move(listener));
  }
  // Runs `work`, a call into the page-fetch or compositing library, the way
  // engine calls run: through the runner (the window stays live) and one
  // call at a time, refused with the engine's busy message (false) while
  // another runs. Library callbacks inside `work` reach the window through
  // OnCallingThread.
  bool RunLibraryCall(const std::function<void()>& work) { return Call(work); }
  // Runs `task` on the thread that made the running call (the GUI thread)
  // and returns when it has ended; called there, or without a runner, it
  // runs at once. For library callbacks that show windows or ask the user.
  void OnCallingThread(const std::function<void()>& task);
  // Whether an engine call is running now.
  bool Busy() const { return busy_; }
  // Asks the running call to stop at its next progress report; the request
  // ends with the call.
  void Cancel() { cancel_ = true; }

  // The page-fetch and compositing libraries; loaded by their users, freed here.
  DynamicLibrary& PageFetchLibrary() { return pageFetch_; }
  DynamicLibrary& CompositingLibrary() { return compositing_; }
  const std::string& LibraryFolder() const { return folder_; }

 private:
  // Loads the library if needed and looks up the entries in order, stopping
  // at the first missing one with its message. True when all are bound.
  bool Bind();
  // Runs one bound entry: refused with a message while another call runs.
  bool Call(const std::function<void()>& call);
  // The callbacks the library gets when calls run on a worker: they queue
  // what the engine says; Pump hands it to the host on the calling thread.
  static int MIREVA_STDCALL QueueProgress(void* user, const char* text, long long done,
                                          long long total);
  static void MIREVA_STDCALL QueueMessage(void* user, const char* text);
  void Pump();
  void InstallHost();

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
  DlProgressFn progress_ = nullptr;
  DlMessageFn message_ = nullptr;
  void* hostUser_ = nullptr;

  CallRunner* runner_ = nullptr;
  std::function<void(const std::string&)> defaultProgress_;
  std::vector<std::function<void()>> callEnded_;
  std::vector<ProgressListener> progressListeners_;
  std::atomic<bool> busy_{false};
  pthread_t callingThread_{};  // <thread> needs <chrono>, which this build cannot take
  std::atomic<bool> cancel_{false};
  // What the worker queued for the host; a message waits until it was shown.
  struct HostEvent {
    std::function<void()> task;  // OnCallingThread's; acknowledged like a message
    bool message = false;
    std::string text;
    long long done = 0;
    long long total = -1;
  };
  std::mutex queueLock_;
  std::condition_variable messageShown_;
  std::deque<HostEvent> queue_;
  unsigned long long messagesQueued_ = 0;
  unsigned long long messagesShown_ = 0;
};

}  // namespace mireva
