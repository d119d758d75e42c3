#pragma once
// Every modal exchange with the user goes through this interface, so logic can
// be tested with a recording fake (platform/testing/fake_interaction.h) and the
// program uses the wx implementation (platform/wx/wx_interaction.h).
// All texts are Shift_JIS; file names come back as Shift_JIS paths.
#include <optional>
#include <string>

namespace mireva {

enum class MessageIcon { None, Information, Exclamation, Stop, Question };

struct Credentials {
  std::string user;
  std::string password;
};

class Interaction {
 public:
  virtual ~Interaction() = default;
  // A message box with an OK button.
  virtual void ShowMessage(const std::string& text, MessageIcon icon = MessageIcon::Exclamation,
                           const std::string& caption = "Mireva") = 0;
  // A question with Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption = "Mireva") = 0;
  // File dialogs. `filter` is in the classic "Name|*.a;*.b|Other|*.*||" form.
  // Nothing when the user cancels.
  virtual std::optional<std::string> ChooseFileToOpen(const std::string& filter,
                                                      const std::string& defaultName) = 0;
  virtual std::optional<std::string> ChooseFileToSave(const std::string& filter,
                                                      const std::string& defaultName,
                                                      const std::string& defaultExtension) = 0;
  // User name and password for a protected page; nothing on cancel.
  virtual std::optional<Credentials> AskPassword(const std::string& site,
                                                 const std::string& realm) = 0;
};

}  // namespace mireva
