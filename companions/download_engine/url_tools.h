#pragma once
// Web addresses as the engine handles them: resolution of a link against its
// page with curl's URL API, and the parts the engine needs (host, origin, the
// last path segment, the extension). Only http and https addresses are
// accepted; everything else (javascript:, mailto:, data:, file:, ftp:) is
// refused with an empty result.
#include <optional>
#include <string>

namespace mireva::dl {

// `ref` resolved against `base` (both may be absolute), without its fragment.
// Blanks around `ref` are dropped and tabs or line ends inside it removed, as
// browsers do; other unsafe characters are percent-encoded.
std::optional<std::string> ResolveUrl(const std::string& base, const std::string& ref);

struct UrlParts {
  std::string scheme;  // "http" or "https"
  std::string host;    // lower case
  std::string port;    // empty for the scheme's default
  std::string path;    // begins with "/"
  std::string query;   // without "?"
};
std::optional<UrlParts> SplitUrl(const std::string& url);

// "http://host[:port]/"
std::string OriginOf(const UrlParts& parts);
// The last segment of the path, percent-decoded (may be empty).
std::string LastSegment(const UrlParts& parts);
// The extension of the last path segment, lower case, without the dot; the query
// plays no part ("a.JPG?x=1.gif" -> "jpg").
std::string ExtensionOf(const UrlParts& parts);
// The spelling of an extension used for comparisons: lower case without a leading
// dot, with jpeg -> jpg, tiff -> tif and midi -> mid.
std::string NormalExtension(std::string ext);

// Hosts compare without regard to case.
bool SameHost(const std::string& a, const std::string& b);

}  // namespace mireva::dl
