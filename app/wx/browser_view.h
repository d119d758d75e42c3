#pragma once
// The single view of the main window: hosts the web view, reacts to its page
// events, keeps the address field current and hands every command of the page
// (navigation, saving, harvesting, patrols, collectors) to the subsystem
// modules that registered with the command router.
#include <functional>
#include <list>
#include <memory>
#include <vector>

#include <wx/panel.h>
#include <wx/timer.h>

#include "core/command_router.h"
#include "app/view_commands.h"
#include "core/view_context.h"
#include "core/runtime/download_engine.h"
#include "platform/wx/resource_tap.h"
#include "platform/wx/webview_browser.h"
#include "app/wx/call_runner.h"
#include "app/wx/console_interaction.h"

namespace mireva {

class MainFrame;
namespace tollick {
class SpoolWriter;
}

class BrowserView : public wxPanel, public ViewContext, public BrowserEvents {
 public:
  BrowserView(wxWindow* parent, MainFrame* frame, CommandRouter& router);
  ~BrowserView() override;

  // First update: the start address, or the browser's home page when empty.
  void InitialUpdate(const std::string& startAddress);
  WebViewBrowser& Web() { return *browser_; }
  // Whether a patrol runs (false when the patrol module is absent).
  bool PatrolRunning() const { return patrolRunning_ && patrolRunning_(); }
  // The last patrol's summary, one line per page (Shift_JIS).
  std::string PatrolSummary() const { return patrolSummary_ ? patrolSummary_() : std::string(); }
  // A patrol started from the command line downloads the types saved by the
  // type dialog; without this, it would download none until the dialog ran.
  void UseSavedDownloadTypes() {
    if (readTypes_) readTypes_();
  }

  // ViewContext
  std::string AddressField() const override;
  void SetAddressField(const std::string& address) override;
  BrowserControl& Browser() override { return *browser_; }
  Interaction& Ui() override { return ui_; }
  void SetStatusText(const std::string& text) override;
  DownloadEngine& Engine() override { return engine_; }
  std::vector<std::string> TakePageMedia() override;
  void AddDocumentCompleteHook(std::function<void(const std::string&)> hook) override {
    completeHooks_.push_back(std::move(hook));
  }
  void SetMosaicCollection() override;
  void KeepAlive() override;
  void CallLater(unsigned ms, std::function<void()> fn) override;

  // BrowserEvents
  void OnBeforeNavigate(const std::string& address) override;
  void OnTitleChange(const std::string& title) override;
  void OnDocumentComplete(const std::string& address) override;
  void OnStatusText(const std::string& text) override;
  void OnNewWindow(const std::string& address) override;

 private:
  void RegisterModules(CommandRouter& router);

  MainFrame* frame_;
  ConsoleInteraction ui_;
  std::unique_ptr<WebViewBrowser> browser_;
  DownloadEngine engine_;
  WxCallRunner runner_;
  std::unique_ptr<Clipboard> clipboard_;
  std::vector<std::unique_ptr<CommandModule>> modules_;
  std::vector<std::function<void(const std::string&)>> completeHooks_;
  std::function<bool()> patrolRunning_;
  std::function<std::string()> patrolSummary_;
  std::function<void()> readTypes_;
  // CallLater's timers, each removed once it has fired; the rest go with the view.
  struct LaterCall {
    wxTimer timer;
    std::function<void()> fn;
  };
  std::list<LaterCall> laterCalls_;
  // The pages' resources, handed to the watcher while it collects.
  std::unique_ptr<tollick::SpoolWriter> spool_;
  std::unique_ptr<ResourceTap> tap_;
  // Resources without bytes of a collected type, for the patrol's engine.
  std::vector<std::string> media_;
  std::string mediaPage_;
};

}  // namespace mireva
