#pragma once
// The links of an HTML page, found with libxml2's HTML parser and resolved
// against the page's address and its first <base href>. Each address appears
// once, with every way the page refers to it.
#include <cstddef>
#include <string>
#include <vector>

namespace mireva::dl {

// How a page refers to an address; a link may carry several.
enum LinkKind : unsigned {
  kAnchor = 1u << 0,  // <a href>, <area href> of an image map
  kImage = 1u << 1,   // <img src|srcset|lowsrc>, <input type=image>, background images, posters
  kFrame = 1u << 2,   // <frame src>, <iframe src>
  kEmbed = 1u << 3,   // <embed src>, <object data>, <param name=movie|src|filename|url>
  kMedia = 1u << 4,   // <video src>, <audio src>, <source src>, <bgsound src>
};
inline constexpr unsigned kLinked = kAnchor;
inline constexpr unsigned kEmbedded = kImage | kFrame | kEmbed | kMedia;
inline constexpr unsigned kAnyLink = kLinked | kEmbedded;

struct Link {
  std::string url;    // absolute http(s) address without fragment
  unsigned kinds = 0;
};

struct ExtractedLinks {
  std::vector<Link> links;  // in order of first appearance
  bool truncated = false;   // the page held more than the limit
};

// `html` is the page's bytes, `pageUrl` its address (after redirects). At most
// `maxLinks` distinct addresses are kept.
ExtractedLinks ExtractLinks(const std::string& html, const std::string& pageUrl,
                            size_t maxLinks = 5000);

}  // namespace mireva::dl
