#include "platform/wx/webview_browser.h"

#include <cstring>

#include <gtk/gtkunixprint.h>
#include <webkit2/webkit2.h>

#include <wx/app.h>
#include <wx/utils.h>

#include "platform/wx/wx_text.h"

#include <functional>
#include <memory>
#include <string>

namespace mireva {
namespace {

WebKitWebView* Native(wxWebView* view) {
  return view ? WEBKIT_WEB_VIEW(view->GetNativeBackend()) : nullptr;
}

void OnMouseTarget(WebKitWebView*, WebKitHitTestResult* hit, guint, gpointer data) {
  auto* events = *static_cast<BrowserEvents**>(data);
  if (!events) return;
  const char* uri = webkit_hit_test_result_context_is_link(hit)
                        ? webkit_hit_test_result_get_link_uri(hit)
                        : nullptr;
  events->OnStatusText(uri ? Utf8ToSjis(uri) : std::string());
}

gboolean CountPrinter(GtkPrinter* printer, gpointer data) {
  // "Print to File" and the like are no printer a person means.
  if (!gtk_printer_is_virtual(printer)) ++*static_cast<int*>(data);
  return FALSE;
}

// The reason of a failed load, from the errors WebKit passes on: its own,
// GIO's and (through WebKit) libsoup's status codes.
LoadFailure FailureOf(const GError* error) {
  const char* domain = g_quark_to_string(error->domain);
  if (error->domain == G_RESOLVER_ERROR) return LoadFailure::HostNotFound;
  if (error->domain == G_IO_ERROR) {
    switch (error->code) {
      case G_IO_ERROR_HOST_NOT_FOUND: return LoadFailure::HostNotFound;
      case G_IO_ERROR_CONNECTION_REFUSED: return LoadFailure::ConnectionRefused;
      case G_IO_ERROR_TIMED_OUT: return LoadFailure::TimedOut;
      case G_IO_ERROR_NOT_FOUND: return LoadFailure::FileNotFound;
      default: return LoadFailure::Other;
    }
  }
  if (error->domain == WEBKIT_NETWORK_ERROR && error->code == WEBKIT_NETWORK_ERROR_FILE_DOES_NOT_EXIST)
    return LoadFailure::FileNotFound;
  if (domain && std::strstr(domain, "soup")) {
    // SOUP_STATUS_CANT_RESOLVE 2, _CANT_RESOLVE_PROXY 3, _CANT_CONNECT 4,
    // _CANT_CONNECT_PROXY 5, _IO_ERROR 7 (also a closed port on some paths).
    switch (error->code) {
      case 2: case 3: return LoadFailure::HostNotFound;
      case 4: case 5: return LoadFailure::ConnectionRefused;
      default: return LoadFailure::Other;
    }
  }
  return LoadFailure::Other;
}

}  // namespace

int WebViewBrowser::OnLoadFailed(void* view, int, const char* uri, void* errorPtr, void* self) {
  auto* me = static_cast<WebViewBrowser*>(self);
  const auto* error = static_cast<const GError*>(errorPtr);
  // Loads cut short by the next one, by a download or by a plug-in are no
  // failures a person needs a page for; WebKit's own handler lets them be.
  if (!me->failurePage_ || !uri || !error ||
      g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
      error->domain == WEBKIT_POLICY_ERROR || error->domain == WEBKIT_PLUGIN_ERROR)
    return FALSE;
  const std::string html = SjisToUtf8(me->failurePage_(Utf8ToSjis(uri), FailureOf(error)));
  // In place of WebKit's English page, loaded the way WebKit loads its own:
  // under the failing address, so the address field, history and reload
  // (the retry) all refer to the page that failed.
  webkit_web_view_load_alternate_html(WEBKIT_WEB_VIEW(view), html.c_str(), uri, nullptr);
  return TRUE;
}

void WebViewBrowser::ConfigureWebContext(const std::string& cacheFolder) {
  WebKitWebContext* context = webkit_web_context_get_default();
  WebKitCookieManager* cookies = webkit_web_context_get_cookie_manager(context);
  std::string path = cacheFolder + "/cookies.txt";
  webkit_cookie_manager_set_persistent_storage(cookies, path.c_str(),
                                               WEBKIT_COOKIE_PERSISTENT_STORAGE_TEXT);
  webkit_cookie_manager_set_accept_policy(cookies, WEBKIT_COOKIE_POLICY_ACCEPT_NO_THIRD_PARTY);
  webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_WEB_BROWSER);
}

