#include "app/page_save.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "pagefetch/hovrel_api.h"
#include "patrol/download_engine.h"
#include "platform/file_util.h"
#include "platform/process.h"
#include "platform/text_encoding.h"

namespace mireva {
namespace {

constexpr int kSaveHtml = 400;
constexpr int kSaveText = 401;
constexpr int kSavePage = 402;
constexpr int kViewSource = 801;

constexpr size_t kAddressCapacity = 260;  // address buffer, NUL included
constexpr unsigned kTextSize = 49998;     // text mode: page bytes read
constexpr size_t kTextBuffer = 50000;     // kTextSize + 2
constexpr unsigned kSaveSize = 260;       // save mode: the path's working area

// String 1201, the save dialog's filters.
const char kSaveFilter[] =
    "HTML Files|*.htm;*.html|Text Files|*.txt|GIF Files|*.gif|JPEG Files|*.jpg;*.jpeg|"
    "AU Files|*.au|AIFF Files|*.aif;*.aiff|XBM Files|*.xbm|All Files|*.*||";
const char kSourceFile[] = "temp.html";

// At most 259 bytes of a Shift_JIS text, never half a double-byte character.
std::string CutSjis259(const std::string& text) {
  const size_t limit = kAddressCapacity - 1;
  if (text.size() <= limit) return text;
  size_t i = 0;
  while (i < limit) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t width = ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) ? 2 : 1;
    if (i + width > limit) break;
    i += width;
  }
  return text.substr(0, i);
}

// The library's messages and password prompt, shown by the view. Called
// from inside the library: nothing may be thrown back through it.
void MIREVA_STDCALL HostMessage(void* user, const char* text) {
  try {
    static_cast<ViewContext*>(user)->Ui().ShowMessage(text, MessageIcon::Exclamation);
  } catch (...) {
  }
}

int MIREVA_STDCALL HostPassword(void* user, const char* site, const char* realm, char* name,
                                unsigned nameCapacity, char* password, unsigned passwordCapacity) {
  try {
    auto login = static_cast<ViewContext*>(user)->Ui().AskPassword(site, realm);
    if (!login || nameCapacity == 0 || passwordCapacity == 0) return 0;
    std::snprintf(name, nameCapacity, "%s", login->user.c_str());
    std::snprintf(password, passwordCapacity, "%s", login->password.c_str());
    return 1;
  } catch (...) {
    return 0;
  }
}

// Loads the library when needed and looks up its entry. The handle stays
// with the view's DownloadEngine; a missing entry is looked up again next time.
HovrelFn BindHovrel(ViewContext& ctx) {
  DynamicLibrary& lib = ctx.Engine().PageFetchLibrary();
  if (!lib.IsOpen()) lib.Open("Hovrel", ctx.Engine().LibraryFolder());
  if (!lib.IsOpen()) {
    ctx.Ui().ShowMessage("HOVREL.DLL が見つかりません。", MessageIcon::Stop);
    return nullptr;
  }
  auto entry = lib.Entry<HovrelFn>("Hovrel");
  if (!entry) {
    ctx.Ui().ShowMessage("関数 Hovrel が見つかりません。", MessageIcon::Stop);
    return nullptr;
  }
  // Registered before every call, so the library always reports to this view.
  if (auto setHost = lib.Entry<HovrelSetHostFn>("HovrelSetHost"))
    setHost(&HostMessage, &HostPassword, &ctx);
  return entry;
}

class PageSaveCommands : public CommandModule {
 public:
  PageSaveCommands(ViewContext& ctx, OpenEditorFn openEditor)
      : ctx_(ctx), openEditor_(std::move(openEditor)) {}

  void Register(CommandRouter& router) override {
    router.Add(kSaveHtml, CommandTarget::View, [this] { SaveWithDialog(' '); });
    router.Add(kSaveText, CommandTarget::View, [this] { SaveWithDialog('S'); });
    router.Add(kSavePage, CommandTarget::View, [this] { SavePage(); });
    router.Add(kViewSource, CommandTarget::View, [this] { ViewSource(); });
  }

 private:
  void SaveWithDialog(char option) {
    std::string address = CutSjis259(ctx_.AddressField());
    auto path = ctx_.Ui().ChooseFileToSave(kSaveFilter, "", "");
    if (!path) return;
    FetchToFile(ctx_, address, *path, option, ' ');
  }

  // The browser's own save of the page on show, with its resources.
  void SavePage() {
    std::string name = ctx_.Browser().CurrentTitle();
    for (char& c : name)
      if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
    if (name.empty()) name = "page";
    auto path =
        ctx_.Ui().ChooseFileToSave("HTML Files|*.htm;*.html|All Files|*.*||", name + ".html", "");
    if (!path) return;
    ctx_.Browser().SavePage(HostPath(*path));
  }

  void ViewSource() {
    std::string address = CutSjis259(ctx_.AddressField());
    // A failed download still opens the (empty) file; a library that could
    // not be bound or a file that could not be created ends the command.
    if (!FetchToFile(ctx_, address, kSourceFile, ' ', 'D')) return;
    char cwd[4096];
    std::string file = kSourceFile;
    if (getcwd(cwd, sizeof cwd)) file = std::string(cwd) + "/" + kSourceFile;
    openEditor_(file);  // a missing editor is not reported
  }

  ViewContext& ctx_;
  OpenEditorFn openEditor_;
};

}  // namespace

bool FetchToFile(ViewContext& ctx, const std::string& address, const std::string& target,
                 char option, char mode) {
  HovrelFn hovrel = BindHovrel(ctx);
  if (!hovrel) return false;
  std::string url = CutSjis259(address);
  if (mode == 'D') {
    // The library refuses a path longer than its working area with a message.
    std::vector<char> path(target.begin(), target.end());
    path.resize(std::max<size_t>(path.size() + 1, kSaveSize + 2), '\0');
    int result = hovrel(url.c_str(), ' ', ' ', 'D', path.data(), kSaveSize);
    // Only a file that could not be created (or written) gives 0; a failed
    // download has been reported by the library and left an empty file.
    if (result == 0) {
      ctx.SetStatusText("読み込み失敗");
      return false;
    }
    return true;
  }
  std::vector<char> text(kTextBuffer, '\0');
  hovrel(url.c_str(), static_cast<unsigned char>(option), ' ', ' ', text.data(), kTextSize);
  text[kTextBuffer - 1] = '\0';
  if (!WriteFileAtomically(target, std::string(text.data()))) {
    ctx.Ui().ShowMessage("ファイルの書き込みが失敗しました。(" + target + ")",
                         MessageIcon::Exclamation);
    return true;
  }
  ctx.Ui().ShowMessage("Hovrel complate", MessageIcon::Exclamation);
  return true;
}

std::unique_ptr<CommandModule> MakePageSaveCommands(ViewContext& ctx, OpenEditorFn openEditor) {
  return std::make_unique<PageSaveCommands>(ctx, std::move(openEditor));
}

std::unique_ptr<CommandModule> MakePageSaveCommands(ViewContext& ctx) {
  return MakePageSaveCommands(
      ctx, [](const std::string& hostPath) { return OpenInTextEditor(hostPath, Wait::No); });
}

}  // namespace mireva
