#pragma once
// A ViewContext for tests of command modules: a FakeBrowser, a FakeInteraction,
// an address field and status text held in members, and a DownloadEngine
// that loads its libraries from `engineFolder` (a test folder).
#include <functional>
#include <string>
#include <vector>

#include "app/view_context.h"
#include "patrol/download_engine.h"
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
  std::vector<std::string> statusTexts;
  std::vector<std::function<void(const std::string&)>> hooks;
  bool mosaicCollection = false;
  int keepAliveCalls = 0;

  std::string AddressField() const override { return address; }
  void SetAddressField(const std::string& a) override { address = a; }
  BrowserControl& Browser() override { return browser; }
  Interaction& Ui() override { return ui; }
  void SetStatusText(const std::string& t) override { statusTexts.push_back(t); }
  DownloadEngine& Engine() override { return engine; }
  wxWindow* DialogParent() override { return nullptr; }
  void AddDocumentCompleteHook(std::function<void(const std::string&)> h) override {
    hooks.push_back(std::move(h));
  }
  void SetMosaicCollection() override { mosaicCollection = true; }
  void KeepAlive() override { ++keepAliveCalls; }

  // What the real view does when a document completes: the address field
  // first, then the hooks.
  void CompleteDocument(const std::string& a) {
    browser.address = a;
    address = a;
    auto copy = hooks;
    for (auto& h : copy) h(a);
  }
};

}  // namespace mireva::testing