WebViewBrowser::WebViewBrowser(wxWindow* parent) {
  view_ = wxWebView::New(parent, wxID_ANY, wxString());
  if (view_->CanSetZoomType(wxWEBVIEW_ZOOM_TYPE_TEXT)) view_->SetZoomType(wxWEBVIEW_ZOOM_TYPE_TEXT);
  view_->Bind(wxEVT_WEBVIEW_NAVIGATING, &WebViewBrowser::OnNavigating, this);
  view_->Bind(wxEVT_WEBVIEW_LOADED, &WebViewBrowser::OnLoaded, this);
  view_->Bind(wxEVT_WEBVIEW_ERROR, &WebViewBrowser::OnError, this);
  view_->Bind(wxEVT_WEBVIEW_TITLE_CHANGED, &WebViewBrowser::OnTitle, this);
  view_->Bind(wxEVT_WEBVIEW_NEWWINDOW, &WebViewBrowser::OnNewWindow, this);
  g_signal_connect(Native(view_), "mouse-target-changed", G_CALLBACK(OnMouseTarget), &events_);
  // After wx's own handler (which raises the error event), before WebKit's
  // default one (which would show its English error page).
  g_signal_connect(Native(view_), "load-failed", G_CALLBACK(OnLoadFailed), this);
  // Japanese pages that do not say their encoding are mostly Shift_JIS:
  // read as that instead of Latin-1. This WebKit guesses no encoding from
  // the bytes; an unlabelled EUC-JP page is read through the encoding menu.
  webkit_settings_set_default_charset(webkit_web_view_get_settings(Native(view_)), "Shift_JIS");
}

WebViewBrowser::~WebViewBrowser() {
  // The web view outlives us by a moment (its parent window destroys it) and
  // may still raise events then; none may reach this object.
  if (!view_) return;
  g_signal_handlers_disconnect_by_data(Native(view_), &events_);
  g_signal_handlers_disconnect_by_data(Native(view_), this);
  view_->Unbind(wxEVT_WEBVIEW_NAVIGATING, &WebViewBrowser::OnNavigating, this);
  view_->Unbind(wxEVT_WEBVIEW_LOADED, &WebViewBrowser::OnLoaded, this);
  view_->Unbind(wxEVT_WEBVIEW_ERROR, &WebViewBrowser::OnError, this);
  view_->Unbind(wxEVT_WEBVIEW_TITLE_CHANGED, &WebViewBrowser::OnTitle, this);
  view_->Unbind(wxEVT_WEBVIEW_NEWWINDOW, &WebViewBrowser::OnNewWindow, this);
}

std::string WebViewBrowser::HostAddress(const std::string& utf8Address) {
  if (!utf8Address.empty() && utf8Address[0] == '/') {
    size_t i = 0;
    while (i + 1 < utf8Address.size() && utf8Address[i + 1] == '/') ++i;
    return "file://" + utf8Address.substr(i);
  }
  return utf8Address;
}

void WebViewBrowser::Superseding() {
  if (view_->IsBusy()) ++superseded_;
}

void WebViewBrowser::Navigate(const std::string& address) {
  Superseding();
  started_ = true;
  requested_ = HostAddress(SjisToUtf8(address));
  view_->LoadURL(wxString::FromUTF8(requested_));
}

void WebViewBrowser::GoBack() {
  if (!view_->CanGoBack()) return;
  Superseding();
  view_->GoBack();
}

void WebViewBrowser::GoForward() {
  if (!view_->CanGoForward()) return;
  Superseding();
  view_->GoForward();
}

void WebViewBrowser::Stop() {
  Superseding();
  view_->Stop();
}

void WebViewBrowser::GoHome() { Navigate(home_); }

void WebViewBrowser::ShowOwnPage(const std::string& html, const std::string& baseAddress) {
  Superseding();
  started_ = true;
  view_->SetPage(ToWx(html), ToWx(baseAddress));
}

bool WebViewBrowser::PrintWithoutDialog() {
  WebKitWebView* native = Native(view_);
  int printers = 0;
  gtk_enumerate_printers(CountPrinter, &printers, nullptr, TRUE);
  if (printers == 0) return false;
  if (!native || !webkit_web_view_get_uri(native)) return true;
  WebKitPrintOperation* op = webkit_print_operation_new(native);
  webkit_print_operation_print(op);
  g_object_unref(op);
  return true;
}

void WebViewBrowser::Reload() {
  Superseding();
  started_ = true;
  view_->Reload();
}

void WebViewBrowser::SetPageEncoding(const std::string& name) {
  Superseding();
  // WebKit stops the load and shows the page again in the encoding.
  webkit_web_view_set_custom_charset(Native(view_), name.empty() ? nullptr : name.c_str());
}

std::string WebViewBrowser::PageEncoding() const {
  const char* name = webkit_web_view_get_custom_charset(Native(view_));
  return name ? name : "";
}

void WebViewBrowser::SetTextSize(int size) {
  if (size < 0) size = 0;
  if (size > 4) size = 4;
  view_->SetZoom(static_cast<wxWebViewZoom>(size));
}

int WebViewBrowser::TextSize() const { return static_cast<int>(view_->GetZoom()); }

namespace {
struct SaveState {
  bool done = false;
  bool ok = false;
};
void OnSaved(GObject* source, GAsyncResult* result, gpointer data) {
  auto* state = static_cast<SaveState*>(data);
  GError* error = nullptr;
  state->ok = webkit_web_view_save_to_file_finish(WEBKIT_WEB_VIEW(source), result, &error);
  if (error) g_error_free(error);
  state->done = true;
}
}  // namespace

