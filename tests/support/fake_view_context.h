#pragma once
// The ViewContext of every area's tests: a FakeBrowser, a FakeInteraction,
// the address field (and a log of what was written into it), the status texts,
// the page events' hooks and a DownloadEngine that loads its libraries from
// `engineFolder` (a test folder; the engine binds only when a command uses it).
// An area that needs more derives from it and overrides what it must.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/view_context.h"
#include "core/runtime/download_engine.h"
#include "platform/testing/fake_browser.h"
#include "platform/testing/fake_interaction.h"

namespace mireva::testing {

class FakeViewContext : public ViewContext {
 public:
  explicit FakeViewContext(const std::string& engineFolder = "/nonexistent")
      : engine(ui, engineFolder) {}

  FakeBrowser browser;
  FakeInteraction ui;
  DownloadEngine engine;
  std::string address;
  std::vector<std::string> addressLog;  // every write into the address field, in order
  std::vector<std::string> statusTexts;
  std::vector<std::function<void(const std::string&)>> hooks;
  bool mosaicCollection = false;
  int keepAliveCalls = 0;
  // CallLater's calls, in order, with their delays (kept, never run).
  std::vector<std::pair<unsigned, std::function<void()>>> laterCalls;

  std::string AddressField() const override { return address; }
  void SetAddressField(const std::string& a) override {
    address = a;
    addressLog.push_back(a);
  }
  BrowserControl& Browser() override { return browser; }
  Interaction& Ui() override { return ui; }
  void SetStatusText(const std::string& t) override { statusTexts.push_back(t); }
  DownloadEngine& Engine() override { return engine; }
  void AddDocumentCompleteHook(std::function<void(const std::string&)> h) override {
    hooks.push_back(std::move(h));
  }
  void SetMosaicCollection() override { mosaicCollection = true; }
  void KeepAlive() override { ++keepAliveCalls; }
  // What the page "loaded without bytes": handed out once, as the view does.
  std::vector<std::string> media;
  std::vector<std::string> TakePageMedia() override {
    std::vector<std::string> taken;
    taken.swap(media);
    return taken;
  }
  void CallLater(unsigned ms, std::function<void()> fn) override {
    laterCalls.emplace_back(ms, std::move(fn));
  }

  // What the real view does when a document completes: the address field
  // first, then the hooks.
  void CompleteDocument(const std::string& a) {
    browser.address = a;
    SetAddressField(a);
    auto copy = hooks;  // copied: a hook may add hooks
    for (auto& h : copy) h(a);
  }
  // The browser's navigations in order, without the "navigate:" prefix.
  std::vector<std::string> Visits() const {
    std::vector<std::string> out;
    for (const std::string& l : browser.log)
      if (l.rfind("navigate:", 0) == 0) out.push_back(l.substr(9));
    return out;
  }
};

}  // namespace mireva::testing
