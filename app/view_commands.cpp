#include "app/view_commands.h"

#include "core/command_ids.h"
#include "app/start_address.h"
#include "platform/process.h"
#include "platform/text_helpers.h"

namespace mireva {
namespace {

// Typed text is read as a browser reads it: the blanks around it are not part
// of it.
std::string Trimmed(const std::string& field) { return std::string(Trim(field, " ")); }

// File-open filter list of the open command.
constexpr const char* kOpenFilter =
    "HTML Files|*.htm;*.html|Text Files|*.txt|GIF Files|*.gif|JPEG Files|*.jpg;*.jpeg|"
    "AU Files|*.au|AIFF Files|*.aif;*.aiff|XBM Files|*.xbm|All Files|*.*||";

class ViewCommands : public CommandModule {
 public:
  ViewCommands(ViewContext& ctx, Clipboard& clipboard, OwnPages pages)
      : ctx_(ctx), clipboard_(clipboard), pages_(std::move(pages)) {}

  void Register(CommandRouter& r) override {
    using T = CommandTarget;
    BrowserControl& b = ctx_.Browser();
    r.Add(kCmdBack, T::View, [&b] { b.GoBack(); });
    r.Add(kCmdForward, T::View, [&b] { b.GoForward(); });
    r.Add(kCmdStop, T::View, [this] {
      ctx_.Browser().Stop();
      ctx_.UserStopped();
    });
    r.Add(kCmdReload, T::View, [&b] { b.Reload(); });
    r.Add(kCmdGo, T::View, [this] { Go(); });
    for (int id = kCmdEncodingAuto; id <= kCmdEncodingUtf8; ++id)
      if (const char* name = EncodingOfCommand(id)) r.Add(id, T::View, [&b, name] { b.SetPageEncoding(name); });
    r.Add(kCmdPasteAddress, T::View, [this] { PasteAddress(ctx_, clipboard_); });
    r.Add(kCmdFileOpen, T::View, [this] { OpenFile(); });
    r.Add(kCmdPrint, T::View, [this] {
      if (!ctx_.Browser().PrintWithoutDialog())
        ctx_.Ui().ShowMessage("プリンタが見つからないため印刷できません。\n"
                              "デスクトップの設定でプリンタを追加してから、もう一度印刷してください。",
                              MessageIcon::Exclamation);
    });
    // Absolute sizes, not steps: "larger" always means size 3.
    const int sizes[] = {4, 3, 2, 1, 0};
    for (int i = 0; i < 5; ++i) {
      int size = sizes[i];
      r.Add(kCmdLargestFont + i, T::View, [&b, size] { b.SetTextSize(size); });
    }
    r.Add(kCmdReleaseNotes, T::View, [this] { ctx_.Browser().ShowOwnPage(pages_.releaseHtml, pages_.releaseBase); });
    r.Add(kCmdHomePage, T::View, [this] { ctx_.Browser().Navigate(pages_.homeAddress); });
    r.Add(kCmdEditCopy, T::View, [&b] { b.Copy(); }, [&b] { return b.CanCopy(); });
    r.Add(kCmdEditCut, T::View, [&b] { b.Cut(); }, [&b] { return b.CanCut(); });
    r.Add(kCmdEditPaste, T::View, [&b] { b.Paste(); }, [&b] { return b.CanPaste(); });
  }

 private:
  void OpenFile() {
    auto path = ctx_.Ui().ChooseFileToOpen(kOpenFilter, "");
    if (path) ctx_.Browser().Navigate(*path);
  }

  // "example.jp/x.html" is a web address; words that can name no host
  // ("こんにちは 世界") are not sent anywhere, the user is told instead.
  void Go() {
    const std::string typed = Trimmed(ctx_.AddressField());
    if (typed.empty()) return;
    const std::string address = CompleteAddress(typed, ".");
    if (address != typed && IsWebAddress(address) && !CanBeWebAddress(typed)) {
      ctx_.Ui().ShowMessage("「" + typed + "」はアドレスではないため開けません。\n"
                            "「www.example.jp」や「https://www.example.jp/」のように入力してください。",
                            MessageIcon::Exclamation);
      return;
    }
    ctx_.Browser().Navigate(address);
  }

