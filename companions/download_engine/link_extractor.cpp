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

// At most this many candidates of one srcset attribute count: real ones offer a
// handful of sizes, a hostile one millions.
constexpr size_t kMaxSrcsetCandidates = 32;
// At most this many references of a page are resolved (each takes a parse).
constexpr size_t kMaxReferences = 200000;

// Resolves and merges references as they are found, so memory stays bounded by
// the links kept, whatever the page holds.
class LinkSink {
 public:
  LinkSink(ExtractedLinks& result, std::string base, size_t maxLinks)
      : result_(result), base_(std::move(base)), maxLinks_(maxLinks) {}

  bool Full() const { return references_ >= kMaxReferences; }

  void Add(const std::string& ref, unsigned kind) {
    if (Full()) {
      result_.truncated = true;
      return;
    }
    ++references_;
    auto url = ResolveUrl(base_, ref);
    if (!url) return;
    auto it = seen_.find(*url);
    if (it != seen_.end()) {
      result_.links[it->second].kinds |= kind;
      return;
    }
    if (result_.links.size() >= maxLinks_) {
      result_.truncated = true;
      return;
    }
    seen_.emplace(*url, result_.links.size());
    result_.links.push_back({std::move(*url), kind});
  }

 private:
  ExtractedLinks& result_;
  const std::string base_;
  const size_t maxLinks_;
  size_t references_ = 0;
  std::unordered_map<std::string, size_t> seen_;
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
void AddSrcset(const std::string& srcset, LinkSink& out) {
  size_t i = 0;
  for (size_t taken = 0; i < srcset.size() && taken < kMaxSrcsetCandidates;) {
    while (i < srcset.size() && (srcset[i] == ' ' || srcset[i] == ',' || srcset[i] == '\t' ||
                                 srcset[i] == '\n' || srcset[i] == '\r'))
      ++i;
    size_t start = i;
    while (i < srcset.size() && srcset[i] != ' ' && srcset[i] != '\t' && srcset[i] != '\n' &&
           srcset[i] != '\r')
      ++i;
    std::string url = srcset.substr(start, i - start);
    while (!url.empty() && url.back() == ',') url.pop_back();
    if (!url.empty()) {
      out.Add(url, kImage);
      ++taken;
    }
    while (i < srcset.size() && srcset[i] != ',') ++i;
  }
}

// The first <base href> of the page, wherever it stands.
std::string FindBase(xmlNode* n) {
  if (NameIs(n, "base") && HasAttr(n, "href")) return Attr(n, "href");
  return std::string();
}

void Visit(xmlNode* n, LinkSink& out) {
  auto add = [&](const char* attr, unsigned kind) {
    if (HasAttr(n, attr)) out.Add(Attr(n, attr), kind);
  };
  if (NameIs(n, "a") || NameIs(n, "area")) {
    add("href", kAnchor);
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
// and calls `visit` for at most `budget` elements, until it returns false.
template <typename Visitor>
void Walk(xmlNode* root, size_t budget, Visitor visit) {
  xmlNode* n = root;
  while (n && budget > 0) {
    if (n->type == XML_ELEMENT_NODE) {
      --budget;
      if (!visit(n)) return;
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
  constexpr size_t kMaxElements = 200000;
  xmlNode* root = xmlDocGetRootElement(doc);
  // Every link resolves against the first <base href>, even links before it.
  std::string base;
  Walk(root, kMaxElements, [&](xmlNode* n) {
    base = FindBase(n);
    return base.empty();
  });
  std::string resolveAgainst = pageUrl;
  if (!base.empty())
    if (auto b = ResolveUrl(pageUrl, base)) resolveAgainst = *b;
  LinkSink sink(result, resolveAgainst, maxLinks);
  Walk(root, kMaxElements, [&](xmlNode* n) {
    Visit(n, sink);
    return !sink.Full();
  });
  xmlFreeDoc(doc);
  return result;
}

}  // namespace mireva::dl
