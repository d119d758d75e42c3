#include "app/wx/main_frame.h"

#include <wx/accel.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/display.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>
#include <wx/utils.h>

#include <thread>
#include <utility>

#include "app/wx/artwork.h"
#include "app/wx/browser_view.h"
#include "app/wx/busy_indicator.h"
#include "app/cache_move.h"
#include "core/command_table.h"
#include "app/view_commands.h"
#include "bookmarks/bookmark_commands.h"
#include "bookmarks/bookmark_menus.h"
#include "bookmarks/bookmark_sources.h"
#include "bookmarks/wx/bookmark_settings_dialog.h"
#include "bookmarks/favorites.h"
#include "bookmarks/wx/menu_builder.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/wx/wx_text.h"

namespace mireva {
namespace {

constexpr int kAddressFieldId = 1000;
constexpr int kOkButtonId = 1001;
constexpr int kPasteButtonId = 1002;

struct StockId {
  int command;
  int wx;
};
constexpr StockId kStockIds[] = {
    {kCmdFileNew, wxID_NEW},     {kCmdFileOpen, wxID_OPEN},   {kCmdFileSave, wxID_SAVE},
    {kCmdPrintSetup, wxID_PRINT_SETUP}, {kCmdEditCopy, wxID_COPY}, {kCmdEditCut, wxID_CUT},
    {kCmdEditPaste, wxID_PASTE}, {kCmdEditUndo, wxID_UNDO},   {kCmdAppAbout, wxID_ABOUT},
    {kCmdAppExit, wxID_EXIT},
    // No stock id: wx takes menu ids below 0x7FFF only.
    {kCmdViewToolbar, 6100}, {kCmdViewStatusBar, 6101},
    {kCmdNextPane, 6102},    {kCmdPrevPane, 6103},
};

// The program's own ids are used as wx ids as they are: none may fall into
// wx's reserved range of stock ids, which the standard commands are mapped to.
constexpr bool OwnIdsClearOfStockIds() {
  for (const CommandInfo& c : kCommandHandlerTable)
    if (c.id < kFirstStandardCommand && c.id >= wxID_LOWEST && c.id <= wxID_HIGHEST) return false;
  return kOperaLast < wxID_LOWEST;
}
static_assert(OwnIdsClearOfStockIds(), "a command id lies in wx's range of stock ids");

int WxKey(int key) {
  switch (key) {
    case kKeyBackspace: return WXK_BACK;
    case kKeyDelete: return WXK_DELETE;
    case kKeyInsert: return WXK_INSERT;
    case kKeyF5: return WXK_F5;
    case kKeyF6: return WXK_F6;
    case kKeyLeft: return WXK_LEFT;
    case kKeyRight: return WXK_RIGHT;
    default: return key;
  }
}

}  // namespace

int WxIdForCommand(int commandId) {
  for (const StockId& s : kStockIds)
    if (s.command == commandId) return s.wx;
  return commandId;
}

int CommandForWxId(int wxId) {
  for (const StockId& s : kStockIds)
    if (s.wx == wxId) return s.command;
  return wxId;
}

MainFrame::MainFrame() {
  // Placement: (30, 20), 50 pixels narrower and 40 lower than the screen's
  // client area (the desktop without its panels).
  wxRect area = wxDisplay(0u).GetClientArea();
  Create(nullptr, wxID_ANY, ToWx("Mireva"), wxPoint(30, 20),
         wxSize(std::max(400, area.width - 50), std::max(300, area.height - 40)));
  SetIcons(wxIconBundle(ProgramIcon(32)));

  BuildMenuBar();
  BuildToolBar();
  BuildStatusBar();

  auto* root = new wxPanel(this);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  BuildAddressBar(root, sizer);
  view_ = new BrowserView(root, this, router_);
  sizer->Add(view_, 1, wxEXPAND);
  root->SetSizer(sizer);

  RegisterFrameCommands();
  BuildBookmarkMenus();

  Bind(wxEVT_MENU, &MainFrame::OnMenu, this);
  Bind(wxEVT_UPDATE_UI, &MainFrame::OnUpdateUi, this);
  Bind(wxEVT_IDLE, &MainFrame::OnIdle, this);
  Bind(wxEVT_TOOL, &MainFrame::OnMenu, this);
  barsTimer_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { ShowLatest(); });
  // Closed during a patrol: the patrol is stopped as Stop does (its report
  // written with what was done, the watcher told). Closed while the engine
  // works (its call waits in a nested event loop below us): the engine is
  // stopped and the window closes once it returns.
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& e) {
    if (view_->PatrolRunning()) view_->UserStopped();
    DownloadEngine& engine = view_->Engine();
    if (engine.Busy() && e.CanVeto()) {
      engine.Cancel();
      if (!closeAfterEngine_) {
        closeAfterEngine_ = true;
        engine.AddCallEndedHook([this](const CallResult&) {
          if (closeAfterEngine_) CallAfter([this] { Close(); });
        });
      }
      e.Veto();
      return;
    }
    e.Skip();
  });
  // Esc stops the page load (and a patrol), as in every browser. Not an
  // accelerator: those take the key from open menus, which Esc must close.
  // An open menu takes Esc for itself (it may still reach the frame while
  // the menu holds the keyboard): it closes the menu, it stops nothing.
  Bind(wxEVT_MENU_OPEN, [this](wxMenuEvent& e) {
    ++menusOpen_;
    e.Skip();
  });
  Bind(wxEVT_MENU_CLOSE, [this](wxMenuEvent& e) {
    if (menusOpen_ > 0) --menusOpen_;
    e.Skip();
  });
  Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& e) {
    auto* from = wxDynamicCast(e.GetEventObject(), wxWindow);
    if (e.GetKeyCode() == WXK_ESCAPE && e.GetModifiers() == wxMOD_NONE && menusOpen_ == 0 &&
        (!from || wxGetTopLevelParent(from) == this)) {
      IssueCommand(kCmdStop);
      return;
    }
    e.Skip();
  });

  std::vector<wxAcceleratorEntry> accels;
  for (const Accelerator& a : MainAccelerators()) {
    int flags = (a.modifiers & kCtrl ? wxACCEL_CTRL : 0) | (a.modifiers & kShift ? wxACCEL_SHIFT : 0) |
                (a.modifiers & kAlt ? wxACCEL_ALT : 0);
    accels.emplace_back(flags, WxKey(a.key), WxIdForCommand(a.id));
  }
  SetAcceleratorTable(wxAcceleratorTable(static_cast<int>(accels.size()), accels.data()));
}

