#include "companions/download_engine/link_extractor.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <climits>
#include <strings.h>
#include <unordered_map>
#include <utility>

#include "companions/download_engine/url_tools.h"

namespace mireva::dl {

namespace {

struct RawLink {
  std::string ref;
  unsigned kind;
};

bool NameIs(const xmlNode* node, const char* name) {
  return node->name && strcasecmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

std::string Attr(xmlNode* node, const char* name) {
  xmlChar* v = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  if (!v) return std::string();
  std::string s(reinterpret_cast<const char*>(v));
  xmlFree(v);
  return s;
}

bool HasAttr(xmlNode* node, const char* name) {
  return xmlHasProp(node, reinterpret_cast<const xmlChar*>(name)) != nullptr;
}

// "a.jpg 1x, b.jpg 2x" -> the addresses of each candidate.
void AddSrcset(const std::string& srcset, std::vector<RawLink>& out) {
  size_t i = 0;
  while (i < srcset.size()) {
    while (i < srcset.size() && (srcset[i] == ' ' || srcset[i] == ',' || srcset[i] == '\t' ||
                                 srcset[i] == '\n' || srcset[i] == '\r'))
      ++i;
    size_t start = i;
    while (i < srcset.size() && srcset[i] != ' ' && srcset[i] != '\t' && srcset[i] != '\n' &&
           srcset[i] != '\r')
      ++i;
    std::string url = srcset.substr(start, i - start);
    while (!url.empty() && url.back() == ',') url.pop_back();
    if (!url.empty()) out.push_back({url, kImage});
    while (i < srcset.size() && srcset[i] != ',') ++i;
  }
}

void Visit(xmlNode* n, std::vector<RawLink>& out, std::string& base) {
  auto add = [&](const char* attr, unsigned kind) {
    if (HasAttr(n, attr)) out.push_back({Attr(n, attr), kind});
  };
  if (NameIs(n, "a") || NameIs(n, "area")) {
    add("href", kAnchor);
  } else if (NameIs(n, "base")) {
    if (base.empty() && HasAttr(n, "href")) base = Attr(n, "href");
  } else if (NameIs(n, "img")) {
    add("src", kImage);
    add("lowsrc", kImage);
    add("dynsrc", kMedia);
    if (HasAttr(n, "srcset")) AddSrcset(Attr(n, "srcset"), out);
  } else if (NameIs(n, "input")) {
    if (strcasecmp(Attr(n, "type").c_str(), "image") == 0) add("src", kImage);
  } else if (NameIs(n, "frame") || NameIs(n, "iframe")) {
    add("src", kFrame);
  } else if (NameIs(n, "embed")) {
    add("src", kEmbed);
  } else if (NameIs(n, "object")) {
    add("data", kEmbed);
  } else if (NameIs(n, "param")) {
    std::string name = Attr(n, "name");
    for (const char* p : {"movie", "src", "filename", "url"})
      if (strcasecmp(name.c_str(), p) == 0) add("value", kEmbed);
  } else if (NameIs(n, "video") || NameIs(n, "audio") || NameIs(n, "source") ||
             NameIs(n, "bgsound")) {
    add("src", kMedia);
    add("poster", kImage);
    if (NameIs(n, "source") && HasAttr(n, "srcset")) AddSrcset(Attr(n, "srcset"), out);
  } else if (NameIs(n, "body") || NameIs(n, "table") || NameIs(n, "td") || NameIs(n, "th")) {
    add("background", kImage);
  }
}

// Walks the tree without recursion (a hostile page can nest elements deeply)
// and visits at most `budget` elements.
void Collect(xmlNode* root, std::vector<RawLink>& out, std::string& base, size_t budget) {
  xmlNode* n = root;
  while (n && budget > 0) {
    if (n->type == XML_ELEMENT_NODE) {
      --budget;
      Visit(n, out, base);
      if (n->children) {
        n = n->children;
        continue;
      }
    }
    while (n && n != root && !n->next) n = n->parent;
    if (!n || n == root) break;
    n = n->next;
  }
}

}  // namespace

ExtractedLinks ExtractLinks(const std::string& html, const std::string& pageUrl, size_t maxLinks) {
  ExtractedLinks result;
  if (html.empty() || html.size() > static_cast<size_t>(INT_MAX)) return result;
  // HUGE lifts the nesting limit (deeply nested pages are common enough); the
  // page itself is bounded by the fetch.
  htmlDocPtr doc = htmlReadMemory(html.data(), static_cast<int>(html.size()), pageUrl.c_str(),
                                  nullptr,
                                  HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                      HTML_PARSE_NONET | HTML_PARSE_COMPACT | XML_PARSE_HUGE);
  if (!doc) return result;
  std::vector<RawLink> raw;
  std::string base;
  Collect(xmlDocGetRootElement(doc), raw, base, 200000);
  xmlFreeDoc(doc);

  std::string resolveAgainst = pageUrl;
  if (!base.empty())
    if (auto b = ResolveUrl(pageUrl, base)) resolveAgainst = *b;

  std::unordered_map<std::string, size_t> seen;
  for (const RawLink& r : raw) {
    auto url = ResolveUrl(resolveAgainst, r.ref);
    if (!url) continue;
    auto it = seen.find(*url);
    if (it != seen.end()) {
      result.links[it->second].kinds |= r.kind;
      continue;
    }
    if (result.links.size() >= maxLinks) {
      result.truncated = true;
      continue;
    }
    seen.emplace(*url, result.links.size());
    result.links.push_back({std::move(*url), r.kind});
  }
  return result;
}

}  // namespace mireva::dl
