#include "app/wx/browser_view.h"

#include <algorithm>

#include <wx/app.h>
#include <wx/clipbrd.h>
#include <wx/sizer.h>

#include "app/wx/main_frame.h"
#include "collectors/collector_commands.h"
#include "companions/tollick/resource_spool.h"
#include "downloads/wx/downloads_window.h"
#include "linkharvest/wx/link_harvest_commands.h"
#include "linkharvest/wx/link_selection_window.h"
#include "app/start_address.h"
#include "pagesave/page_save.h"
#include "patrol/patrol_commands.h"
#include "patrol/wx/patrol_dialogs.h"
#include "resources/release_page.h"
#include "platform/file_util.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/wx/wx_text.h"

#include <iterator>

namespace mireva {
namespace {

class WxClipboard : public Clipboard {
 public:
  std::string Text() override {
    wxClipboardLocker lock;
    if (!lock || !wxTheClipboard->IsSupported(wxDF_UNICODETEXT)) return std::string();
    wxTextDataObject data;
    if (!wxTheClipboard->GetData(data)) return std::string();
    return FromWx(data.GetText());
  }
  void Clear() override {
    wxClipboardLocker lock;
    if (!lock) return;
    // Owning the clipboard with empty text empties it for every program;
    // Clear() alone only gives up what this program put there.
    wxTheClipboard->SetData(new wxTextDataObject(wxEmptyString));
    wxTheClipboard->Clear();
  }
};

// The home page shipped with the program, seeded into the working folder.
std::string HomeAddress() { return Utf8ToSjis("file://" + WorkingFolder() + "/home.html"); }

}  // namespace

BrowserView::BrowserView(wxWindow* parent, MainFrame* frame, CommandRouter& router)
    : wxPanel(parent),
      frame_(frame),
      ui_(frame),
      engine_(ui_),
      runner_([frame] { frame->PlayBusy(); }, [this] {
        if (!browser_->IsLoading()) frame_->StopBusy();
      }) {
  browser_ = std::make_unique<WebViewBrowser>(this);
  // The engine works on a worker thread; the window stays live meanwhile.
  engine_.SetRunner(&runner_);
  // Calls without a progress host of their own (the collectors' downloads)
  // show the engine's word in the status bar.
  engine_.SetDefaultProgress([this](const std::string& text) { SetStatusText(text); });
  // Stop and Esc end whatever the engine is doing.
  AddStopHook([this] {
    if (engine_.Busy()) engine_.Cancel();
  });
  browser_->SetHomeAddress(HomeAddress());
  browser_->SetFailurePage(&LoadFailurePage);
  browser_->SetEvents(this);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(browser_->Window(), 1, wxEXPAND);
  SetSizer(sizer);
  clipboard_ = std::make_unique<WxClipboard>();
  RegisterModules(router);
  // While a patrol runs (it holds the engine from its start to its end) and
  // the watcher collects, each resource a page showed goes to its spool.
  // Resources WebKit hands out without bytes (audio, video, script fetches)
  // of a collected type are kept by address: the patrol, which holds the
  // engine, hands them to it once the page has shown (TakePageMedia).
  spool_ = std::make_unique<tollick::SpoolWriter>(WorkingFolder() + "/" +
                                                  tollick::kSpoolFolderName);
  tap_ = std::make_unique<ResourceTap>(
      browser_->Window(), [this] { return engine_.Held(); }, [this] { return spool_->Limit(); },
      [this](const ResourceTap::Resource& r) {
        if (!r.bytes.empty()) {
          spool_->Offer(r.address, r.page, r.mime, r.bytes);
          return;
        }
        if (!spool_->WantsWithoutBytes(r.address, r.mime)) return;
        if (r.page != mediaPage_) {
          media_.clear();
          mediaPage_ = r.page;
        }
        const std::string address = Utf8ToSjis(r.address);
        if (std::find(media_.begin(), media_.end(), address) == media_.end() && media_.size() < 500)
          media_.push_back(address);
      });
}

std::vector<std::string> BrowserView::TakePageMedia() {
  std::vector<std::string> taken;
  taken.swap(media_);
  return taken;
}

BrowserView::~BrowserView() {
  // Modules hold references to the view; they go before it does.
  modules_.clear();
  tap_.reset();
  browser_->SetEvents(nullptr);
}

void BrowserView::RegisterModules(CommandRouter& router) {
  OwnPages pages;
  pages.releaseHtml = Utf8ToSjis(ReleasePageHtml());
  pages.releaseBase = Utf8ToSjis("file://" + WorkingFolder() + "/");
  pages.homeAddress = HomeAddress();
  modules_.push_back(MakeViewCommands(*this, *clipboard_, pages));
  // The source view's editor gets a UTF-8 copy beside the page's file
  // ("temp-utf8.html" beside "temp.html"): the page's own file keeps the
  // bytes the server sent, which a desktop editor would misread.
  modules_.push_back(MakePageSaveCommands(*this, [](const std::string& hostPath) {
    std::string copy = hostPath;
    const size_t dot = copy.rfind('.');
    copy.insert(dot == std::string::npos || copy.find('/', dot) != std::string::npos ? copy.size() : dot,
                "-utf8");
    auto bytes = ReadWholeFile(Utf8ToSjis(hostPath));
    if (bytes && WriteFileAtomically(Utf8ToSjis(copy), PageBytesToUtf8(*bytes)))
      return OpenInTextEditor(copy, Wait::No);
    return OpenInTextEditor(hostPath, Wait::No);
  }));
  modules_.push_back(MakeLinkHarvestCommands(*this, frame_));
  modules_.push_back(MakeLinkSelectionCommands(*this, frame_));
  modules_.push_back(MakePatrolCommands(*this, frame_));
  if (PatrolCommands* patrol = PatrolCommands::From(modules_.back().get())) {
    patrolRunning_ = [patrol] { return patrol->PatrolRunning(); };
    patrolSummary_ = [patrol] { return patrol->Run().SummaryLines(); };
    readTypes_ = [patrol] { patrol->Run().ReadTypeSettings(); };
  }
  modules_.push_back(MakeCollectorCommands(*this));
  modules_.push_back(MakeDownloadsCommands(*this, frame_));
  for (auto& m : modules_) m->Register(router);
}

void BrowserView::InitialUpdate(const std::string& startAddress) {
  if (startAddress.empty()) {
    browser_->GoHome();
  } else {
    SetAddressField(startAddress);
    browser_->Navigate(startAddress);
  }
}

std::string BrowserView::AddressField() const { return frame_->AddressText(); }
void BrowserView::SetAddressField(const std::string& address) { frame_->SetAddressText(address); }
void BrowserView::SetStatusText(const std::string& text) { frame_->SetMessageText(text); }
void BrowserView::SetMosaicCollection() { frame_->SetMosaicCollection(); }
void BrowserView::KeepAlive() {
  // While the engine works the window is live already (its call runner).
  if (!engine_.Busy()) wxTheApp->Yield(true);
}

void BrowserView::CallLater(unsigned ms, std::function<void()> fn) {
  laterCalls_.emplace_back();
  auto call = std::prev(laterCalls_.end());
  call->fn = std::move(fn);
  call->timer.Bind(wxEVT_TIMER, [this, call](wxTimerEvent&) {
    std::function<void()> run = std::move(call->fn);
    // The timer is still in its own event here: it goes after the event.
    CallAfter([this, call] { laterCalls_.erase(call); });
    run();
  });
  call->timer.StartOnce(static_cast<int>(ms));
}

void BrowserView::OnBeforeNavigate(const std::string&) { frame_->PlayBusy(); }

void BrowserView::OnTitleChange(const std::string& title) { frame_->SetDocumentTitle(title); }

void BrowserView::OnDocumentComplete(const std::string& address) {
  frame_->StopBusy();
  SetAddressField(address);
  // Copied: a hook may add hooks of its own.
  auto hooks = completeHooks_;
  for (auto& hook : hooks) hook(address);
}

void BrowserView::OnStatusText(const std::string& text) { frame_->SetMessageText(text); }

void BrowserView::OnNewWindow(const std::string& address) {
  // A page's request for a new window goes to the desktop's browser; only web
  // addresses do, a page must not have local files or other programs opened.
  if (IsWebAddress(address)) OpenWithDesktop(SjisToUtf8(address));
}

}  // namespace mireva