MainFrame::~MainFrame() {
  alive_.reset();  // an editor that ends now finds no window to report to
  // The modules refer to the view and the bookmark menus; they go first.
  modules_.clear();
}

void MainFrame::BuildBookmarkMenus() {
  // The editor runs on a thread of its own, so the window stays live while
  // the user edits; its end is handed back to the window's thread, and only
  // while the window (and with it the menus and their messages) still exists.
  BookmarkMenus::Hooks hooks;
  std::weak_ptr<int> alive = alive_;
  hooks.editFile = [alive](const std::string& path, std::function<void(bool)> closed) {
    std::thread([alive, path, closed = std::move(closed)] {
      const bool started = OpenInTextEditor(path, Wait::UntilExit);
      if (!wxTheApp) return;  // the program is ending
      wxTheApp->CallAfter([alive, closed, started] {
        if (alive.lock()) closed(started);
      });
    }).detach();
  };
  bookmarks_ = std::make_unique<BookmarkMenus>(WorkingFolder(), std::move(hooks));
  bookmarks_->onChanged = [this](BookmarkMenuKind kind) {
    if (kind == BookmarkMenuKind::Favorites) FillMenu(*FavoritesMenu(), bookmarks_->FavoritesModel());
    else FillMenu(*BookmarkMenu(), bookmarks_->BookmarksModel());
  };
  bookmarks_->BuildFavorites(FavoritesFolder());
  // Sources the user chose in the settings dialog fill their menus at every
  // start; without that choice nothing is read until an edit.
  if (ReadBookmarkSettings(DefaultSourceFolders(WorkingFolder())).chosen)
    bookmarks_->FillFromSources(view_->Ui());
  FillMenu(*FavoritesMenu(), bookmarks_->FavoritesModel());
  FillMenu(*BookmarkMenu(), bookmarks_->BookmarksModel());
  modules_.push_back(MakeBookmarkCommands(*view_, *bookmarks_));
  modules_.back()->Register(router_);
}

