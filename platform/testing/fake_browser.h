#pragma once
// A BrowserControl for tests: records every call in `log` ("navigate:<addr>",
// "back", "forward", "stop", "home", "print", "size:<n>", "save:<path>", "script") and
// lets the test raise page events through Complete() and friends.
#include <functional>
#include <string>
#include <vector>

#include "platform/browser_control.h"

namespace mireva {

class FakeBrowser : public BrowserControl {
 public:
  std::vector<std::string> log;
  std::string address;
  std::string title;
  std::string text;  // the page's bytes, as RequestPageBytes answers them (at once)
  std::optional<std::string> scriptResult;  // what RunPageScript answers
  int textSize = 2;
  BrowserEvents* events = nullptr;

  void SetEvents(BrowserEvents* e) override { events = e; }
  void Navigate(const std::string& a) override {
    log.push_back("navigate:" + a);
    if (events) events->OnBeforeNavigate(a);
  }
  void GoBack() override { log.push_back("back"); }
  void GoForward() override { log.push_back("forward"); }
  void Stop() override { log.push_back("stop"); }
  void GoHome() override { log.push_back("home"); }
  void ShowOwnPage(const std::string&, const std::string& base) override {
    log.push_back("own:" + base);
  }
  bool PrintWithoutDialog() override {
    log.push_back("print");
    return hasPrinter;
  }
  void Reload() override { log.push_back("reload"); }
  void SetPageEncoding(const std::string& name) override {
    encoding = name;
    log.push_back("encoding:" + name);
  }
  std::string PageEncoding() const override { return encoding; }
  bool hasPrinter = true;
  std::string encoding;
  void SetTextSize(int s) override {
    textSize = s;
    log.push_back("size:" + std::to_string(s));
  }
  int TextSize() const override { return textSize; }
  bool SavePage(const std::string& p) override {
    log.push_back("save:" + p);
    return true;
  }
  std::string CurrentAddress() const override { return address; }
  std::string CurrentTitle() const override { return title; }
  void RequestPageBytes(std::function<void(std::string)> done) override { done(text); }
  std::optional<std::string> RunPageScript(const std::string&) override {
    log.push_back("script");
    return scriptResult;
  }
  void Cut() override { log.push_back("cut"); }
  void Copy() override { log.push_back("copy"); }
  void Paste() override { log.push_back("paste"); }
  bool CanCut() const override { return false; }
  bool CanCopy() const override { return false; }
  bool CanPaste() const override { return false; }

  // Raises the document-complete event as the control would.
  void Complete(const std::string& a) {
    address = a;
    if (events) events->OnDocumentComplete(a);
  }
};

}  // namespace mireva
