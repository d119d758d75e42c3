#include "linkharvest/link_harvest.h"

#include "core/command_ids.h"
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "core/runtime/hovrel_api.h"
#include "core/runtime/download_engine.h"
#include "history/history_store.h"
#include "platform/curl_url.h"
#include "platform/file_util.h"
#include "platform/text_encoding.h"
#include "platform/text_helpers.h"

namespace mireva {

namespace {

constexpr size_t kMaxTagBytes = 4096;
constexpr size_t kAddressBytes = kMaxPath - 1;

const char kStatusLoaded[] = "読み込み終了";
const char kStatusChecking[] = "読み込み終了 → チェック";
const char kProgressTitle[] = "ダウンロード";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The page's directory: the address through its last "/" (looked for from the
// end down to the second character); an address without one gets one.
std::string DirectoryOf(const std::string& page) {
  for (size_t i = page.size(); i-- > 1;)
    if (page[i] == '/') return page.substr(0, i + 1);
  return page + "/";
}

// `folder` below the working folder as an absolute Shift_JIS path, when it is
// there; else empty.
std::string ExistingFolder(const std::string& folder) {
  if (folder.empty()) return std::string();
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd)) return std::string();
  const std::string path = Utf8ToSjis(cwd) + "/" + folder;
  struct stat st;
  if (::stat(HostPath(path).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::string();
  return path;
}

}  // namespace

EngineEnd DescribeEngineEnd(const CallResult& r) {
  EngineEnd end;
  if (!r.Ran()) return end;  // refused or missing: a message has said so
  end.saved = r.saved;
  end.tried = r.saved + r.failed;
  end.summary = CallSummaryText(r);
  for (const FileResult& f : r.files) {
    switch (f.outcome) {
      case DL_FILE_FAILED:
        end.details.push_back("失敗 " + f.address + " (" + f.reason + ")");
        break;
      case DL_FILE_KNOWN:
        end.details.push_back("取得済み " + f.address);
        break;
      case DL_FILE_EXISTS:
        end.details.push_back("既にあります " + f.address);
        break;
      case DL_FILE_SAVED:
        break;
    }
  }
  end.folder = ExistingFolder(r.folder);
  return end;
}

std::optional<std::vector<std::string>> CollectFrameTags(const std::string& page) {
  size_t start = page.find("<frameset");
  if (start == std::string::npos) start = page.find("<FRAMESET");
  if (start == std::string::npos) return std::nullopt;
  std::string text = page;
  size_t close = text.find("</FRAMESET", start);
  if (close == std::string::npos) close = text.find("</frameset", start);
  if (close != std::string::npos) text.resize(std::min(text.size(), close + 11));

  std::vector<std::string> tags;
  size_t pos = start;
  while (tags.size() < kMaxFrameTags) {
    // A lower-case tag further on is found before an upper-case one that comes
    // earlier; that is how pages have always been read here.
    size_t tag = text.find("<frame ", pos);
    if (tag == std::string::npos) tag = text.find("<FRAME ", pos);
    if (tag == std::string::npos) break;
    size_t end = text.find('>', tag);
    size_t length = end == std::string::npos ? text.size() - tag : end - tag + 1;
    tags.push_back(text.substr(tag, std::min(length, kMaxTagBytes)));
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return tags;
}

std::string FrameEntryText(const std::string& tag) { return CutSjis(tag, kFrameEntryBytes); }

std::string FrameSource(const std::string& tag) {
  for (const char* name : {"src", "SRC"}) {
    for (size_t at = tag.find(name); at != std::string::npos; at = tag.find(name, at + 3)) {
      size_t i = at + 3;
      while (i < tag.size() && IsBlank(tag[i])) ++i;
      if (i >= tag.size() || tag[i] != '=') continue;  // "srcdoc" and the like
      ++i;
      while (i < tag.size() && IsBlank(tag[i])) ++i;
      if (i >= tag.size()) return std::string();
      if (tag[i] == '"' || tag[i] == '\'') {
        size_t end = tag.find(tag[i], i + 1);
        if (end == std::string::npos) end = tag.find('>', i + 1);
        if (end == std::string::npos) end = tag.size();
        return tag.substr(i + 1, end - i - 1);
      }
      size_t end = i;
      while (end < tag.size() && !IsBlank(tag[end]) && tag[end] != '>') ++end;
      return tag.substr(i, end - i);
    }
  }
  return std::string();
}

std::string FrameAddress(const std::string& page, const std::string& source) {
  CurlUrl url;
  std::string result;
  if (!source.empty() && url.Set(CURLUPART_URL, page.c_str()) &&
      url.Set(CURLUPART_URL, source.c_str(), CURLU_URLENCODE))
    result = url.Get(CURLUPART_URL).value_or("");
  if (!result.empty()) return result;
  return DirectoryOf(page) + source;
}

char LinkCommandCode(int id) {
  switch (id) {
    case 2102: return '1';
    case 2103: return '2';
    case 2104: return '3';
    case 2105: return '4';
    case 2106: return '5';
    case 2107: return '6';
    case 2108: return '7';
    case 2113: return '8';
    case 2110: return '9';
    default: return 0;
  }
}

LinkHarvestCommands::LinkHarvestCommands(ViewContext& ctx, std::unique_ptr<FrameChooser> chooser,
                                         std::unique_ptr<EngineProgressView> progress,
                                         PageSaver saver)
    : ctx_(ctx), chooser_(std::move(chooser)), progress_(std::move(progress)), saver_(std::move(saver)) {}

void LinkHarvestCommands::Register(CommandRouter& router) {
  for (int id : {kCmdExternalLinks, kCmdInternalLinks, kCmdPageImages, kCmdLinkedBinaries,
                 kCmdLinkedImages, kCmdPageMedia, kCmdLinkedMedia, kCmdLinkedMovies,
                 kCmdLinkedMetafiles})
    router.Add(id, CommandTarget::View, [this, id] { RunLinkCommand(id); },
               [this] { return ctx_.Engine().Available(); });
  router.Add(kCmdCacheFiles, CommandTarget::View, [this] { RunCacheFiles(); },
             [this] { return ctx_.Engine().Available(); });
}

void LinkHarvestCommands::WithEngine(const std::string& title,
                                     const std::function<CallResult(const CallHooks&)>& call,
                                     const std::function<void()>& again) {
  if (progress_) progress_->Begin(title);
  FileCount count;
  CallHooks hooks;
  hooks.progress = [this, &count](const std::string& text, long long) {
    ctx_.SetStatusText(text);
    const bool cancel = progress_ && progress_->Update(text, count.done, count.total);
    ctx_.KeepAlive();
    return cancel;
  };
  hooks.count = [&count](FileCount now) { count = now; };
  hooks.message = [this](const std::string& text) { ctx_.Ui().ShowMessage(text); };
  const CallResult result = call(hooks);
  EngineEnd end = DescribeEngineEnd(result);
  if (!end.summary.empty()) ctx_.SetStatusText(end.summary);
  std::vector<std::string> known;
  for (const FileResult& f : result.files)
    if (f.outcome == DL_FILE_KNOWN) known.push_back(f.address);
  if (!known.empty() && again) {
    end.fetchAgain = [known, again] {
      HistoryStore history;
      if (history.Open(".")) history.ForgetAddresses(known);
      again();
    };
  }
  if (progress_) progress_->End(end);
}

void LinkHarvestCommands::RunLinkCommand(int id) {
  const char code = LinkCommandCode(id);
  if (!code) return;
  const std::string address = CutSjis(ctx_.AddressField(), kAddressBytes);
  ctx_.SetStatusText(address);
  // The instance's own working file: a second window (or a scheduled patrol)
  // running a link command at the same time never hands this one its page.
  // Removed first, so that a fetch that fails never leaves an older page to
  // be read as this one.
  const std::string pageFile = InstanceFileName("temp.html");
  std::remove(HostPath(pageFile).c_str());
  if (!saver_ || !saver_(address, pageFile)) return;  // the fetcher has said why
  auto page = ReadWholeFile(pageFile);
  if (!page || page->empty()) return;  // a failed download, told by the fetcher
  ctx_.SetStatusText(kStatusLoaded);
  ctx_.SetStatusText(kStatusChecking);

  std::string target = address;
  if (auto tags = CollectFrameTags(*page)) {
    FrameChoice choice = chooser_ ? chooser_->Choose(*tags) : FrameChoice{};
    if (choice.action == FrameAction::None || choice.index >= tags->size()) return;
    const std::string frame = FrameAddress(address, FrameSource((*tags)[choice.index]));
    if (choice.action == FrameAction::Go) {
      // The address field follows when the frame's document completes.
      ctx_.Browser().Navigate(frame);
      return;
    }
    target = frame;  // the frame's page is not examined for frames again
  }
  DownloadLinks(id, target);
}

void LinkHarvestCommands::DownloadLinks(int id, const std::string& target) {
  ctx_.SetStatusText(target);
  const std::string kind(1, LinkCommandCode(id));
  WithEngine(
      kProgressTitle,
      [this, &target, &kind](const CallHooks& hooks) {
        return ctx_.Engine().DLoad(target, kind, hooks);
      },
      [this, id, target] { DownloadLinks(id, target); });
}

void LinkHarvestCommands::RunCacheFiles() {
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd)) return;
  const std::string folder = Utf8ToSjis(cwd) + "/Cache";
  WithEngine(
      kProgressTitle,
      [this, &folder](const CallHooks& hooks) {
        return ctx_.Engine().Temporary(folder, "*.*", "1", hooks);
      },
      nullptr);
}

}  // namespace mireva
