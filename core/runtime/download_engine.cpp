#include "core/runtime/download_engine.h"

#include <cstdio>
#include <type_traits>
#include <utility>

#include "platform/text_encoding.h"

namespace mireva {
namespace {

const char kMsgBusy[] = "ダウンロード中です。終わるまでお待ちください。";

std::string Text(const char* s) { return s ? std::string(s) : std::string(); }

CallStatus StatusOf(int outcome) {
  switch (outcome) {
    case DL_CALL_DONE: return CallStatus::Done;
    case DL_CALL_CANCELLED: return CallStatus::Cancelled;
    default: return CallStatus::Failed;
  }
}

size_t Count(long n) { return n > 0 ? static_cast<size_t>(n) : 0; }

}  // namespace

std::string CallSummaryText(const CallResult& r) {
  if (!r.Ran()) return std::string();
  std::string counts = "保存 " + std::to_string(r.saved);
  if (r.skipped) counts += "、取得済み " + std::to_string(r.skipped);
  if (r.failed) counts += "、失敗 " + std::to_string(r.failed);
  switch (r.status) {
    case CallStatus::Failed:
      return "ダウンロードできませんでした: " + r.reason + (r.found ? " (" + counts + ")" : std::string());
    case CallStatus::Cancelled:
      return "ダウンロードを中止しました: " + counts;
    default:
      return r.found == 0 ? std::string("ダウンロード終了: 対象のファイルはありませんでした")
                          : "ダウンロード終了: " + counts;
  }
}

DownloadEngine::DownloadEngine(Interaction& ui, std::string libraryFolder)
    : ui_(ui), folder_(std::move(libraryFolder)) {}

bool DownloadEngine::Bind() {
  if (!engine_.IsOpen() && !engine_.Open("DownLoad", folder_)) {
    ui_.ShowMessage("DOWNLOAD.dll　が見つかりません", MessageIcon::Stop);
    return false;
  }
  // Looked up in this order; the first missing entry ends the attempt.
  auto look = [this](auto& slot, const char* name, const char* message) {
    slot = engine_.Entry<std::remove_reference_t<decltype(slot)>>(name);
    if (!slot) ui_.ShowMessage(message, MessageIcon::Stop);
    return slot != nullptr;
  };
  if (!look(listLoad_, "ListLoad", "ListLoad 関数が見つかりません") ||
      !look(temporary_, "Temporary", "Temporary　関数が見つかりません") ||
      !look(dLoad_, "DLoad", "DownLoad　関数が見つかりません") ||
      !look(aLoad_, "ALoad", "AutoDownLoad 関数が見つかりません") ||
      !look(makePatrolList_, "MakePatrolList", "MakePatrolList 関数が見つかりません") ||
      !look(makeDownloadList_, "MakeDownloadList", "MakeDownloadList 関数が見つかりません"))
    return false;
  // The program's own optional entries: an engine without them still serves the six.
  loadSelection_ = engine_.Entry<DlLoadSelectionFn>("DlLoadSelection");
  if (!hostRegistered_) {
    // Once: the callbacks only queue, and the running call's hooks are found
    // when the queue is pumped, so nothing here changes while a call runs.
    if (auto setHost = engine_.Entry<DlSetHostFn>("DlSetHost"))
      setHost(&DownloadEngine::QueueProgress, &DownloadEngine::QueueMessage, this);
    if (auto setResults = engine_.Entry<DlSetResultHostFn>("DlSetResultHost"))
      setResults(&DownloadEngine::QueueCount, &DownloadEngine::QueueFile, &DownloadEngine::QueueCall,
                 this);
    if (auto setWait = engine_.Entry<DlSetWaitHostFn>("DlSetWaitHost"))
      setWait(&DownloadEngine::QueueHostWait, this);
    hostRegistered_ = true;
  }
  return true;
}

CallResult DownloadEngine::Unbound() const {
  CallResult result;
  result.status = CallStatus::Missing;
  return result;
}

CallStatus DownloadEngine::RunLibraryCall(const std::function<void()>& work) {
  return Call(work, CallHooks{}).status;
}

CallResult DownloadEngine::Call(const std::function<void()>& call, const CallHooks& hooks) {
  if (busy_) {
    ui_.ShowMessage(kMsgBusy, MessageIcon::Exclamation);
    CallResult refused;
    refused.status = CallStatus::Refused;
    refused.reason = kMsgBusy;
    return refused;
  }
  CallResult result;
  busy_ = true;
  cancel_ = false;
  callingThread_ = pthread_self();
  hooks_ = &hooks;
  result_ = &result;
  count_ = FileCount{};
  if (runner_) runner_->Run(call, [this] { Pump(); });
  else call();
  Pump();
  hooks_ = nullptr;
  result_ = nullptr;
  busy_ = false;
  cancel_ = false;
  auto hooks2 = callEnded_;  // copied: a hook may add hooks
  for (auto& hook : hooks2) hook(result);
  return result;
}

bool DownloadEngine::OnCallingThreadNow() const {
  return !runner_ || !busy_ || pthread_equal(pthread_self(), callingThread_);
}

void DownloadEngine::Queue(HostEvent event, bool wait) {
  if (OnCallingThreadNow()) {
    // In place (no runner): handled now, in order after what waits.
    event.waited = false;
    {
      std::lock_guard<std::mutex> lock(queueLock_);
      queue_.push_back(std::move(event));
    }
    Pump();
    return;
  }
  std::unique_lock<std::mutex> lock(queueLock_);
  if (event.kind == EventKind::Progress && !queue_.empty() &&
      queue_.back().kind == EventKind::Progress) {
    // Of several waiting reports of one stage ("ダウンロード中 1/3", "... 2/3")
    // only the newest is worth showing; other texts are all kept.
    auto stage = [](const std::string& t) { return t.substr(0, t.find(' ')); };
    if (stage(queue_.back().text) == stage(event.text)) queue_.pop_back();
  }
  event.waited = wait;
  queue_.push_back(std::move(event));
  if (!wait) return;
  const unsigned long long mine = ++waitingQueued_;
  // The engine goes on once the user has seen the message, as with a message box.
  handled_.wait(lock, [this, mine] { return waitingHandled_ >= mine; });
}

int MIREVA_STDCALL DownloadEngine::QueueProgress(void* user, const char* text, long long done,
                                                 long long total) {
  auto* self = static_cast<DownloadEngine*>(user);
  HostEvent event;
  event.kind = EventKind::Progress;
  event.text = Text(text);
  event.done = done;
  event.total = total;
  self->Queue(std::move(event), false);
  return self->cancel_ ? 1 : 0;
}

void MIREVA_STDCALL DownloadEngine::QueueMessage(void* user, const char* text) {
  HostEvent event;
  event.kind = EventKind::Message;
  event.text = Text(text);
  static_cast<DownloadEngine*>(user)->Queue(std::move(event), true);
}

void MIREVA_STDCALL DownloadEngine::QueueCount(void* user, long done, long total) {
  HostEvent event;
  event.kind = EventKind::Count;
  event.done = done;
  event.total = total;
  static_cast<DownloadEngine*>(user)->Queue(std::move(event), false);
}

void MIREVA_STDCALL DownloadEngine::QueueFile(void* user, const DlFileResult* r) {
  if (!r) return;
  HostEvent event;
  event.kind = EventKind::File;
  event.file.outcome = static_cast<DlFileOutcome>(r->outcome);
  event.file.address = Text(r->address);
  event.file.finalAddress = Text(r->finalAddress);
  event.file.savedPath = Text(r->savedPath);
  event.file.size = r->size;
  event.file.status = r->status;
  event.file.reason = Text(r->reason);
  static_cast<DownloadEngine*>(user)->Queue(std::move(event), false);
}

void MIREVA_STDCALL DownloadEngine::QueueCall(void* user, const DlCallResult* r) {
  if (!r) return;
  HostEvent event;
  event.kind = EventKind::Call;
  CallResult& c = event.call;
  c.status = StatusOf(r->outcome);
  c.reason = Text(r->reason);
  c.page = static_cast<DlPageState>(r->page);
  c.pageAddress = Text(r->pageAddress);
  c.folder = Text(r->folder);
  c.found = Count(r->found);
  c.saved = Count(r->saved);
  c.failed = Count(r->failed);
  c.skipped = Count(r->skipped);
  c.entries = Count(r->entries);
  static_cast<DownloadEngine*>(user)->Queue(std::move(event), false);
}

void MIREVA_STDCALL DownloadEngine::QueueHostWait(void* user, const char* host, long long waitMs) {
  HostEvent event;
  event.kind = EventKind::HostWait;
  event.text = Text(host);
  event.done = waitMs;
  static_cast<DownloadEngine*>(user)->Queue(std::move(event), false);
}

void DownloadEngine::OnCallingThread(const std::function<void()>& task) {
  if (OnCallingThreadNow()) {
    task();
    return;
  }
  HostEvent event;
  event.kind = EventKind::Task;
  event.task = task;
  Queue(std::move(event), true);
}

void DownloadEngine::Pump() {
  static thread_local bool pumping = false;
  if (pumping) return;  // a message box's own event loop pumps again
  pumping = true;
  for (;;) {
    HostEvent event;
    {
      std::lock_guard<std::mutex> lock(queueLock_);
      if (queue_.empty()) break;
      event = std::move(queue_.front());
      queue_.pop_front();
    }
    const CallHooks* hooks = hooks_;
    switch (event.kind) {
      case EventKind::Task:
      case EventKind::Message: {
        if (event.kind == EventKind::Task)
          event.task();
        else if (hooks && hooks->message)
          hooks->message(event.text);
        else
          ui_.ShowMessage(event.text, MessageIcon::Exclamation);
        if (event.waited) {
          std::lock_guard<std::mutex> lock(queueLock_);
          ++waitingHandled_;
          handled_.notify_all();
        }
        break;
      }
      case EventKind::Progress:
        for (const auto& listen : progressListeners_) listen(event.text, event.done, count_);
        if (hooks && hooks->progress) {
          if (hooks->progress(event.text, event.done)) cancel_ = true;
        } else if (defaultProgress_) {
          defaultProgress_(event.text);
        }
        break;
      case EventKind::Count:
        count_.done = Count(static_cast<long>(event.done));
        count_.total = Count(static_cast<long>(event.total));
        if (hooks && hooks->count) hooks->count(count_);
        break;
      case EventKind::File:
        if (result_) result_->files.push_back(event.file);
        if (hooks && hooks->file) hooks->file(event.file);
        break;
      case EventKind::HostWait:
        for (const auto& listen : hostWaitListeners_) listen(event.text, event.done);
        break;
      case EventKind::Call:
        if (result_) {
          std::vector<FileResult> files = std::move(result_->files);
          *result_ = std::move(event.call);
          result_->files = std::move(files);
        }
        break;
    }
  }
  pumping = false;
}

bool DownloadEngine::IsBound(EngineEntry entry) const {
  switch (entry) {
    case EngineEntry::ListLoad:
      return listLoad_ != nullptr;
    case EngineEntry::Temporary:
      return temporary_ != nullptr;
    case EngineEntry::DLoad:
      return dLoad_ != nullptr;
    case EngineEntry::ALoad:
      return aLoad_ != nullptr;
    case EngineEntry::MakePatrolList:
      return makePatrolList_ != nullptr;
    case EngineEntry::MakeDownloadList:
      return makeDownloadList_ != nullptr;
  }
  return false;
}

bool DownloadEngine::BindEntry(EngineEntry entry) { return IsBound(entry) || Bind(); }

CallResult DownloadEngine::ALoad(const std::string& page, const std::string& extension,
                                 const CallHooks& hooks) {
  if (!aLoad_ && !Bind()) return Unbound();
  return Call([&] { aLoad_(page.c_str(), extension.c_str()); }, hooks);
}

CallResult DownloadEngine::DLoad(const std::string& page, const std::string& kind,
                                 const CallHooks& hooks) {
  if (!dLoad_ && !Bind()) return Unbound();
  return Call([&] { dLoad_(page.c_str(), kind.c_str()); }, hooks);
}

CallResult DownloadEngine::ListLoad(const std::string& listFile, const std::string& collection,
                                    const CallHooks& hooks) {
  if (!listLoad_ && !Bind()) return Unbound();
  return Call([&] { listLoad_(listFile.c_str(), collection.c_str()); }, hooks);
}

CallResult DownloadEngine::Temporary(const std::string& folder, const std::string& pattern,
                                     const std::string& mode, const CallHooks& hooks) {
  if (!temporary_ && !Bind()) return Unbound();
  return Call([&] { temporary_(folder.c_str(), pattern.c_str(), mode.c_str()); }, hooks);
}

CallResult DownloadEngine::MakePatrolList(const std::string& kind, const std::string& page,
                                          const CallHooks& hooks) {
  if (!makePatrolList_ && !Bind()) return Unbound();
  return Call([&] { makePatrolList_(kind.c_str(), page.c_str()); }, hooks);
}

CallResult DownloadEngine::MakeDownloadList(const std::string& kind, const CallHooks& hooks) {
  if (!makeDownloadList_ && !Bind()) return Unbound();
  int made = 0;
  CallResult result = Call([&] { made = makeDownloadList_(kind.c_str()); }, hooks);
  // An engine without result reports still says how many entries it wrote.
  if (result.Ran() && result.entries == 0 && made > 0) result.entries = static_cast<size_t>(made);
  return result;
}

CallResult DownloadEngine::LoadSelection(const std::string& page, const std::string& folder,
                                         const std::string& items, const std::string& existing,
                                         const CallHooks& hooks) {
  if (!loadSelection_) {
    // Bind tells of a missing library or one of the six entries itself.
    if (Bind() && !loadSelection_)
      ui_.ShowMessage("DlLoadSelection 関数が見つかりません", MessageIcon::Stop);
    if (!loadSelection_) return Unbound();
  }
  return Call([&] { loadSelection_(page.c_str(), folder.c_str(), items.c_str(), existing.c_str()); },
              hooks);
}

}  // namespace mireva
