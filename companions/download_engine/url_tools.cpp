#include "companions/download_engine/url_tools.h"

#include <curl/curl.h>

#include <algorithm>

#include "platform/curl_url.h"
#include "platform/text_helpers.h"

namespace mireva::dl {

namespace {

// Browsers strip leading and trailing ASCII whitespace from link values and drop
// tabs and line ends inside them; pages rely on it.
std::string CleanReference(const std::string& ref) {
  std::string out;
  for (char c : Trim(ref, " \t\n\r\f"))
    if (c != '\t' && c != '\n' && c != '\r') out += c;
  return out;
}

bool IsWebScheme(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

}  // namespace

std::optional<std::string> ResolveUrl(const std::string& base, const std::string& ref) {
  const std::string cleaned = CleanReference(ref);
  if (cleaned.empty() || cleaned.size() > 8192) return std::nullopt;
  if (cleaned.find('\0') != std::string::npos) return std::nullopt;
  CurlUrl u;
  if (!u) return std::nullopt;
  if (!base.empty() && !u.Set(CURLUPART_URL, base.c_str())) return std::nullopt;
  // With a base set, curl resolves a relative reference against it; an absolute
  // one replaces it. Non-web schemes are refused below.
  if (!u.Set(CURLUPART_URL, cleaned.c_str(), CURLU_URLENCODE | CURLU_NON_SUPPORT_SCHEME))
    return std::nullopt;
  auto scheme = u.Get(CURLUPART_SCHEME);
  if (!scheme || !IsWebScheme(LowerAscii(*scheme))) return std::nullopt;
  auto host = u.Get(CURLUPART_HOST);
  if (!host || host->empty()) return std::nullopt;
  u.Set(CURLUPART_FRAGMENT, nullptr);
  return u.Get(CURLUPART_URL);
}

std::optional<UrlParts> SplitUrl(const std::string& url) {
  CurlUrl u;
  if (!u.Set(CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME)) return std::nullopt;
  UrlParts p;
  p.scheme = LowerAscii(u.Get(CURLUPART_SCHEME).value_or(""));
  if (!IsWebScheme(p.scheme)) return std::nullopt;
  p.host = LowerAscii(u.Get(CURLUPART_HOST).value_or(""));
  if (p.host.empty()) return std::nullopt;
  p.port = u.Get(CURLUPART_PORT).value_or("");
  p.path = u.Get(CURLUPART_PATH).value_or("/");
  if (p.path.empty() || p.path[0] != '/') p.path = std::string("/") + p.path;
  p.query = u.Get(CURLUPART_QUERY).value_or("");
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
  ext = LowerAscii(ext);
  if (ext == "jpeg") return "jpg";
  if (ext == "tiff") return "tif";
  if (ext == "midi") return "mid";
  return ext;
}

bool SameHost(const std::string& a, const std::string& b) { return EqualsNoCase(a, b); }

}  // namespace mireva::dl
