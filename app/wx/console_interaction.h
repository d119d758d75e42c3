#pragma once
// The main window's Interaction. Normally wx's message boxes and dialogs; for
// an unattended run (--headless, --quit-after-patrol) messages go to standard
// error instead, since a modal box there would wait for a person who is not
// present and the run would never end. Every message of such a run counts as
// a failure, and questions and file or password prompts are answered "No" or
// cancelled.
#include <cstdio>

#include "platform/text_encoding.h"
#include "platform/wx/wx_interaction.h"

namespace mireva {

class ConsoleInteraction : public WxInteraction {
 public:
  using WxInteraction::WxInteraction;

  // Set once by main() before the window exists.
  static inline bool toConsole = false;
  // Whether a message was written to standard error.
  static inline bool failed = false;

  void ShowMessage(const std::string& text, MessageIcon icon, const std::string& caption) override {
    if (!toConsole) return WxInteraction::ShowMessage(text, icon, caption);
    failed = true;
    std::fprintf(stderr, "mireva: %s\n", SjisToUtf8(text).c_str());
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    if (!toConsole) return WxInteraction::AskYesNo(text, caption);
    std::fprintf(stderr, "mireva: %s (answered No)\n", SjisToUtf8(text).c_str());
    return false;
  }
  std::optional<std::string> ChooseFileToOpen(const std::string& filter,
                                              const std::string& defaultName) override {
    if (toConsole) return std::nullopt;
    return WxInteraction::ChooseFileToOpen(filter, defaultName);
  }
  std::optional<std::string> ChooseFileToSave(const std::string& filter,
                                              const std::string& defaultName,
                                              const std::string& defaultExtension) override {
    if (toConsole) return std::nullopt;
    return WxInteraction::ChooseFileToSave(filter, defaultName, defaultExtension);
  }
  std::optional<Credentials> AskPassword(const std::string& site,
                                         const std::string& realm) override {
    if (toConsole) return std::nullopt;
    return WxInteraction::AskPassword(site, realm);
  }
};

}  // namespace mireva
