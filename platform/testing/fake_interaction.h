#pragma once
// A recording Interaction for tests: every call is appended to `log` as
// "message:<text>", "yesno:<text>", "open:<filter>", "save:<default>",
// "password:<site>", and answers are taken from the queues (empty queue:
// No, cancel). Windows belong to the thread that made them: a call from any
// other thread than the one that made this object is also logged as
// "other thread:<entry>".
#include <pthread.h>

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
    Note("message:" + text);
    messages.push_back(text);
    icons.push_back(icon);
  }
  bool AskYesNo(const std::string& text, const std::string&) override {
    Note("yesno:" + text);
    if (yesNoAnswers.empty()) return false;
    bool a = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return a;
  }
  std::optional<std::string> ChooseFileToOpen(const std::string& filter,
                                              const std::string&) override {
    Note("open:" + filter);
    return NextFile();
  }
  std::optional<std::string> ChooseFileToSave(const std::string&, const std::string& def,
                                              const std::string&) override {
    Note("save:" + def);
    return NextFile();
  }
  std::optional<Credentials> AskPassword(const std::string& site, const std::string&) override {
    Note("password:" + site);
    if (passwordAnswers.empty()) return std::nullopt;
    auto a = passwordAnswers.front();
    passwordAnswers.pop_front();
    return a;
  }

 private:
  void Note(const std::string& entry) {
    log.push_back(entry);
    if (!pthread_equal(pthread_self(), owner_)) log.push_back("other thread:" + entry);
  }
  std::optional<std::string> NextFile() {
    if (fileAnswers.empty()) return std::nullopt;
    auto a = fileAnswers.front();
    fileAnswers.pop_front();
    return a;
  }
  pthread_t owner_ = pthread_self();
};

}  // namespace mireva