void MainFrame::BuildMenuBar() {
  wxMenuBar* bar = MakeMenuBar(MainMenu(), MenuCaptions::WithMnemonics, WxIdForCommand);
  // The favorites menu is emptied here and filled from the favorites folder.
  FillMenu(*bar->GetMenu(3), MenuModel());
  SetMenuBar(bar);
}

wxMenu* MainFrame::FavoritesMenu() const { return GetMenuBar()->GetMenu(3); }
wxMenu* MainFrame::BookmarkMenu() const { return GetMenuBar()->GetMenu(4); }

void MainFrame::BuildToolBar() {
  wxToolBar* tb = CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT);
  // The icon themes' toolbar size: their pictures are drawn for it.
  const int size = 24;
  tb->SetToolBitmapSize(wxSize(size, size));
  for (const ToolButton& b : MainToolbar()) {
    if (b.id == 0) {
      tb->AddSeparator();
      continue;
    }
    wxString tip = ToWx(b.tooltip);
    tb->AddTool(WxIdForCommand(b.id), tip, ToolbarBitmap(b.id, size), tip, wxITEM_NORMAL);
    tb->SetToolLongHelp(WxIdForCommand(b.id), tip);
  }
  tb->Realize();
}

void MainFrame::BuildStatusBar() {
  wxStatusBar* sb = CreateStatusBar(4, wxSTB_DEFAULT_STYLE);
  int widths[] = {-1, 50, 50, 50};
  sb->SetStatusWidths(4, widths);
  // The message pane is a label of its own over the first field: the toolkit
  // draws status fields itself, so screen readers (and the accessibility
  // bus) would never see the patrol's progress or the engine's word.
  message_ = new wxStaticText(sb, wxID_ANY, "Ready", wxDefaultPosition, wxDefaultSize,
                              wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
  auto place = [this, sb] {
    wxRect field;
    if (!sb->GetFieldRect(0, field)) return;
    const int height = message_->GetBestSize().y;
    message_->SetSize(field.x + 2, field.y + std::max(0, (field.height - height) / 2),
                      std::max(0, field.width - 4), height);
  };
  sb->Bind(wxEVT_SIZE, [place](wxSizeEvent& e) {
    place();
    e.Skip();
  });
  place();
}

void MainFrame::BuildAddressBar(wxWindow* parent, wxSizer* sizer) {
  auto* row = new wxBoxSizer(wxHORIZONTAL);
  row->Add(new wxStaticText(parent, wxID_ANY, ToWx("場所:")), 0,
           wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 6);
  address_ = new wxTextCtrl(parent, kAddressFieldId, wxEmptyString, wxDefaultPosition,
                            wxDefaultSize, wxTE_PROCESS_ENTER);
  row->Add(address_, 1, wxALIGN_CENTER_VERTICAL);
  // The buttons take the size their theme gives their captions; the sizer
  // keeps it as their minimum, so a narrow window shortens the address field,
  // never a caption.
  auto* ok = new wxButton(parent, kOkButtonId, "OK");
  ok->SetDefault();
  ok->SetMinSize(ok->GetBestSize());
  row->Add(ok, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 4);
  auto* paste = new wxButton(parent, kPasteButtonId, ToWx("アドレスの貼り付け"));
  paste->SetMinSize(paste->GetBestSize());
  row->Add(paste, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 4);
  busy_ = new BusyIndicator(parent, wxID_ANY, 30);
  row->Add(busy_, 0, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 8);
  sizer->Add(row, 0, wxEXPAND | wxTOP | wxBOTTOM, 2);
  address_->Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& e) {
    e.Skip();
    // The user edits the page's address, never one the pause held back.
    PutDueAddress();
    if (!selectOnFocus_) return;
    selectOnFocus_ = false;
    address_->SelectAll();
    const wxString text = address_->GetValue();
    CallAfter([this, text] {
      if (address_->GetValue() == text) address_->SelectAll();
    });
  });
  // Enter in the address field does exactly what "OK" does.
  address_->Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) { IssueCommand(kOkButtonId); });
  parent->Bind(wxEVT_BUTTON, [this](wxCommandEvent& e) { IssueCommand(e.GetId()); }, kOkButtonId,
               kPasteButtonId);
}

