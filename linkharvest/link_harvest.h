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
#include "core/runtime/download_engine.h"
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

// How an engine command ended, as its progress view shows it.
struct EngineEnd {
  // "ダウンロード終了: 保存 3、失敗 1" and the like; empty when there is
  // nothing to show (the call was refused or the engine is missing, and a
  // message said so): the view closes.
  std::string summary;
  // Where the files went (an absolute Shift_JIS path, empty when none), for
  // the user to open.
  std::string folder;
  // One line per file that was not saved: failed with its reason, or skipped.
  std::vector<std::string> details;
  // The bar at the end: files saved of the files the call tried to fetch.
  size_t saved = 0;
  size_t tried = 0;
  // Set when files were skipped as already fetched: fetches them again,
  // forgetting them in the history first.
  std::function<void()> fetchAgain;
};

// The words of an ended call (Shift_JIS).
EngineEnd DescribeEngineEnd(const CallResult& result);

// The engine's progress with a cancel button, and at the end what was done
// and where the files went.
class EngineProgressView {
 public:
  virtual ~EngineProgressView() = default;
  virtual void Begin(const std::string& title) = 0;
  // The engine's text; `done` of `total` files, total 0 while the count is
  // unknown. True when the user has pressed cancel.
  virtual bool Update(const std::string& text, size_t done, size_t total) = 0;
  // The engine call is over.
  virtual void End(const EngineEnd& end) = 0;
};

// Fetches `address` into the file `target` (save mode). False when it was
// not fetched and the fetcher has said why (or was refused while the engine
// works).
using PageSaver = std::function<bool(const std::string& address, const std::string& target)>;

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
  // Shows the progress window around one engine call (`call` gets the hooks
  // to pass), then what the call did. `again` runs the command once more.
  void WithEngine(const std::string& title,
                  const std::function<CallResult(const CallHooks&)>& call,
                  const std::function<void()>& again);
  // Runs the link command `id` on `target` (a page or a frame).
  void DownloadLinks(int id, const std::string& target);

  ViewContext& ctx_;
  std::unique_ptr<FrameChooser> chooser_;
  std::unique_ptr<EngineProgressView> progress_;
  PageSaver saver_;
};

}  // namespace mireva
