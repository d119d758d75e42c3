#pragma once
// What the browser view offers the command handlers of every subsystem: the
// address field (the record of the current page), the browser, the user
// interaction, the status bar, the run-time libraries and the page events.
// The wx view implements it; tests use a fake. Texts are Shift_JIS.
#include <functional>
#include <string>
#include <vector>

#include "platform/browser_control.h"
#include "platform/interaction.h"

namespace mireva {

class DownloadEngine;

class ViewContext {
 public:
  virtual ~ViewContext() = default;
  virtual std::string AddressField() const = 0;
  virtual void SetAddressField(const std::string& address) = 0;
  virtual BrowserControl& Browser() = 0;
  virtual Interaction& Ui() = 0;
  // The status bar's message pane.
  virtual void SetStatusText(const std::string& text) = 0;
  // The view's binding of the run-time libraries, alive as long as the view.
  virtual DownloadEngine& Engine() = 0;
  // Called after the view has written the address of a completed document
  // into the address field (the patrol continues from here).
  virtual void AddDocumentCompleteHook(std::function<void(const std::string& address)> hook) = 0;
  // Sets the main frame's mosaic-collection flag (idle cache move).
  virtual void SetMosaicCollection() = 0;
  // Lets pending window events run during long work (progress, repaint).
  virtual void KeepAlive() = 0;
  // The addresses (Shift_JIS) of resources the page on show loaded that the
  // view keeps no bytes of (audio, video, script fetches) and whose type is
  // collected now, each once; taken, so the next call starts afresh. A patrol
  // hands them to the engine when the page has shown.
  virtual std::vector<std::string> TakePageMedia() { return {}; }
  // Calls `fn` once on the window's thread after `ms` milliseconds (unless the
  // view is gone by then). Nothing cancels it: `fn` checks whether it is
  // still wanted.
  virtual void CallLater(unsigned ms, std::function<void()> fn) = 0;

  // Called when the user stops the page load (Stop, Esc): a patrol ends there.
  void AddStopHook(std::function<void()> hook) { stopHooks_.push_back(std::move(hook)); }
  void UserStopped() {
    auto hooks = stopHooks_;  // copied: a hook may add hooks
    for (auto& hook : hooks) hook();
  }

 private:
  std::vector<std::function<void()>> stopHooks_;
};

}  // namespace mireva