  ViewContext& ctx_;
  Clipboard& clipboard_;
  OwnPages pages_;
};

class ControlPanelCommands : public CommandModule {
 public:
  explicit ControlPanelCommands(Interaction& ui) : ui_(ui) {}
  void Register(CommandRouter& r) override {
    for (int id : {kCmdDialUpSettings, kCmdInternetSettings, kCmdModemSettings}) r.Add(id, CommandTarget::Frame, [this, id] { Open(id); });
  }

 private:
  void Open(int id) {
    for (const auto& argv : SettingsToolsFor(id)) {
      if (FindProgram(argv[0]).empty()) continue;
      if (StartProgram(argv, Wait::No)) return;
    }
    ui_.ShowMessage("CPlApplet　の起動に失敗しました。", MessageIcon::Exclamation);
  }
  Interaction& ui_;
};

}  // namespace

void PasteAddress(ViewContext& ctx, Clipboard& clipboard) {
  std::string text = clipboard.Text();
  if (text.empty()) return;
  ctx.SetAddressField(CutSjis(text, kAddressCapacity - 1));
  clipboard.Clear();
}

const char* EncodingOfCommand(int command) {
  switch (command) {
    case kCmdEncodingAuto: return "";
    case kCmdEncodingShiftJis: return "Shift_JIS";
    case kCmdEncodingEucJp: return "EUC-JP";
    case kCmdEncodingIso2022Jp: return "ISO-2022-JP";
    case kCmdEncodingUtf8: return "UTF-8";
    default: return nullptr;
  }
}

std::string LoadFailurePage(const std::string& address, LoadFailure reason) {
  const char* why = "ページを読み込めませんでした。";
  switch (reason) {
    case LoadFailure::HostNotFound: why = "ホストが見つかりません。アドレスの綴りとネットワークの接続を確かめてください。"; break;
    case LoadFailure::ConnectionRefused: why = "サーバーに接続できません。サーバーが止まっているか、アドレスのポートが違います。"; break;
    case LoadFailure::TimedOut: why = "サーバーが時間内に応答しませんでした。"; break;
    case LoadFailure::FileNotFound: why = "ファイルが見つかりません。"; break;
    case LoadFailure::Other: break;
  }
  const std::string a = EscapeHtml(address);
  return "<!DOCTYPE html><html lang=\"ja\"><head><meta charset=\"Shift_JIS\">"
         "<title>ページを表示できません</title>"
         "<style>body{font-family:sans-serif;margin:3em;line-height:1.6}"
         "code{word-break:break-all}</style></head><body>"
         "<h1>ページを表示できません</h1><p><code>" + a + "</code></p><p>" + why +
         "</p><p><a href=\"" + a + "\">もう一度読み込む</a></p></body></html>";
}

std::vector<std::vector<std::string>> SettingsToolsFor(int command) {
  switch (command) {
    case 404:  // internet: proxy settings first
      return {{"gnome-control-center", "network"}, {"systemsettings", "kcm_proxy"},
              {"nm-connection-editor"}};
    case 403:  // dial-up connections
    case 405:  // modems
    default:
      return {{"nm-connection-editor"}, {"gnome-control-center", "network"},
              {"systemsettings", "kcm_networkmanagement"}};
  }
}

std::unique_ptr<CommandModule> MakeViewCommands(ViewContext& ctx, Clipboard& clipboard,
                                                OwnPages pages) {
  return std::make_unique<ViewCommands>(ctx, clipboard, std::move(pages));
}

std::unique_ptr<CommandModule> MakeControlPanelCommands(Interaction& ui) {
  return std::make_unique<ControlPanelCommands>(ui);
}

}  // namespace mireva
