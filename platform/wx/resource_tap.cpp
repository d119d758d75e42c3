#include "platform/wx/resource_tap.h"

#include <webkit2/webkit2.h>
#include <wx/webview.h>

namespace mireva {

// One request for a resource's bytes. It outlives the tap when the tap goes
// first: `tap` is then null and the answer is only freed.
struct ResourceTap::Fetch {
  ResourceTap* tap;
  WebKitWebResource* resource;
  GCancellable* cancellable;
  std::string page;
  std::string mime;
  unsigned visit;  // the page visit it was asked in
};

ResourceTap::ResourceTap(wxWebView* view, Watch watch, Limit limit, Sink sink)
    : watch_(std::move(watch)), limit_(std::move(limit)), sink_(std::move(sink)) {
  if (!view || !view->GetNativeBackend()) return;
  native_ = WEBKIT_WEB_VIEW(view->GetNativeBackend());
  g_signal_connect(native_, "resource-load-started", G_CALLBACK(OnLoadStarted), this);
  g_signal_connect(native_, "load-changed", G_CALLBACK(OnLoadChanged), this);
}

ResourceTap::~ResourceTap() {
  if (native_) g_signal_handlers_disconnect_by_data(native_, this);
  NextPage();
  if (fetch_) {
    fetch_->tap = nullptr;
    g_cancellable_cancel(fetch_->cancellable);
  }
}

void ResourceTap::OnLoadStarted(WebKitWebView*, WebKitWebResource* resource, WebKitURIRequest*,
                                void* self) {
  auto* tap = static_cast<ResourceTap*>(self);
  // The one check made while nobody collects.
  if (!tap->watch_() || !tap->watched_.insert(resource).second) return;
  g_object_ref(resource);
  g_signal_connect(resource, "finished", G_CALLBACK(OnFinished), self);
  g_signal_connect(resource, "failed", G_CALLBACK(OnFailed), self);
}

void ResourceTap::OnLoadChanged(WebKitWebView*, int event, void* self) {
  if (event == WEBKIT_LOAD_STARTED) static_cast<ResourceTap*>(self)->NextPage();
}

void ResourceTap::Release(WebKitWebResource* resource) {
  if (watched_.erase(resource) == 0) return;
  g_signal_handlers_disconnect_by_data(resource, this);
  g_object_unref(resource);
}

void ResourceTap::NextPage() {
  for (WebKitWebResource* r : watched_) {
    g_signal_handlers_disconnect_by_data(r, this);
    g_object_unref(r);
  }
  watched_.clear();
  for (Waiting& w : waiting_) g_object_unref(w.resource);
  waiting_.clear();
  // A request already made is answered from this page: WebKit takes requests
  // in order, and the next page replaces this one only when its answer came.
  taken_.clear();
  ++visit_;
}

void ResourceTap::OnFailed(WebKitWebResource* resource, void*, void* self) {
  static_cast<ResourceTap*>(self)->Release(resource);
}

void ResourceTap::OnFinished(WebKitWebResource* resource, void* self) {
  auto* tap = static_cast<ResourceTap*>(self);
  g_object_ref(resource);
  tap->Release(resource);
  WebKitURIResponse* response = webkit_web_resource_get_response(resource);
  const char* uri = webkit_web_resource_get_uri(resource);
  const char* page = webkit_web_view_get_uri(tap->native_);
  const uint64_t limit = tap->limit_();
  // data: and blob: answers have no status; a revalidated one reports 304 with
  // the body kept (and no MIME type).
  const unsigned status = response ? webkit_uri_response_get_status_code(response) : 0;
  if (!response || !uri || !page || limit == 0 || status >= 400 ||
      webkit_uri_response_get_content_length(response) > limit ||
      resource == webkit_web_view_get_main_resource(tap->native_) || tap->taken_.count(uri)) {
    g_object_unref(resource);
    return;
  }
  const char* mime = webkit_uri_response_get_mime_type(response);
  // Pages, style sheets and scripts are the page's text, not its files: their
  // bytes are not asked for.
  if (mime && g_str_has_prefix(mime, "text/")) {
    g_object_unref(resource);
    return;
  }
  tap->waiting_.push_back(Waiting{resource, page, mime ? mime : ""});
  tap->Pump();
}

void ResourceTap::Pump() {
  if (fetch_ || waiting_.empty()) return;
  if (limit_() == 0) {  // collection ended meanwhile
    for (Waiting& w : waiting_) g_object_unref(w.resource);
    waiting_.clear();
    return;
  }
  Waiting next = std::move(waiting_.front());
  waiting_.pop_front();
  fetch_ = new Fetch{this, next.resource, g_cancellable_new(), std::move(next.page),
                     std::move(next.mime), visit_};
  webkit_web_resource_get_data(next.resource, fetch_->cancellable, OnData, fetch_);
}

void ResourceTap::OnData(GObject* source, GAsyncResult* result, void* data) {
  auto* fetch = static_cast<Fetch*>(data);
  gsize length = 0;
  GError* error = nullptr;
  guchar* bytes =
      webkit_web_resource_get_data_finish(WEBKIT_WEB_RESOURCE(source), result, &length, &error);
  ResourceTap* tap = fetch->tap;
  if (tap) {
    tap->fetch_ = nullptr;
    const char* uri = webkit_web_resource_get_uri(fetch->resource);
    // An answer asked for in the visit before counts for none of this one.
    const bool current = fetch->visit == tap->visit_;
    if (!error && uri && length <= tap->limit_() &&
        (!current || tap->taken_.insert(uri).second)) {
      Resource r{uri, fetch->page, fetch->mime,
                 std::string_view(reinterpret_cast<const char*>(bytes), bytes ? length : 0)};
      tap->sink_(r);
    }
  }
  g_free(bytes);
  if (error) g_error_free(error);
  g_object_unref(fetch->resource);
  g_object_unref(fetch->cancellable);
  delete fetch;
  if (tap) tap->Pump();
}

}  // namespace mireva
