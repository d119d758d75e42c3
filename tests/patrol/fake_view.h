#pragma once
// A ViewContext for the patrol tests: the fake browser and interaction, a
// DownloadEngine over a folder of test engines, and the document-complete
// hooks, raised by Complete() the way the view does (address field first).
#include <functional>
#include <string>
#include <vector>

#include "app/view_context.h"
#include "patrol/download_engine.h"
#include "platform/testing/fake_browser.h"
#include "platform/testing/fake_interaction.h"

namespace mireva {

class FakeView : public ViewContext {
 public:
  explicit FakeView(const std::string& engineFolder) : engine(ui, engineFolder) {}

  std::string AddressField() const override { return address; }
  void SetAddressField(const std::string& a) override {
    address = a;
    addressLog.push_back(a);
  }
  BrowserControl& Browser() override { return browser; }
  Interaction& Ui() override { return ui; }
  void SetStatusText(const std::string&) override {}
  DownloadEngine& Engine() override { return engine; }
  wxWindow* DialogParent() override { return nullptr; }
  void AddDocumentCompleteHook(std::function<void(const std::string&)> hook) override {
    hooks.push_back(std::move(hook));
  }
  void SetMosaicCollection() override {}
  void KeepAlive() override {}

  void Complete(const std::string& a) {
    SetAddressField(a);
    for (auto& h : hooks) h(a);
  }
  // Navigations of the fake browser, without the "navigate:" prefix.
  std::vector<std::string> Visits() const {
    std::vector<std::string> out;
    for (const auto& l : browser.log)
      if (l.compare(0, 9, "navigate:") == 0) out.push_back(l.substr(9));
    return out;
  }

  FakeBrowser browser;
  FakeInteraction ui;
  DownloadEngine engine;
  std::string address;
  std::vector<std::string> addressLog;
  std::vector<std::function<void(const std::string&)>> hooks;
};

}  // namespace mireva
