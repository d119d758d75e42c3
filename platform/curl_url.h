#pragma once
// An address held by curl's URL API (CURLU), freed with it. Only the places
// that already talk to curl use it: the page fetch, the download engine and
// the link harvest; they link mireva_platform_curl.
#include <curl/curl.h>

#include <optional>
#include <string>

namespace mireva {

class CurlUrl {
 public:
  CurlUrl() : handle_(curl_url()) {}
  ~CurlUrl() { curl_url_cleanup(handle_); }
  CurlUrl(const CurlUrl&) = delete;
  CurlUrl& operator=(const CurlUrl&) = delete;

  // False when curl could not allocate the handle; every Set then fails.
  explicit operator bool() const { return handle_ != nullptr; }

  // curl_url_set: `text` nullptr clears the part. Setting CURLUPART_URL while
  // an address is held resolves a relative reference against it. True on success.
  bool Set(CURLUPart part, const char* text, unsigned flags = 0);

  // curl_url_get: the part as text, or nothing when curl has none or fails.
  std::optional<std::string> Get(CURLUPart part, unsigned flags = 0) const;

 private:
  CURLU* handle_;
};

}  // namespace mireva