void MainFrame::RegisterFrameCommands() {
  modules_.push_back(MakeControlPanelCommands(view_->Ui()));
  for (auto& m : modules_) m->Register(router_);
  router_.Add(kCmdViewToolbar, CommandTarget::Frame, [this] {
    GetToolBar()->Show(!GetToolBar()->IsShown());
    SendSizeEvent();
  });
  router_.Add(kCmdViewStatusBar, CommandTarget::Frame, [this] {
    GetStatusBar()->Show(!GetStatusBar()->IsShown());
    SendSizeEvent();
  });
  router_.Add(kCmdSelectAddress, CommandTarget::Frame, [this] {
    if (wxWindow::FindFocus() == address_) {
      address_->SelectAll();
      return;
    }
    // The toolkit places the cursor when the focus arrives, which drops a
    // selection made before: the field selects its text once it has the
    // focus, and once more after the toolkit is done, unless typing began.
    selectOnFocus_ = true;
    address_->SetFocus();
  });
  router_.Add(kCmdBookmarkSettings, CommandTarget::Frame, [this] {
    const BookmarkSourceFolders folders = DefaultSourceFolders(WorkingFolder());
    BookmarkSettings settings = ReadBookmarkSettings(folders);
    if (!ShowBookmarkSettingsDialog(this, settings)) return;
    settings.chosen = true;
    if (!WriteBookmarkSettings(folders, settings)) {
      view_->Ui().ShowMessage("ブックマークの設定を保存できません。", MessageIcon::Exclamation);
      return;
    }
    bookmarks_->FillFromSources(view_->Ui());
  });
  router_.Add(kCmdAppAbout, CommandTarget::Application, [this] { ShowAbout(); });
  router_.Add(kCmdAppExit, CommandTarget::Application, [this] { Close(); });
}

bool MainFrame::IssueCommand(int commandId) {
  // The typed address is being opened: the field follows the page again.
  if (commandId == kCmdGo) address_->DiscardEdits();
  // The edit commands act on the address field while it has the focus.
  if (commandId == kCmdEditCopy || commandId == kCmdEditCut || commandId == kCmdEditPaste) {
    if (wxWindow::FindFocus() == address_) {
      if (commandId == kCmdEditCopy) address_->Copy();
      if (commandId == kCmdEditCut) address_->Cut();
      if (commandId == kCmdEditPaste) address_->Paste();
      return true;
    }
  }
  return router_.Dispatch(commandId);
}

void MainFrame::OnMenu(wxCommandEvent& e) {
  int id = CommandForWxId(e.GetId());
  if (id == kAddressFieldId) return;
  if (!router_.Handles(id)) {
    e.Skip();
    return;
  }
  IssueCommand(id);
}

void MainFrame::OnUpdateUi(wxUpdateUIEvent& e) {
  int id = CommandForWxId(e.GetId());
  // Update-UI events reach the frame for every window below it, the frame
  // itself included: disabling one that is not a command would grey the
  // whole window (and make the window manager's close do nothing).
  if (!IsCommandId(id)) {
    e.Skip();
    return;
  }
  if (id == kCmdEditCopy || id == kCmdEditCut || id == kCmdEditPaste) {
    if (wxWindow::FindFocus() == address_) {
      e.Enable(id == kCmdEditPaste || address_->CanCopy());
      return;
    }
  }
  e.Enable(router_.IsEnabled(id));
  if (id == kCmdViewToolbar) e.Check(GetToolBar() && GetToolBar()->IsShown());
  if (id == kCmdViewStatusBar) e.Check(GetStatusBar() && GetStatusBar()->IsShown());
  if (const char* encoding = EncodingOfCommand(id)) e.Check(view_->Web().PageEncoding() == encoding);
}

