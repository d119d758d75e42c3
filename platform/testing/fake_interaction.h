#pragma once
// A recording Interaction for tests: every call is appended to `log` as
// "message:<text>", "yesno:<text>", "open:<filter>", "save:<default>",
// "password:<site>", and answers are taken from the queues (empty queue:
// No, cancel).
#include <deque>
#include <string>
#include <vector>

#include "platform/interaction.h"

namespace mireva {

class FakeInteraction : public Interaction {
 public:
  std::vector<std::string> log;
  std::vector<std::string> messages;  // texts of ShowMessage only
  std::vector<MessageIcon> icons;
  std::deque<bool> yesNoAnswers;
  std::deque<std::optional<std::string>> fileAnswers;
  std::deque<std::optional<Credentials>> passwordAnswers;

  void ShowMessage(const std::string& text, MessageIcon icon, const std::string&) override {
    log.push_back("message:" + text);
    messages.push_back(text);
    icons.push_back(icon);
  }
  bool AskYesNo(const std::string& text, const std::string&) override {
    log.push_back("yesno:" + text);
    if (yesNoAnswers.empty()) return false;
    bool a = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return a;
  }
  std::optional<std::string> ChooseFileToOpen(const std::string& filter,
                                              const std::string&) override {
    log.push_back("open:" + filter);
    return NextFile();
  }
  std::optional<std::string> ChooseFileToSave(const std::string&, const std::string& def,
                                              const std::string&) override {
    log.push_back("save:" + def);
    return NextFile();
  }
  std::optional<Credentials> AskPassword(const std::string& site, const std::string&) override {
    log.push_back("password:" + site);
    if (passwordAnswers.empty()) return std::nullopt;
    auto a = passwordAnswers.front();
    passwordAnswers.pop_front();
    return a;
  }

 private:
  std::optional<std::string> NextFile() {
    if (fileAnswers.empty()) return std::nullopt;
    auto a = fileAnswers.front();
    fileAnswers.pop_front();
    return a;
  }
};

}  // namespace mireva
