#include "core/download_engine.h"

#include <cstdio>
#include <type_traits>
#include <utility>

#include "platform/text_encoding.h"

namespace mireva {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<FileCount> CountInProgressText(const std::string& text) {
  // "<label> <done>/<total>" as the engine writes it while it works.
  size_t slash = text.rfind('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 >= text.size()) return std::nullopt;
  size_t begin = slash;
  while (begin > 0 && IsDigit(text[begin - 1])) --begin;
  if (begin == slash || (begin > 0 && text[begin - 1] != ' ')) return std::nullopt;
  for (size_t i = slash + 1; i < text.size(); ++i)
    if (!IsDigit(text[i])) return std::nullopt;
  if (slash - begin > 9 || text.size() - slash - 1 > 9) return std::nullopt;
  FileCount count;
  count.done = std::stoul(text.substr(begin, slash - begin));
  count.total = std::stoul(text.substr(slash + 1));
  if (count.done > count.total) return std::nullopt;
  return count;
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
  InstallHost();
  return true;
}

void DownloadEngine::InstallHost() {
  if (!engine_.IsOpen()) return;
  auto setHost = engine_.Entry<DlSetHostFn>("DlSetHost");
  if (!setHost) return;
  if (runner_)
    setHost(&DownloadEngine::QueueProgress, &DownloadEngine::QueueMessage, this);
  else if (progress_ || message_)
    setHost(progress_, message_, hostUser_);
}

bool DownloadEngine::Call(const std::function<void()>& call) {
  if (busy_) {
    ui_.ShowMessage("ダウンロード中です。終わるまでお待ちください。", MessageIcon::Exclamation);
    return false;
  }
  busy_ = true;
  cancel_ = false;
  callingThread_ = pthread_self();
  if (runner_) {
    InstallHost();  // the runner may have come after the library was bound
    runner_->Run(call, [this] { Pump(); });
  } else {
    call();
  }
  Pump();
  busy_ = false;
  cancel_ = false;
  auto hooks = callEnded_;  // copied: a hook may add hooks
  for (auto& hook : hooks) hook();
  return true;
}

int MIREVA_STDCALL DownloadEngine::QueueProgress(void* user, const char* text, long long done,
                                                 long long total) {
  auto* self = static_cast<DownloadEngine*>(user);
  std::lock_guard<std::mutex> lock(self->queueLock_);
  std::string said = text ? text : "";
  // Of several waiting reports of one stage ("ダウンロード中 1/3", "... 2/3")
  // only the newest is worth showing; other texts are all kept.
  auto stage = [](const std::string& t) { return t.substr(0, t.find(' ')); };
  if (!self->queue_.empty() && !self->queue_.back().message &&
      stage(self->queue_.back().text) == stage(said))
    self->queue_.pop_back();
  self->queue_.push_back(HostEvent{nullptr, false, std::move(said), done, total});
  return self->cancel_ ? 1 : 0;
}

void MIREVA_STDCALL DownloadEngine::QueueMessage(void* user, const char* text) {
  auto* self = static_cast<DownloadEngine*>(user);
  std::unique_lock<std::mutex> lock(self->queueLock_);
  self->queue_.push_back(HostEvent{nullptr, true, text ? text : "", 0, -1});
  const unsigned long long mine = ++self->messagesQueued_;
  // The engine goes on once the user has seen the message, as with a message box.
  self->messageShown_.wait(lock, [self, mine] { return self->messagesShown_ >= mine; });
}

void DownloadEngine::OnCallingThread(const std::function<void()>& task) {
  if (!runner_ || !busy_ || pthread_equal(pthread_self(), callingThread_)) {
    task();
    return;
  }
  std::unique_lock<std::mutex> lock(queueLock_);
  queue_.push_back(HostEvent{task, false, std::string(), 0, -1});
  const unsigned long long mine = ++messagesQueued_;
  messageShown_.wait(lock, [this, mine] { return messagesShown_ >= mine; });
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
    if (event.task || event.message) {
      if (event.task)
        event.task();
      else if (message_)
        message_(hostUser_, event.text.c_str());
      else
        std::fprintf(stderr, "DownLoad: %s\n", SjisToUtf8(event.text).c_str());
      std::lock_guard<std::mutex> lock(queueLock_);
      ++messagesShown_;
      messageShown_.notify_all();
    } else {
      for (const auto& listen : progressListeners_) listen(event.text, event.done, event.total);
      if (progress_) {
        if (progress_(hostUser_, event.text.c_str(), event.done, event.total) != 0) cancel_ = true;
      } else if (defaultProgress_) {
        defaultProgress_(event.text);
      }
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

void DownloadEngine::SetHost(DlProgressFn progress, DlMessageFn message, void* user) {
  progress_ = progress;
  message_ = message;
  hostUser_ = user;
  if (runner_) return;  // the queueing callbacks stay; Pump reads the new host
  if (engine_.IsOpen())
    if (auto setHost = engine_.Entry<DlSetHostFn>("DlSetHost")) setHost(progress, message, user);
}

bool DownloadEngine::ALoad(const std::string& page, const std::string& extension) {
  if (!aLoad_ && !Bind()) return false;
  return Call([&] { aLoad_(page.c_str(), extension.c_str()); });
}

bool DownloadEngine::DLoad(const std::string& page, const std::string& kind) {
  if (!dLoad_ && !Bind()) return false;
  return Call([&] { dLoad_(page.c_str(), kind.c_str()); });
}

bool DownloadEngine::ListLoad(const std::string& listFile, const std::string& collection) {
  if (!listLoad_ && !Bind()) return false;
  return Call([&] { listLoad_(listFile.c_str(), collection.c_str()); });
}

bool DownloadEngine::Temporary(const std::string& folder, const std::string& pattern,
                               const std::string& mode) {
  if (!temporary_ && !Bind()) return false;
  return Call([&] { temporary_(folder.c_str(), pattern.c_str(), mode.c_str()); });
}

bool DownloadEngine::MakePatrolList(const std::string& kind, const std::string& page) {
  if (!makePatrolList_ && !Bind()) return false;
  return Call([&] { makePatrolList_(kind.c_str(), page.c_str()); });
}

int DownloadEngine::MakeDownloadList(const std::string& kind) {
  if (!makeDownloadList_ && !Bind()) return -1;
  int made = 0;
  if (!Call([&] { made = makeDownloadList_(kind.c_str()); })) return 0;
  return made;
}

}  // namespace mireva
