#pragma once
// Hands the embedder every resource the page on show received, with its bytes,
// as WebKit reports them: the document's images, those of its frames and style
// sheets, images a script adds after the page loaded, data: and blob: images,
// answers WebKit does not keep on disk (no-store) and memory-cache hits.
//
// A resource is watched when it starts loading if `watch` says so (the only
// work done per resource otherwise) and taken when it finishes if `limit`
// then allows it.
// Its bytes are asked of WebKit one resource at a time, so at most one copy
// beyond WebKit's own is held, and handed to the sink on the GUI thread.
// WebKit looks a resource's bytes up in the page on show, so resources still
// waiting (not yet asked for) when the next page starts loading are dropped,
// as are later answers for an address the sink already had in this page visit.
//
// Resources WebKit keeps no bytes of (audio, video, script fetches) reach the
// sink with empty bytes; a text/ resource (a frame's page, a style sheet, a
// script), one whose announced size exceeds the limit, or one that failed or
// answered with an error status never does.
#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <string_view>

class wxWebView;
typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitWebResource WebKitWebResource;
typedef struct _WebKitURIRequest WebKitURIRequest;
typedef struct _GAsyncResult GAsyncResult;
typedef struct _GObject GObject;

namespace mireva {

class ResourceTap {
 public:
  struct Resource {
    std::string address;  // UTF-8, as WebKit names it
    std::string page;     // the address of the page on show
    std::string mime;     // the response's MIME type; empty e.g. after a revalidation
    std::string_view bytes;
  };
  // Whether resources may be wanted now: a cheap check.
  using Watch = std::function<bool()>;
  // The largest resource wanted now in bytes; 0 when none is wanted.
  using Limit = std::function<uint64_t()>;
  using Sink = std::function<void(const Resource&)>;

  ResourceTap(wxWebView* view, Watch watch, Limit limit, Sink sink);
  ~ResourceTap();
  ResourceTap(const ResourceTap&) = delete;
  ResourceTap& operator=(const ResourceTap&) = delete;

 private:
  struct Waiting {
    WebKitWebResource* resource;  // a reference held while it waits
    std::string page;
    std::string mime;
  };
  struct Fetch;

  static void OnLoadStarted(WebKitWebView* view, WebKitWebResource* resource,
                            WebKitURIRequest* request, void* self);
  static void OnLoadChanged(WebKitWebView* view, int event, void* self);
  static void OnFinished(WebKitWebResource* resource, void* self);
  static void OnFailed(WebKitWebResource* resource, void* error, void* self);
  static void OnData(GObject* source, GAsyncResult* result, void* fetch);
  void NextPage();
  void Pump();
  void Release(WebKitWebResource* resource);

  WebKitWebView* native_ = nullptr;
  Watch watch_;
  Limit limit_;
  Sink sink_;
  std::set<WebKitWebResource*> watched_;  // resources with our "finished" handler
  std::deque<Waiting> waiting_;
  Fetch* fetch_ = nullptr;         // the one resource whose bytes are on the way
  std::set<std::string> taken_;    // addresses handed over in this page visit
  unsigned visit_ = 0;
};

}  // namespace mireva
