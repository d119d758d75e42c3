#include "companions/download_engine/url_tools.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <strings.h>

namespace mireva::dl {

namespace {

struct UrlFree {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlFree>;

std::optional<std::string> Part(CURLU* u, CURLUPart what, unsigned flags = 0) {
  char* text = nullptr;
  if (curl_url_get(u, what, &text, flags) != CURLUE_OK || !text) return std::nullopt;
  std::string result(text);
  curl_free(text);
  return result;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Browsers strip leading and trailing ASCII whitespace from link values and drop
// tabs and line ends inside them; pages rely on it.
std::string CleanReference(const std::string& ref) {
  size_t b = 0, e = ref.size();
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; };
  while (b < e && blank(ref[b])) ++b;
  while (e > b && blank(ref[e - 1])) --e;
  std::string out;
  out.reserve(e - b);
  for (size_t i = b; i < e; ++i)
    if (ref[i] != '\t' && ref[i] != '\n' && ref[i] != '\r') out += ref[i];
  return out;
}

bool IsWebScheme(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

}  // namespace

std::optional<std::string> ResolveUrl(const std::string& base, const std::string& ref) {
  const std::string cleaned = CleanReference(ref);
  if (cleaned.empty() || cleaned.size() > 8192) return std::nullopt;
  if (cleaned.find('\0') != std::string::npos) return std::nullopt;
  UrlHandle u(curl_url());
  if (!u) return std::nullopt;
  if (!base.empty() && curl_url_set(u.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK)
    return std::nullopt;
  // With a base set, curl resolves a relative reference against it; an absolute
  // one replaces it. Non-web schemes are refused below.
  if (curl_url_set(u.get(), CURLUPART_URL, cleaned.c_str(),
                   CURLU_URLENCODE | CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
    return std::nullopt;
  auto scheme = Part(u.get(), CURLUPART_SCHEME);
  if (!scheme || !IsWebScheme(Lower(*scheme))) return std::nullopt;
  auto host = Part(u.get(), CURLUPART_HOST);
  if (!host || host->empty()) return std::nullopt;
  curl_url_set(u.get(), CURLUPART_FRAGMENT, nullptr, 0);
  return Part(u.get(), CURLUPART_URL);
}

std::optional<UrlParts> SplitUrl(const std::string& url) {
  UrlHandle u(curl_url());
  if (!u || curl_url_set(u.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
    return std::nullopt;
  UrlParts p;
  p.scheme = Lower(Part(u.get(), CURLUPART_SCHEME).value_or(""));
  if (!IsWebScheme(p.scheme)) return std::nullopt;
  p.host = Lower(Part(u.get(), CURLUPART_HOST).value_or(""));
  if (p.host.empty()) return std::nullopt;
  p.port = Part(u.get(), CURLUPART_PORT).value_or("");
  p.path = Part(u.get(), CURLUPART_PATH).value_or("/");
  if (p.path.empty() || p.path[0] != '/') p.path = std::string("/") + p.path;
  p.query = Part(u.get(), CURLUPART_QUERY).value_or("");
  return p;
}

std::string OriginOf(const UrlParts& parts) {
  std::string origin = parts.scheme + "://" + parts.host;
  if (!parts.port.empty()) origin += ":" + parts.port;
  return origin + "/";
}

std::string LastSegment(const UrlParts& parts) {
  const std::string& path = parts.path;
  size_t slash = path.rfind('/');
  std::string seg = slash == std::string::npos ? path : path.substr(slash + 1);
  int len = 0;
  char* decoded = curl_easy_unescape(nullptr, seg.c_str(), static_cast<int>(seg.size()), &len);
  if (!decoded) return seg;
  std::string out(decoded, static_cast<size_t>(len));
  curl_free(decoded);
  return out;
}

std::string ExtensionOf(const UrlParts& parts) {
  const std::string& path = parts.path;
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return NormalExtension(path.substr(dot + 1));
}

std::string NormalExtension(std::string ext) {
  while (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  ext = Lower(ext);
  if (ext == "jpeg") return "jpg";
  if (ext == "tiff") return "tif";
  if (ext == "midi") return "mid";
  return ext;
}

bool SameHost(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

}  // namespace mireva::dl