bool WebViewBrowser::SavePage(const std::string& hostPath) {
  WebKitWebView* native = Native(view_);
  if (!native || !webkit_web_view_get_uri(native)) return false;
  GFile* file = g_file_new_for_path(hostPath.c_str());
  SaveState state;
  webkit_web_view_save_to_file(native, file, WEBKIT_SAVE_MODE_MHTML, nullptr, OnSaved, &state);
  // The save is asynchronous in WebKit; the command is not, so wait for it
  // while the window keeps painting.
  for (int i = 0; i < 6000 && !state.done; ++i) {
    wxTheApp->Yield(true);
    if (!state.done) wxMilliSleep(10);
  }
  g_object_unref(file);
  return state.done && state.ok;
}

namespace {
void OnPageBytes(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<std::function<void(std::string)>> done(
      static_cast<std::function<void(std::string)>*>(data));
  gsize length = 0;
  GError* error = nullptr;
  guchar* bytes =
      webkit_web_resource_get_data_finish(WEBKIT_WEB_RESOURCE(source), result, &length, &error);
  std::string page;
  if (bytes) page.assign(reinterpret_cast<const char*>(bytes), length);
  g_free(bytes);
  if (error) g_error_free(error);
  (*done)(std::move(page));
}
}  // namespace

// Not wxWebView's GetPageText: it asks wx's own web extension over D-Bus and
// waits for the answer, and answers an empty text whenever that extension has
// not connected to the program (as with the WebKitGTK of Debian 12). The main
// resource's bytes come from WebKit itself, and asynchronously.
void WebViewBrowser::RequestPageBytes(std::function<void(std::string)> done) {
  WebKitWebView* native = Native(view_);
  WebKitWebResource* resource = native ? webkit_web_view_get_main_resource(native) : nullptr;
  if (!resource) {
    wxTheApp->CallAfter([done = std::move(done)] { done(std::string()); });
    return;
  }
  webkit_web_resource_get_data(resource, nullptr, OnPageBytes,
                               new std::function<void(std::string)>(std::move(done)));
}

std::optional<std::string> WebViewBrowser::RunPageScript(const std::string& script) {
  wxString out;
  // RunScript waits for WebKit's answer in a nested event loop.
  if (!view_ || !view_->RunScript(ToWx(script), &out)) return std::nullopt;
  return FromWx(out);
}

bool WebViewBrowser::IsLoading() const { return view_ && view_->IsBusy(); }

std::string WebViewBrowser::CurrentAddress() const { return FromWx(view_->GetCurrentURL()); }
std::string WebViewBrowser::CurrentTitle() const { return FromWx(view_->GetCurrentTitle()); }
void WebViewBrowser::Cut() { view_->Cut(); }
void WebViewBrowser::Copy() { view_->Copy(); }
void WebViewBrowser::Paste() { view_->Paste(); }
bool WebViewBrowser::CanCut() const { return view_->CanCut(); }
bool WebViewBrowser::CanCopy() const { return view_->CanCopy(); }
bool WebViewBrowser::CanPaste() const { return view_->CanPaste(); }

void WebViewBrowser::OnNavigating(wxWebViewEvent& e) {
  // Only the main document counts: frames load without events of their own.
  if (started_ && events_ && (e.GetTarget().empty() || e.GetTarget() == "_self"))
    events_->OnBeforeNavigate(FromWx(e.GetURL()));
  e.Skip();
}

void WebViewBrowser::OnError(wxWebViewEvent& e) {
  // A load cancelled by the next navigation is followed by a "loaded" event
  // of its own; that one is no completed document.
  // WebKit reports the cancellation under another error code than wx's
  // "cancelled" at times, so the loads that our own navigations cut short
  // are counted too.
  if (e.GetInt() == wxWEBVIEW_NAV_ERR_USER_CANCELLED || superseded_ > 0) {
    if (superseded_ > 0) --superseded_;
    skipNextLoaded_ = true;
  }
  e.Skip();
}

void WebViewBrowser::OnLoaded(wxWebViewEvent& e) {
  // The blank page the web view loads by itself when it is made may finish
  // after our first navigation has begun.
  if (!started_ || (e.GetURL() == "about:blank" && requested_ != "about:blank")) return;
  if (skipNextLoaded_) {
    skipNextLoaded_ = false;
    return;
  }
  if (events_) events_->OnDocumentComplete(FromWx(e.GetURL()));
}

void WebViewBrowser::OnTitle(wxWebViewEvent& e) {
  if (events_) events_->OnTitleChange(FromWx(e.GetString()));
}

void WebViewBrowser::OnNewWindow(wxWebViewEvent& e) {
  if (events_) events_->OnNewWindow(FromWx(e.GetURL()));
}

}  // namespace mireva
