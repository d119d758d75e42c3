#include "bookmarks/chromium_bookmarks.h"

#include <memory>
#include <string>
#include <utility>

#include "bookmarks/sjis_text.h"

namespace mireva {
namespace {

// Just enough JSON for the bookmarks file: objects, arrays, strings (with
// \u escapes and surrogate pairs), and the scalars skipped over.
struct Json {
  enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
  std::string text;
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  const Json* Get(std::string_view key) const {
    for (const auto& m : members)
      if (m.first == key) return &m.second;
    return nullptr;
  }
  std::string String(std::string_view key) const {
    const Json* v = Get(key);
    return v && v->type == Type::String ? v->text : std::string();
  }
};

class Parser {
 public:
  explicit Parser(std::string_view s) : s_(s) {}

  bool ParseDocument(Json* out) {
    if (!Value(out, 0)) return false;
    Skip();
    return pos_ == s_.size();
  }

 private:
  static constexpr int kMaxDepth = 200;

  void Skip() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
      ++pos_;
  }
  bool Eat(char c) {
    Skip();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  bool Value(Json* out, int depth) {
    if (depth > kMaxDepth) return false;
    Skip();
    if (pos_ >= s_.size()) return false;
    char c = s_[pos_];
    if (c == '{') {
      ++pos_;
      out->type = Json::Type::Object;
      if (Eat('}')) return true;
      do {
        Skip();
        std::string key;
        if (!String(&key) || !Eat(':')) return false;
        Json v;
        if (!Value(&v, depth + 1)) return false;
        out->members.emplace_back(std::move(key), std::move(v));
      } while (Eat(','));
      return Eat('}');
    }
    if (c == '[') {
      ++pos_;
      out->type = Json::Type::Array;
      if (Eat(']')) return true;
      do {
        Json v;
        if (!Value(&v, depth + 1)) return false;
        out->items.push_back(std::move(v));
      } while (Eat(','));
      return Eat(']');
    }
    if (c == '"') {
      out->type = Json::Type::String;
      return String(&out->text);
    }
    for (std::string_view word : {"true", "false", "null"}) {
      if (s_.substr(pos_, word.size()) == word) {
        pos_ += word.size();
        out->type = word == "null" ? Json::Type::Null : Json::Type::Bool;
        return true;
      }
    }
    size_t start = pos_;
    while (pos_ < s_.size() && (std::string_view("+-.eE0123456789").find(s_[pos_]) != std::string_view::npos))
      ++pos_;
    out->type = Json::Type::Number;
    return pos_ > start;
  }

  bool Hex4(unsigned long* v) {
    if (pos_ + 4 > s_.size()) return false;
    *v = 0;
    for (int i = 0; i < 4; ++i) {
      char h = s_[pos_++];
      int d = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10 : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
      if (d < 0) return false;
      *v = *v * 16 + static_cast<unsigned long>(d);
    }
    return true;
  }

  bool String(std::string* out) {
    if (pos_ >= s_.size() || s_[pos_] != '"') return false;
    ++pos_;
    while (pos_ < s_.size()) {
      char c = s_[pos_++];
      if (c == '"') return true;
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (pos_ >= s_.size()) return false;
      char e = s_[pos_++];
      switch (e) {
        case 'n': *out += '\n'; break;
        case 't': *out += '\t'; break;
        case 'r': *out += '\r'; break;
        case 'b': *out += '\b'; break;
        case 'f': *out += '\f'; break;
        case 'u': {
          unsigned long cp;
          if (!Hex4(&cp)) return false;
          if (cp >= 0xD800 && cp <= 0xDBFF && s_.substr(pos_, 2) == "\\u") {
            size_t save = pos_;
            pos_ += 2;
            unsigned long lo;
            if (Hex4(&lo) && lo >= 0xDC00 && lo <= 0xDFFF) {
              cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
            } else {
              pos_ = save;
            }
          }
          *out += CodePointToUtf8(cp);
          break;
        }
        default: *out += e;  // \" \\ \/
      }
    }
    return false;
  }

  std::string_view s_;
  size_t pos_ = 0;
};

void Convert(const Json& node, std::vector<BookmarkNode>& into) {
  std::string type = node.String("type");
  if (type == "url") {
    BookmarkNode b;
    b.title = node.String("name");
    b.url = node.String("url");
    into.push_back(std::move(b));
  } else if (type == "folder" || node.Get("children")) {
    BookmarkNode f;
    f.folder = true;
    f.title = node.String("name");
    if (const Json* children = node.Get("children"); children && children->type == Json::Type::Array)
      for (const Json& c : children->items) Convert(c, f.children);
    into.push_back(std::move(f));
  }
}

}  // namespace

std::optional<std::vector<BookmarkNode>> ParseChromiumBookmarks(std::string_view json) {
  Json doc;
  if (!Parser(json).ParseDocument(&doc) || doc.type != Json::Type::Object) return std::nullopt;
  const Json* roots = doc.Get("roots");
  if (!roots || roots->type != Json::Type::Object) return std::nullopt;
  std::vector<BookmarkNode> result;
  for (const auto& [name, root] : roots->members) {
    if (root.type != Json::Type::Object) continue;  // "sync_transaction_version" and the like
    std::vector<BookmarkNode> one;
    Convert(root, one);
    for (BookmarkNode& n : one)
      if (!n.folder || CountBookmarks(n.children) > 0) result.push_back(std::move(n));
  }
  return result;
}

}  // namespace mireva
