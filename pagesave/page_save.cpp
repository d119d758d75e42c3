#include "pagesave/page_save.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/runtime/hovrel_api.h"
#include "core/runtime/download_engine.h"
#include "platform/file_util.h"
#include "platform/process.h"
#include "platform/text_encoding.h"
#include "platform/text_helpers.h"

namespace mireva {
namespace {

constexpr int kSaveHtml = 400;
constexpr int kSaveText = 401;
constexpr int kSavePage = 402;
constexpr int kViewSource = 801;
constexpr int kFileSave = 57603;

constexpr unsigned kSaveSize = kMaxPath;  // save mode: the path's working area

// String 1201, the save dialog's filters.
const char kSaveFilter[] =
    "HTML Files|*.htm;*.html|Text Files|*.txt|GIF Files|*.gif|JPEG Files|*.jpg;*.jpeg|"
    "AU Files|*.au|AIFF Files|*.aif;*.aiff|XBM Files|*.xbm|All Files|*.*||";
const char kSourceFile[] = "temp.html";
// The browser's own save writes a web archive (MHTML), not plain HTML.
const char kArchiveFilter[] = "MHTML Files|*.mhtml;*.mht|All Files|*.*||";
const char kArchiveExtension[] = "mhtml";

const char kShiftJisMeta[] =
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">";
// Browsers settle a page's encoding from a declaration within its first
// 1024 bytes; a declaration further on may come too late.
constexpr size_t kDeclarationReach = 1024;

// A tag as the charset declarations need it: its lower-case name, where it
// begins and ends (one past ">"), and its attributes with the spans of their
// values (inside the quotes when quoted). Tag syntax is all ASCII below 0x40
// ("<", ">", "=", quotes, blanks), which is never the second byte of a
// Shift_JIS character, so the bytes can be scanned as they are.
struct TagAttribute {
  std::string name;  // lower case
  size_t valueBegin = 0;
  size_t valueEnd = 0;
  bool quoted = false;
};
struct Tag {
  std::string name;
  size_t begin = 0;
  size_t end = 0;
  std::vector<TagAttribute> attributes;
  const TagAttribute* Find(std::string_view attribute) const {
    for (const TagAttribute& a : attributes)
      if (a.name == attribute) return &a;
    return nullptr;
  }
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// The start tags of a page in order, comments skipped. A tag cut off by the end
// of the text ends the list.
std::vector<Tag> ScanTags(const std::string& html) {
  std::vector<Tag> tags;
  size_t i = 0;
  while ((i = html.find('<', i)) != std::string::npos) {
    if (html.compare(i, 4, "<!--") == 0) {
      size_t close = html.find("-->", i + 4);
      if (close == std::string::npos) break;
      i = close + 3;
      continue;
    }
    size_t p = i + 1;
    while (p < html.size() && !IsSpace(html[p]) && html[p] != '/' && html[p] != '>') ++p;
    if (p == i + 1) {  // "< " in text, or an end tag
      ++i;
      continue;
    }
    Tag tag;
    tag.name = Lower(std::string_view(html).substr(i + 1, p - i - 1));
    tag.begin = i;
    bool closed = false;
    while (p < html.size()) {
      while (p < html.size() && (IsSpace(html[p]) || html[p] == '/')) ++p;
      if (p >= html.size()) break;
      if (html[p] == '>') {
        closed = true;
        ++p;
        break;
      }
      size_t nameBegin = p;
      while (p < html.size() && !IsSpace(html[p]) && html[p] != '=' && html[p] != '>' &&
             html[p] != '/')
        ++p;
      TagAttribute attribute;
      attribute.name = Lower(std::string_view(html).substr(nameBegin, p - nameBegin));
      size_t q = p;
      while (q < html.size() && IsSpace(html[q])) ++q;
      if (q < html.size() && html[q] == '=') {
        ++q;
        while (q < html.size() && IsSpace(html[q])) ++q;
        if (q < html.size() && (html[q] == '"' || html[q] == '\'')) {
          size_t close = html.find(html[q], q + 1);
          if (close == std::string::npos) break;  // runs to the end: no tag
          attribute.valueBegin = q + 1;
          attribute.valueEnd = close;
          attribute.quoted = true;
          p = close + 1;
        } else {
          size_t end = q;
          while (end < html.size() && !IsSpace(html[end]) && html[end] != '>') ++end;
          attribute.valueBegin = q;
          attribute.valueEnd = end;
          p = end;
        }
      } else {
        attribute.valueBegin = attribute.valueEnd = p;
      }
      tag.attributes.push_back(std::move(attribute));
    }
    if (!closed) break;
    tag.end = p;
    i = p;
    tags.push_back(std::move(tag));
  }
  return tags;
}

// The library's messages and password prompt, shown by the view. Called
// from inside the library: nothing may be thrown back through it.
// Messages the library has shown; it shows one for every failed download,
// which is how a text-mode call tells a failure from an empty page.
thread_local unsigned gLibraryMessages = 0;

// The library runs on the engine's worker (RunLibraryCall); what it shows or
// asks is done on the window's thread.
void MIREVA_STDCALL HostMessage(void* user, const char* text) {
  try {
    auto* ctx = static_cast<ViewContext*>(user);
    ctx->Engine().OnCallingThread([ctx, text] {
      ++gLibraryMessages;
      ctx->Ui().ShowMessage(text, MessageIcon::Exclamation);
    });
  } catch (...) {
  }
}

int MIREVA_STDCALL HostPassword(void* user, const char* site, const char* realm, char* name,
                                unsigned nameCapacity, char* password, unsigned passwordCapacity) {
  try {
    auto* ctx = static_cast<ViewContext*>(user);
    std::optional<Credentials> login;
    ctx->Engine().OnCallingThread([&] { login = ctx->Ui().AskPassword(site, realm); });
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
  if (!lib.IsOpen() && lib.Open("Hovrel", ctx.Engine().LibraryFolder())) {
    // Registered once, when the library is loaded: a call may be running on
    // the worker whenever this is reached again, and it reads them.
    if (auto setHost = lib.Entry<HovrelSetHostFn>("HovrelSetHost"))
      setHost(&HostMessage, &HostPassword, &ctx);
  }
  if (!lib.IsOpen()) {
    ctx.Ui().ShowMessage("HOVREL.DLL が見つかりません。", MessageIcon::Stop);
    return nullptr;
  }
  auto entry = lib.Entry<HovrelFn>("Hovrel");
  if (!entry) {
    ctx.Ui().ShowMessage("関数 Hovrel が見つかりません。", MessageIcon::Stop);
    return nullptr;
  }
  return entry;
}

// What a command does to the fetched text before it is written.
using TextTransform = std::function<std::string(const std::string&)>;

// Text mode of FetchToFile, with the text passed through `transform`; binds
// the library unless `hovrel` is given. False when it could not be bound.
bool FetchTextToFile(ViewContext& ctx, const std::string& address, const std::string& target,
                     PageMarkup markup, const TextTransform& transform,
                     HovrelFn hovrel = nullptr) {
  if (!hovrel) hovrel = BindHovrel(ctx);
  if (!hovrel) return false;
  std::string url = CutSjis(address, kMaxPath - 1);
  const int option = markup == PageMarkup::Strip ? 'S' : ' ';
  const unsigned messagesBefore = gLibraryMessages;
  // The library reads at most `size` page bytes and says when it read that
  // many: the page is fetched again into a larger area until it fits. Most
  // pages fit the first area; a page of 12 MB takes two fetches.
  std::vector<char> text;
  unsigned size = kTextFirstSize;
  int result = 0;
  for (;;) {
    text.assign(static_cast<size_t>(size) + 2, '\0');
    // Refused while the engine works: the engine has said so.
    if (ctx.Engine().RunLibraryCall([&] {
          result = hovrel(url.c_str(), option, ' ', ' ', text.data(), size);
        }) != CallStatus::Done)
      return true;
    if (result != HOVREL_TEXT_FULL || size >= kTextSaveLimit ||
        gLibraryMessages != messagesBefore)
      break;
    size = size > kTextSaveLimit / kTextGrowth ? kTextSaveLimit : size * kTextGrowth;
  }
  text.back() = '\0';
  // A failed download (reported by the library) leaves the file the user
  // chose as it was, instead of emptying it.
  if (gLibraryMessages != messagesBefore && text[0] == '\0') {
    ctx.Ui().ShowMessage("Hovrel complate", MessageIcon::Exclamation);
    return true;
  }
  std::string data(text.data());
  text = std::vector<char>();
  if (transform) data = transform(data);
  if (!WriteFileAtomically(target, data)) {
    ctx.Ui().ShowMessage("ファイルの書き込みが失敗しました。(" + target + ")",
                         MessageIcon::Exclamation);
    return true;
  }
  if (result == HOVREL_TEXT_FULL) {
    const std::string limit = std::to_string(kTextSaveLimit >> 20) + " MB";
    ctx.Ui().ShowMessage("ページが " + limit + " を超えるため、先頭の " + limit +
                             " だけを保存しました。(" + target + ")",
                         MessageIcon::Exclamation);
    return true;
  }
  ctx.Ui().ShowMessage("Hovrel complate", MessageIcon::Exclamation);
  return true;
}

class PageSaveCommands : public CommandModule {
 public:
  PageSaveCommands(ViewContext& ctx, OpenEditorFn openEditor)
      : ctx_(ctx), openEditor_(std::move(openEditor)) {}

  void Register(CommandRouter& router) override {
    // The commands that call the page-fetch library wait for the running call.
    auto idle = [this] { return ctx_.Engine().Available(); };
    router.Add(kSaveHtml, CommandTarget::View, [this] { SaveWithDialog(PageMarkup::Keep); }, idle);
    router.Add(kSaveText, CommandTarget::View, [this] { SaveWithDialog(PageMarkup::Strip); }, idle);
    router.Add(kFileSave, CommandTarget::View, [this] { SaveAgain(); }, idle);
    router.Add(kSavePage, CommandTarget::View, [this] { SavePage(); });
    router.Add(kViewSource, CommandTarget::View, [this] { ViewSource(); }, idle);
  }

 private:
  void SaveWithDialog(PageMarkup markup) {
    std::string address = CutSjis(ctx_.AddressField(), kMaxPath - 1);
    auto path = ctx_.Ui().ChooseFileToSave(kSaveFilter, "", "");
    if (!path) return;
    if (markup == PageMarkup::Keep) {
      savedAddress_ = address;
      savedPath_ = *path;
    }
    // The HTML keeps its markup, so it must also say how it is encoded.
    FetchTextToFile(ctx_, address, *path, markup,
                    markup == PageMarkup::Strip ? TextTransform() : TextTransform(&DeclareShiftJis));
  }

  // 上書き保存: the page saved again where 保存(html) or this command last put
  // it; a page not saved from this window yet asks for a name first.
  void SaveAgain() {
    std::string address = CutSjis(ctx_.AddressField(), kMaxPath - 1);
    if (address.empty()) return;
    if (address != savedAddress_ || savedPath_.empty()) return SaveWithDialog(PageMarkup::Keep);
    FetchTextToFile(ctx_, address, savedPath_, PageMarkup::Keep, TextTransform(&DeclareShiftJis));
  }

  // The browser's own save of the page on show, with its resources.
  void SavePage() {
    auto path = ctx_.Ui().ChooseFileToSave(
        kArchiveFilter, SavePageFileName(ctx_.Browser().CurrentTitle()), kArchiveExtension);
    if (!path) return;
    ctx_.Browser().SavePage(HostPath(*path));
  }

  void ViewSource() {
    std::string address = CutSjis(ctx_.AddressField(), kMaxPath - 1);
    // The instance's own working file, so that a second window's source view
    // never replaces the page this one's editor is about to open. A failed
    // download still opens the file (as it was before); a library that could
    // not be bound or a file that could not be created ends the command.
    const std::string source = InstanceFileName(kSourceFile);
    if (!FetchToFile(ctx_, address, source, PageMarkup::Keep, FetchMode::SaveFile)) return;
    char cwd[4096];
    std::string file = HostPath(source);
    if (getcwd(cwd, sizeof cwd)) file = std::string(cwd) + "/" + file;
    if (!openEditor_(file)) {
      std::string tried;
      for (const std::string& program : TextEditorsTried())
        tried += (tried.empty() ? "" : "、") + Utf8ToSjis(program);
      ctx_.Ui().ShowMessage(
          "ソースを表示するテキストエディタが見つかりません。(試したもの: " + tried + ")",
          MessageIcon::Exclamation);
    }
  }

  ViewContext& ctx_;
  OpenEditorFn openEditor_;
  // Where 保存(html) or 上書き保存 last saved which page.
  std::string savedAddress_;
  std::string savedPath_;
};

}  // namespace

std::string DeclareShiftJis(const std::string& html) {
  if (html.empty()) return html;
  struct Edit {
    size_t begin;
    size_t end;
    std::string text;
  };
  std::vector<Edit> edits;
  size_t firstDeclaration = std::string::npos;
  // Where a declaration goes when one is needed: after the first <head>, else
  // the first <html>, else the doctype or XML declaration, else the start.
  size_t insertAt = 0;
  int insertRank = 0;
  const std::vector<Tag> tags = ScanTags(html);
  for (const Tag& tag : tags) {
    if (tag.name == "meta") {
      if (const TagAttribute* charset = tag.Find("charset")) {
        edits.push_back({charset->valueBegin, charset->valueEnd, "Shift_JIS"});
      } else {
        const TagAttribute* equiv = tag.Find("http-equiv");
        const TagAttribute* content = tag.Find("content");
        if (!equiv || !content ||
            Lower(std::string_view(html).substr(
                equiv->valueBegin, equiv->valueEnd - equiv->valueBegin)) != "content-type")
          continue;
        edits.push_back({content->valueBegin, content->valueEnd,
                         content->quoted ? "text/html; charset=Shift_JIS"
                                         : "\"text/html; charset=Shift_JIS\""});
      }
      firstDeclaration = std::min(firstDeclaration, tag.begin);
    } else if (tag.name == "?xml") {
      // An XHTML page's XML declaration names an encoding too.
      if (const TagAttribute* encoding = tag.Find("encoding"))
        edits.push_back({encoding->valueBegin, encoding->valueEnd, "Shift_JIS"});
      if (insertRank <= 1) {
        insertAt = tag.end;
        insertRank = 1;
      }
    } else if (tag.name == "!doctype") {
      if (insertRank <= 1) {
        insertAt = tag.end;
        insertRank = 1;
      }
    } else if (tag.name == "html") {
      if (insertRank < 2) {
        insertAt = tag.end;
        insertRank = 2;
      }
    } else if (tag.name == "head") {
      if (insertRank < 3) {
        insertAt = tag.end;
        insertRank = 3;
      }
    }
  }
  if (firstDeclaration == std::string::npos || firstDeclaration >= kDeclarationReach)
    edits.push_back({insertAt, insertAt, kShiftJisMeta});
  // Applied from the end, so earlier positions stay valid.
  std::stable_sort(edits.begin(), edits.end(),
                   [](const Edit& a, const Edit& b) { return a.begin > b.begin; });
  std::string out = html;
  for (const Edit& e : edits) out.replace(e.begin, e.end - e.begin, e.text);
  return out;
}

std::string SavePageFileName(const std::string& title) {
  std::string name;
  for (size_t i = 0; i < title.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(title[i]);
    if (IsSjisLead(c)) {
      if (i + 1 >= title.size()) break;  // half a character at the end
      name += title.substr(i, 2);
      ++i;
    } else if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) {
      name += '_';
    } else {
      name += static_cast<char>(c);
    }
  }
  if (name.empty()) name = "page";
  return name + "." + kArchiveExtension;
}

bool FetchToFile(ViewContext& ctx, const std::string& address, const std::string& target,
                 PageMarkup markup, FetchMode mode) {
  HovrelFn hovrel = BindHovrel(ctx);
  if (!hovrel) return false;
  std::string url = CutSjis(address, kMaxPath - 1);
  if (mode == FetchMode::SaveFile) {
    // The library refuses a path longer than its working area with a message.
    std::vector<char> path(target.begin(), target.end());
    path.resize(std::max<size_t>(path.size() + 1, kSaveSize + 2), '\0');
    int result = 0;
    if (ctx.Engine().RunLibraryCall(
            [&] { result = hovrel(url.c_str(), ' ', ' ', 'D', path.data(), kSaveSize); }) !=
        CallStatus::Done)
      return false;  // refused while the engine works (it has said so)
    // Only a file that could not be created (or written) gives 0; a failed
    // download has been reported by the library and left an empty file.
    if (result == 0) {
      ctx.SetStatusText("読み込み失敗");
      return false;
    }
    return true;
  }
  return FetchTextToFile(ctx, url, target, markup, TextTransform(), hovrel);
}

std::unique_ptr<CommandModule> MakePageSaveCommands(ViewContext& ctx, OpenEditorFn openEditor) {
  return std::make_unique<PageSaveCommands>(ctx, std::move(openEditor));
}

std::unique_ptr<CommandModule> MakePageSaveCommands(ViewContext& ctx) {
  return MakePageSaveCommands(
      ctx, [](const std::string& hostPath) { return OpenInTextEditor(hostPath, Wait::No); });
}

}  // namespace mireva
