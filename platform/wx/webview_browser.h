#pragma once
// BrowserControl on wxWebView with its WebKitGTK backend. Page events of the
// web view are handed to the BrowserEvents listener:
//   navigating -> OnBeforeNavigate, title changed -> OnTitleChange,
//   loaded (also after a failed load, so a patrol never stalls on a dead page;
//   not after a load that was cancelled by the next one) -> OnDocumentComplete,
//   new window -> OnNewWindow, the link under the mouse -> OnStatusText.
// Addresses that are absolute file paths ("/home/..", also with extra leading
// slashes, as the start-address rule leaves them) are opened as file: URLs.
#include <functional>

#include <wx/webview.h>

#include "platform/browser_control.h"

namespace mireva {

class WebViewBrowser : public BrowserControl, public wxEvtHandler {
 public:
  // Prepares WebKit's default context before the first view exists: cookies
  // kept as a Mozilla-format text file in `cacheFolder`/cookies.txt (the
  // download engine reads it), the web cache under `cacheFolder`.
  static void ConfigureWebContext(const std::string& cacheFolder);

  explicit WebViewBrowser(wxWindow* parent);
  ~WebViewBrowser() override;

  wxWebView* Window() const { return view_; }
  // Whether a page is loading now.
  bool IsLoading() const;
  void SetHomeAddress(const std::string& address) { home_ = address; }

  void SetEvents(BrowserEvents* events) override { events_ = events; }
  void Navigate(const std::string& address) override;
  void GoBack() override;
  void GoForward() override;
  void Stop() override;
  void GoHome() override;
  void ShowOwnPage(const std::string& html, const std::string& baseAddress) override;
  bool PrintWithoutDialog() override;
  void Reload() override;
  void SetPageEncoding(const std::string& name) override;
  std::string PageEncoding() const override;
  // Gives the page shown in place of a page that failed to load: `page`
  // returns its HTML (Shift_JIS) for the address and the reason.
  void SetFailurePage(std::function<std::string(const std::string& address, LoadFailure reason)> page) {
    failurePage_ = std::move(page);
  }
  void SetTextSize(int size) override;
  int TextSize() const override;
  bool SavePage(const std::string& hostPath) override;
  std::string CurrentAddress() const override;
  std::string CurrentTitle() const override;
  void RequestPageBytes(std::function<void(std::string)> done) override;
  std::optional<std::string> RunPageScript(const std::string& script) override;
  void Cut() override;
  void Copy() override;
  void Paste() override;
  bool CanCut() const override;
  bool CanCopy() const override;
  bool CanPaste() const override;

  // "/x" and "///x" -> "file:///x"; anything else unchanged (UTF-8 in and out).
  static std::string HostAddress(const std::string& utf8Address);

 private:
  void OnNavigating(wxWebViewEvent& e);
  void OnLoaded(wxWebViewEvent& e);
  void OnError(wxWebViewEvent& e);
  void OnTitle(wxWebViewEvent& e);
  void OnNewWindow(wxWebViewEvent& e);

  wxWebView* view_ = nullptr;
  BrowserEvents* events_ = nullptr;
  std::string home_ = "about:blank";
  bool skipNextLoaded_ = false;
  // Loads in progress when we began another (or stopped): each ends in an
  // error and a "loaded" event that is no completed document.
  int superseded_ = 0;
  void Superseding();
  // The web view loads a blank page of its own when made; events count only
  // from our first navigation on.
  bool started_ = false;
  std::string requested_;  // the last address we asked for (UTF-8)
  std::function<std::string(const std::string&, LoadFailure)> failurePage_;
  static int OnLoadFailed(void* view, int event, const char* uri, void* error, void* self);
};

}  // namespace mireva
