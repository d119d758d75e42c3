#pragma once
// Interaction through wx's message boxes, file dialogs and password prompt.
#include <wx/window.h>

#include "platform/interaction.h"

namespace mireva {

class WxInteraction : public Interaction {
 public:
  explicit WxInteraction(wxWindow* parent) : parent_(parent) {}
  void SetParent(wxWindow* parent) { parent_ = parent; }

  void ShowMessage(const std::string& text, MessageIcon icon, const std::string& caption) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  std::optional<std::string> ChooseFileToOpen(const std::string& filter,
                                              const std::string& defaultName) override;
  std::optional<std::string> ChooseFileToSave(const std::string& filter,
                                              const std::string& defaultName,
                                              const std::string& defaultExtension) override;
  std::optional<Credentials> AskPassword(const std::string& site,
                                         const std::string& realm) override;

 private:
  wxWindow* parent_;
};

// "HTML Files|*.htm;*.html|All Files|*.*||" in wx's wildcard form.
wxString WildcardFromFilter(const std::string& filter);

}  // namespace mireva
