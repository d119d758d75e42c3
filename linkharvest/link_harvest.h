#pragma once
// The link commands of the menus "ダウンロード" and "オプション" (2102-2108, 2110,
// 2113) and "Cache files" (2112). A link command fetches the page of the
// address field into "temp.html" (this instance's own, InstanceFileName)
// through the page-fetch library, looks for a
// frameset (then the user picks a frame to open or to analyse in the
// frame-analysis dialog) and hands the address to the download engine's "DLoad" with the
// command's kind code. While the engine works, its progress (files done of
// all) is shown with a cancel button and the window is kept alive; at the end
// the progress view says what was done and where the files went.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/command_router.h"
#include "core/download_engine.h"
#include "core/view_context.h"

namespace mireva {

inline constexpr size_t kMaxFrameTags = 10;
// A frame tag as the dialog lists it: at most 259 bytes (its 260-byte entry).
inline constexpr size_t kFrameEntryBytes = 259;

enum class FrameAction { None, Go, Analyse };
struct FrameChoice {
  FrameAction action = FrameAction::None;
  size_t index = 0;
};

// The frame-analysis dialog (template 133, "フレーム解析").
class FrameChooser {
 public:
  virtual ~FrameChooser() = default;
  // Lists the tags (the first one selected) and returns the user's choice;
  // None for cancel, Escape or Enter.
  virtual FrameChoice Choose(const std::vector<std::string>& tags) = 0;
};

// The engine's progress with a cancel button, and at the end what was done
// and where the files went.
class EngineProgressView {
 public:
  virtual ~EngineProgressView() = default;
  virtual void Begin(const std::string& title) = 0;
  // The engine's text; `done` of `total` files, total 0 while the count is
  // unknown. True when the user has pressed cancel.
  virtual bool Update(const std::string& text, size_t done, size_t total) = 0;
  // The engine call is over. `summary` is the engine's last word, such as
  // "ダウンロード終了 3"; empty when it ended without one (nothing to show: the
  // view closes). `folder` is where the files went (an absolute Shift_JIS
  // path, empty when unknown), for the user to open.
  virtual void End(const std::string& summary, const std::string& folder) = 0;
};

// The folder under the working folder where the engine puts the files of a
// page's links: "DownLoad/<host>" (the host in lower case), "DownLoad" when the
// address has no host.
std::string DownloadFolderFor(const std::string& address);

// Fetches `address` into the file `target` (save mode); failures are the
// fetcher's to report.
using PageSaver = std::function<void(const std::string& address, const std::string& target)>;

// The frame tags of a page: nothing when the page has no "<frameset" (or
// "<FRAMESET"); otherwise up to ten "<frame " / "<FRAME " tags from the
// frameset to its closing tag (or the end of the text), each from "<" through
// ">" (a tag without ">" runs to the end of the text, at most 4096 bytes).
std::optional<std::vector<std::string>> CollectFrameTags(const std::string& page);
// The tag as listed in the dialog: cut to its entry without splitting a character.
std::string FrameEntryText(const std::string& tag);
// The value of the tag's "src"/"SRC" attribute: double-quoted, single-quoted or
// bare, blanks around "=" allowed. Empty when there is none.
std::string FrameSource(const std::string& tag);
// The frame's address: `source` resolved against the page (absolute, rooted and
// relative sources alike). A page address that cannot be parsed keeps its
// directory part followed by the source.
std::string FrameAddress(const std::string& page, const std::string& source);
// The kind code the engine receives for a link command, or 0 for other ids.
char LinkCommandCode(int id);

class LinkHarvestCommands : public CommandModule {
 public:
  LinkHarvestCommands(ViewContext& ctx, std::unique_ptr<FrameChooser> chooser,
                      std::unique_ptr<EngineProgressView> progress, PageSaver saver);
  void Register(CommandRouter& router) override;

  void RunLinkCommand(int id);
  void RunCacheFiles();

 private:
  // The engine's callbacks (user = this module, which lives as long as the
  // view and so as long as the engine binding).
  static int EngineProgress(void* user, const char* text, long long done, long long total);
  static void EngineMessage(void* user, const char* text);
  // Shows the progress window around one engine call, then the engine's last
  // word and `folder` (relative to the working folder) when it exists.
  template <typename Call>
  void WithEngine(const std::string& title, const std::string& folder, Call call);

  ViewContext& ctx_;
  std::unique_ptr<FrameChooser> chooser_;
  std::unique_ptr<EngineProgressView> progress_;
  PageSaver saver_;
  bool engineWorking_ = false;
  // The engine's last progress text of the current call.
  std::string lastText_;
};

}  // namespace mireva
