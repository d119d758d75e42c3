#include "platform/curl_url.h"

namespace mireva {

bool CurlUrl::Set(CURLUPart part, const char* text, unsigned flags) {
  return handle_ && curl_url_set(handle_, part, text, flags) == CURLUE_OK;
}

std::optional<std::string> CurlUrl::Get(CURLUPart part, unsigned flags) const {
  if (!handle_) return std::nullopt;
  char* text = nullptr;
  const bool ok = curl_url_get(handle_, part, &text, flags) == CURLUE_OK && text;
  std::optional<std::string> result;
  if (ok) result = text;
  curl_free(text);
  return result;
}

}  // namespace mireva
