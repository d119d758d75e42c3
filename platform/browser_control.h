#pragma once
// The embedded browser as the view sees it: the operations it asks of the
// control and the page events it reacts to. The wx implementation wraps
// wxWebView (WebKitGTK); tests use platform/testing/fake_browser.h.
// Addresses are Shift_JIS in the program and converted at this boundary.
#include <functional>
#include <optional>
#include <string>

namespace mireva {

// Why a page could not be loaded.
enum class LoadFailure { HostNotFound, ConnectionRefused, TimedOut, FileNotFound, Other };

class BrowserEvents {
 public:
  virtual ~BrowserEvents() = default;
  virtual void OnBeforeNavigate(const std::string& address) = 0;
  virtual void OnTitleChange(const std::string& title) = 0;
  virtual void OnDocumentComplete(const std::string& address) = 0;
  virtual void OnStatusText(const std::string& text) = 0;
  // A page asks for a new window: the view opens it with the desktop browser.
  virtual void OnNewWindow(const std::string& address) = 0;
};

class BrowserControl {
 public:
  virtual ~BrowserControl() = default;
  virtual void SetEvents(BrowserEvents* events) = 0;
  virtual void Navigate(const std::string& address) = 0;
  virtual void GoBack() = 0;
  virtual void GoForward() = 0;
  virtual void Stop() = 0;
  virtual void GoHome() = 0;
  // Shows HTML of the program's own (the release page) under a base address.
  virtual void ShowOwnPage(const std::string& html, const std::string& baseAddress) = 0;
  // Prints on the default printer; false (and nothing printed) when the
  // desktop has no printer.
  virtual bool PrintWithoutDialog() = 0;
  // Loads the page on show again, asking the server (not a cache) for it.
  virtual void Reload() = 0;
  // The encoding pages are read in ("Shift_JIS", "EUC-JP", "ISO-2022-JP",
  // "UTF-8") whatever they declare; empty for automatic (the page's label,
  // else Shift_JIS). Setting it shows the page again; it holds for the pages
  // that follow until automatic is chosen again.
  virtual void SetPageEncoding(const std::string& name) = 0;
  virtual std::string PageEncoding() const = 0;
  // Text size 0 (smallest) to 4 (largest); 2 is standard. Absolute, not a step.
  virtual void SetTextSize(int size) = 0;
  virtual int TextSize() const = 0;
  // The browser's own save of the page on show (with its resources) to a file.
  virtual bool SavePage(const std::string& hostPath) = 0;
  virtual std::string CurrentAddress() const = 0;
  virtual std::string CurrentTitle() const = 0;
  // Asks for the bytes of the document on show, as its server sent them.
  // `done` is called once, later, on the window's thread: with the bytes, or
  // with an empty text when there is no document or it cannot be read. The
  // window and the caller go on meanwhile; `done` must check that what it
  // writes to still exists.
  virtual void RequestPageBytes(std::function<void(std::string bytes)> done) = 0;
  // Runs `script` (an expression) in the page on show as the view holds it
  // now, with its cookies and whatever scripts have built since it loaded,
  // and returns the expression's value as text; nothing when the script could
  // not run or threw. Waits for the answer.
  virtual std::optional<std::string> RunPageScript(const std::string& script) = 0;
  virtual void Cut() = 0;
  virtual void Copy() = 0;
  virtual void Paste() = 0;
  virtual bool CanCut() const = 0;
  virtual bool CanCopy() const = 0;
  virtual bool CanPaste() const = 0;
};

}  // namespace mireva