void MainFrame::OnIdle(wxIdleEvent& e) {
  if (mosaicCollection_) MoveMosaicImages(".");
  std::string keys;
  keys += wxGetKeyState(WXK_CAPITAL) ? "C" : "c";
  keys += wxGetKeyState(WXK_NUMLOCK) ? "N" : "n";
  keys += wxGetKeyState(WXK_SCROLL) ? "S" : "s";
  if (keys != keyState_ && GetStatusBar()) {
    keyState_ = keys;
    SetStatusText(keys[0] == 'C' ? "CAP" : "", 1);
    SetStatusText(keys[1] == 'N' ? "NUM" : "", 2);
    SetStatusText(keys[2] == 'S' ? "SCRL" : "", 3);
  }
  e.Skip();
}

std::string MainFrame::AddressText() const {
  return FromWx(dueAddress_ ? *dueAddress_ : address_->GetValue());
}

void MainFrame::SetAddressText(const std::string& sjis) {
  if (wxWindow::FindFocus() == address_) {
    dueAddress_.reset();
    PutAddress(ToWx(sjis), true);
    return;
  }
  dueAddress_ = ToWx(sjis);
  if (!barsTimer_.IsRunning()) ShowLatest();
}

void MainFrame::PutAddress(const wxString& text, bool keepTyped) {
  // A page that completes while the user types a new address (after Ctrl+L,
  // say) neither replaces the typed text nor drops the selection of the
  // field's whole text, which the next key replaces.
  const bool focused = wxWindow::FindFocus() == address_;
  if (keepTyped && focused && address_->IsModified()) return;
  long from = 0, to = 0;
  address_->GetSelection(&from, &to);
  const bool allSelected = focused && from == 0 && to == address_->GetLastPosition() && to > 0;
  address_->ChangeValue(text);
  if (allSelected)
    address_->SelectAll();
  else
    address_->SetInsertionPointEnd();
}

void MainFrame::SetMessageText(const std::string& sjis) {
  if (!message_) return;
  latestMessage_ = sjis.empty() ? wxString("Ready") : ToWx(sjis);
  if (!barsTimer_.IsRunning()) ShowLatest();
}

void MainFrame::ShowLatest() {
  bool shown = false;
  if (GetTitle() != latestTitle_) {
    SetTitle(latestTitle_);
    shown = true;
  }
  if (message_ && message_->GetLabelText() != latestMessage_) {
    message_->SetLabelText(latestMessage_);
    shown = true;
  }
  shown |= PutDueAddress();
  if (shown) barsTimer_.StartOnce(kBarsPauseMs);
}

bool MainFrame::PutDueAddress() {
  if (!dueAddress_) return false;
  PutAddress(*std::exchange(dueAddress_, std::nullopt), false);
  return true;
}

void MainFrame::SetDocumentTitle(const std::string& sjis) {
  latestTitle_ = ToWx(sjis.empty() ? std::string("Mireva") : sjis + " - Mireva");
  if (!barsTimer_.IsRunning()) ShowLatest();
}

void MainFrame::PlayBusy() { busy_->Play(); }
void MainFrame::StopBusy() { busy_->Stop(); }

void MainFrame::ShowAbout() {
  wxDialog dlg(this, 100, "About Mireva");
  auto* sizer = new wxBoxSizer(wxHORIZONTAL);
  wxBitmap icon;
  icon.CopyFromIcon(ProgramIcon(48));
  sizer->Add(new wxStaticBitmap(&dlg, wxID_ANY, icon), 0, wxALL, 12);
  auto* text = new wxBoxSizer(wxVERTICAL);
  text->Add(new wxStaticText(&dlg, wxID_ANY, "Mireva Version " MIREVA_VERSION), 0, wxBOTTOM, 6);
  text->Add(new wxStaticText(&dlg, wxID_ANY, ToWx("ウェブから資料を集めるためのブラウザ")), 0, wxBOTTOM, 4);
  text->Add(new wxStaticText(&dlg, wxID_ANY, ToWx("巡回・一括ダウンロード・画像収集")), 0, wxBOTTOM, 8);
  text->Add(new wxButton(&dlg, wxID_OK, "OK"), 0, wxALIGN_RIGHT);
  sizer->Add(text, 1, wxALL, 12);
  dlg.SetSizerAndFit(sizer);
  dlg.ShowModal();
}

}  // namespace mireva
