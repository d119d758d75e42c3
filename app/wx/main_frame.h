#pragma once
// The main window: menu bar, toolbar, address bar (label, address field 1000,
// "OK" 1001, "アドレスの貼り付け" 1002), status bar with its four panes, the
// busy animation, and the browser view. Every command of the menu, toolbar,
// address bar and keys goes through the command router; a command that
// nothing handles is shown disabled and never reaches code.
#include <memory>
#include <optional>
#include <string>

#include <wx/frame.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include "core/command_router.h"

namespace mireva {

class BrowserView;
class BusyIndicator;
class BookmarkMenus;

class MainFrame : public wxFrame {
 public:
  MainFrame();
  ~MainFrame() override;

  BrowserView& View() { return *view_; }
  CommandRouter& Router() { return router_; }

  // Issues a command as the menu would: false when it is disabled or unhandled.
  bool IssueCommand(int commandId);
  bool CommandEnabled(int commandId) const { return router_.IsEnabled(commandId); }

  std::string AddressText() const;
  void SetAddressText(const std::string& sjis);
  void SetMessageText(const std::string& sjis);
  void SetDocumentTitle(const std::string& sjis);
  void PlayBusy();
  void StopBusy();
  void SetMosaicCollection() { mosaicCollection_ = true; }
  bool MosaicCollection() const { return mosaicCollection_; }
  // The favorites menu (the fourth top-level menu), emptied at creation.
  wxMenu* FavoritesMenu() const;
  wxMenu* BookmarkMenu() const;

 private:
  void BuildMenuBar();
  void BuildToolBar();
  void BuildAddressBar(wxWindow* parent, wxSizer* sizer);
  void BuildStatusBar();
  void RegisterFrameCommands();
  void OnMenu(wxCommandEvent& e);
  void OnUpdateUi(wxUpdateUIEvent& e);
  void OnIdle(wxIdleEvent& e);
  void ShowAbout();
  void ShowLatest();
  void PutAddress(const wxString& text, bool keepTyped);
  bool PutDueAddress();
  void BuildBookmarkMenus();

  CommandRouter router_;
  BrowserView* view_ = nullptr;
  wxTextCtrl* address_ = nullptr;
  wxStaticText* message_ = nullptr;  // the status bar's message pane
  // The title, the message pane and the address field (while the user is
  // not in it) show a new text at once, and the texts that follow within
  // kBarsPauseMs together when that time is up: a patrol over quick pages
  // changes them dozens of times a second, and every change lays out and
  // draws the window (and has the window manager draw its frame) while the
  // view loads the next page.
  static constexpr int kBarsPauseMs = 200;
  wxTimer barsTimer_;
  // The last texts asked for, shown or due; at first what the window shows.
  wxString latestMessage_ = "Ready";
  wxString latestTitle_ = "Mireva";
  // The page's address not yet shown in the field; AddressText answers it.
  std::optional<wxString> dueAddress_;
  BusyIndicator* busy_ = nullptr;
  std::vector<std::unique_ptr<CommandModule>> modules_;
  std::unique_ptr<BookmarkMenus> bookmarks_;
  // Held while the window exists; callbacks from other threads check it.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  bool mosaicCollection_ = false;
  bool closeAfterEngine_ = false;
  bool selectOnFocus_ = false;  // Ctrl+L: select the address once the field has the focus
  int menusOpen_ = 0;
  std::string keyState_;
};

// Command ids and wx ids: the framework's standard commands use wx's stock ids
// (so GTK shows its stock labels and keys); all others are the same number.
int WxIdForCommand(int commandId);
int CommandForWxId(int wxId);

}  // namespace mireva
