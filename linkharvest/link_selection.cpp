#include "linkharvest/link_selection.h"

#include <fnmatch.h>
#include <regex.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "companions/download_engine/safe_name.h"
#include "platform/text_encoding.h"
#include "platform/text_helpers.h"

namespace mireva {

// Written for WebKit; it returns a string so that the answer is the same
// whatever the web view does with other values.
const char kPageLinksScript[] = R"JS((function () {
  var out = [];
  function clean(s) { return String(s || '').replace(/[\t\r\n]+/g, ' ').trim().slice(0, 300); }
  function add(kind, url, text, w, h) {
    if (url) out.push(kind + '\t' + url + '\t' + clean(text) + '\t' + (w | 0) + '\t' + (h | 0));
  }
  function abs(doc, u) { try { return new URL(u, doc.baseURI).href; } catch (e) { return ''; } }
  function srcset(doc, el, kind, text) {
    var v = el.getAttribute('srcset');
    if (!v) return;
    v.split(',').forEach(function (c) {
      var u = c.trim().split(/\s+/)[0];
      if (u) add(kind, abs(doc, u), text, 0, 0);
    });
  }
  function walk(doc, depth) {
    var i, e, l, m, re;
    l = doc.querySelectorAll('a[href],area[href]');
    for (i = 0; i < l.length; i++) {
      e = l[i];
      add('link', e.href, e.textContent || e.getAttribute('title') || e.getAttribute('alt'), 0, 0);
    }
    l = doc.querySelectorAll('img');
    for (i = 0; i < l.length; i++) {
      e = l[i];
      var t = e.getAttribute('alt') || e.getAttribute('title');
      add('image', e.src, t, e.naturalWidth || e.width, e.naturalHeight || e.height);
      srcset(doc, e, 'image', t);
    }
    l = doc.querySelectorAll('source,video,audio,embed[src],object[data]');
    for (i = 0; i < l.length; i++) {
      e = l[i];
      var src = e.getAttribute('src') || e.getAttribute('data');
      if (src) add('media', abs(doc, src), e.getAttribute('title'), 0, 0);
      if (e.getAttribute('poster')) add('image', abs(doc, e.getAttribute('poster')), '', 0, 0);
      srcset(doc, e, 'media', '');
    }
    l = doc.querySelectorAll('[style*="url("]');
    re = /url\(\s*(['"]?)(.*?)\1\s*\)/g;
    for (i = 0; i < l.length; i++) {
      var st = l[i].getAttribute('style');
      while ((m = re.exec(st)) !== null) add('image', abs(doc, m[2]), '', 0, 0);
    }
    if (depth > 8) return;
    l = doc.querySelectorAll('frame,iframe');
    for (i = 0; i < l.length; i++) {
      try { if (l[i].contentDocument) walk(l[i].contentDocument, depth + 1); } catch (x) {}
    }
  }
  walk(document, 0);
  return out.join('\n');
})())JS";

namespace {

constexpr size_t kMaxAddressBytes = 4096;
constexpr size_t kMaxTextBytes = 600;

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::vector<std::string> Split(const std::string& text, char at) {
  std::vector<std::string> parts;
  size_t begin = 0;
  for (;;) {
    size_t end = text.find(at, begin);
    parts.push_back(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
    if (end == std::string::npos) break;
    begin = end + 1;
  }
  return parts;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return std::string();
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// The pieces of an absolute address that the tags and patterns use.
struct Address {
  std::string host;
  std::string path;   // from the first "/" after the host, without query
  std::string query;  // without "?"
};

Address SplitAddress(const std::string& url) {
  Address a;
  size_t scheme = url.find("://");
  size_t hostBegin = scheme == std::string::npos ? 0 : scheme + 3;
  size_t hostEnd = url.find_first_of("/?#", hostBegin);
  std::string authority = url.substr(hostBegin, hostEnd == std::string::npos ? std::string::npos
                                                                             : hostEnd - hostBegin);
  size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);
  size_t colon = authority.rfind(':');
  if (colon != std::string::npos && authority.find(']', colon) == std::string::npos)
    authority.erase(colon);
  a.host = Lower(authority);
  if (hostEnd == std::string::npos) return a;
  size_t q = url.find('?', hostEnd);
  size_t f = url.find('#', hostEnd);
  size_t pathEnd = std::min(q, f);
  a.path = url.substr(hostEnd, pathEnd == std::string::npos ? std::string::npos : pathEnd - hostEnd);
  if (q != std::string::npos && q < f)
    a.query = url.substr(q + 1, f == std::string::npos ? std::string::npos : f - q - 1);
  return a;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Percent-decoded text as UTF-8 (an address's bytes are UTF-8 as a rule;
// older Japanese sites encode Shift_JIS).
std::string DecodeToUtf8(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
        HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return IsValidUtf8(out) ? out : SjisToUtf8(out);
}

std::string TwoDigits(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", n);
  return buf;
}

}  // namespace

std::vector<PageLink> ParsePageLinks(const std::string& answer, size_t limit) {
  std::vector<PageLink> links;
  std::unordered_map<std::string, size_t> seen;
  for (const std::string& line : Split(answer, '\n')) {
    std::vector<std::string> f = Split(line, '\t');
    if (f.size() < 2) continue;
    // The page's own words, bounded: an address past this is no file to fetch.
    if (f[1].size() > kMaxAddressBytes) continue;
    std::string address = f[1];
    size_t hash = address.find('#');
    if (hash != std::string::npos) address.erase(hash);
    const std::string lower = Lower(address.substr(0, 8));
    if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0 &&
        lower.rfind("ftp://", 0) != 0)
      continue;
    PageLink link;
    link.address = address;
    link.text = f.size() > 2 ? CutSjis(f[2], kMaxTextBytes) : std::string();
    link.width = f.size() > 3 ? std::atoi(f[3].c_str()) : 0;
    link.height = f.size() > 4 ? std::atoi(f[4].c_str()) : 0;
    auto found = seen.find(address);
    if (found != seen.end()) {
      PageLink& first = links[found->second];
      if (first.text.empty()) first.text = link.text;
      if (first.width == 0 && link.width > 0) {
        first.width = link.width;
        first.height = link.height;
      }
      continue;
    }
    if (links.size() >= limit) continue;
    seen.emplace(address, links.size());
    links.push_back(std::move(link));
  }
  return links;
}

// glibc's matcher: no recursion that a long address could run out of stack with.
struct LinkPattern::Compiled {
  regex_t re{};
  bool ok = false;
  Compiled() = default;
  Compiled(const Compiled&) = delete;
  Compiled& operator=(const Compiled&) = delete;
  ~Compiled() {
    if (ok) regfree(&re);
  }
};

LinkPattern::LinkPattern(const std::string& text) : text_(Trim(text)) {
  if (text_.size() >= 2 && text_.front() == '/' && text_.back() == '/') {
    isRegex_ = true;
    auto compiled = std::make_shared<Compiled>();
    if (regcomp(&compiled->re, text_.substr(1, text_.size() - 2).c_str(),
                REG_EXTENDED | REG_ICASE | REG_NOSUB) == 0) {
      compiled->ok = true;
      regex_ = std::move(compiled);
    }
  } else if (text_.find_first_of("*?[") == std::string::npos && !text_.empty()) {
    text_ = "*" + text_ + "*";
  } else if (text_.size() > 1 && text_[0] == '*' && text_.find_first_of("*?[\\", 1) == std::string::npos) {
    // The common "*.zip": an end to compare, thousands of times faster than a match.
    suffix_ = Lower(text_.substr(1));
  }
}

namespace {

bool EndsWithNoCase(const std::string& text, size_t end, const std::string& lowerSuffix) {
  if (end < lowerSuffix.size()) return false;
  const size_t from = end - lowerSuffix.size();
  for (size_t i = 0; i < lowerSuffix.size(); ++i) {
    char c = text[from + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowerSuffix[i]) return false;
  }
  return true;
}

}  // namespace

bool LinkPattern::Matches(const std::string& address) const {
  if (text_.empty()) return false;
  if (isRegex_) return regex_ && regexec(&regex_->re, address.c_str(), 0, nullptr, 0) == 0;
  if (!suffix_.empty())
    return EndsWithNoCase(address, address.size(), suffix_) ||
           EndsWithNoCase(address, std::min(address.find_first_of("?#"), address.size()), suffix_);
  if (fnmatch(text_.c_str(), address.c_str(), FNM_CASEFOLD) == 0) return true;
  const size_t end = address.find_first_of("?#");
  if (end == std::string::npos) {
    const size_t slash = address.rfind('/');
    return slash != std::string::npos &&
           fnmatch(text_.c_str(), address.c_str() + slash + 1, FNM_CASEFOLD) == 0;
  }
  const std::string bare = address.substr(0, end);
  if (fnmatch(text_.c_str(), bare.c_str(), FNM_CASEFOLD) == 0) return true;
  const size_t slash = bare.rfind('/');
  return slash != std::string::npos &&
         fnmatch(text_.c_str(), bare.c_str() + slash + 1, FNM_CASEFOLD) == 0;
}

bool NamedFilter::Matches(const std::string& address) const {
  for (const LinkPattern& p : patterns)
    if (p.Matches(address)) return true;
  return false;
}

std::vector<NamedFilter> ParseFilters(const std::string& text) {
  std::vector<NamedFilter> filters;
  for (const std::string& raw : Split(text, '\n')) {
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    NamedFilter filter;
    filter.name = Trim(line.substr(0, eq));
    for (const std::string& p : Split(line.substr(eq + 1), ';'))
      if (!Trim(p).empty()) filter.patterns.emplace_back(p);
    if (filter.name.empty() || filter.patterns.empty()) continue;
    filters.push_back(std::move(filter));
    if (filters.size() >= 64) break;
  }
  return filters;
}

std::string DefaultFiltersText() {
  return "# リンクの選択の絞り込み: 名前=パターン;パターン...\n"
         "# *.zip のようなワイルドカード、または /正規表現/ (大文字小文字は区別しません)\n"
         "画像=*.jpg;*.jpeg;*.jpe;*.gif;*.png;*.webp;*.bmp;*.svg;*.tif;*.tiff\n"
         "JPEG=*.jpg;*.jpeg;*.jpe\n"
         "GIF=*.gif\n"
         "PNG=*.png\n"
         "動画=*.mp4;*.webm;*.mov;*.avi;*.wmv;*.mkv;*.mpg;*.mpeg;*.flv;*.m4v;*.swf\n"
         "音声=*.mp3;*.wav;*.ogg;*.oga;*.flac;*.m4a;*.aac;*.mid;*.midi;*.wma\n"
         "圧縮ファイル=*.zip;*.lzh;*.rar;*.7z;*.gz;*.tgz;*.bz2;*.xz;*.tar;*.cab\n"
         "文書=*.pdf;*.doc;*.docx;*.xls;*.xlsx;*.ppt;*.pptx;*.txt;*.rtf;*.odt;*.csv\n"
         "プログラム=*.exe;*.msi;*.deb;*.rpm;*.apk;*.dmg;*.jar;*.sh\n";
}

std::string KindOf(const std::vector<NamedFilter>& filters, const std::string& address) {
  std::string kinds;
  for (const NamedFilter& f : filters) {
    if (!f.Matches(address)) continue;
    if (!kinds.empty()) kinds += ",";
    kinds += f.name;
  }
  return kinds;
}

std::vector<bool> ChooseLinks(const std::vector<PageLink>& links,
                              const std::vector<NamedFilter>& filters,
                              const std::string& quickFilter) {
  std::vector<bool> chosen(links.size(), false);
  if (!Trim(quickFilter).empty()) {
    const LinkPattern quick(quickFilter);
    for (size_t i = 0; i < links.size(); ++i) chosen[i] = quick.Matches(links[i].address);
    return chosen;
  }
  for (size_t i = 0; i < links.size(); ++i)
    for (const NamedFilter& f : filters)
      if (f.on && f.Matches(links[i].address)) {
        chosen[i] = true;
        break;
      }
  return chosen;
}

std::string ApplyMask(const std::string& mask, const PageLink& link, size_t number,
                      const MaskContext& context) {
  const Address a = SplitAddress(link.address);
  // Split before decoding: an encoded "%2F" is part of a name, no folder.
  const size_t slash = a.path.rfind('/');
  const std::string file = DecodeToUtf8(slash == std::string::npos ? a.path : a.path.substr(slash + 1));
  std::string dirs;
  if (slash != std::string::npos && slash > 0)
    for (const std::string& dir : Split(a.path.substr(1, slash - 1), '/')) {
      if (!dirs.empty()) dirs += "/";
      std::string d = DecodeToUtf8(dir);
      for (char& ch : d)
        if (ch == '/' || ch == '\\') ch = '_';
      dirs += d;
    }
  const size_t dot = file.rfind('.');
  std::string name = dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);
  const std::string ext = dot == std::string::npos || dot == 0 ? std::string() : file.substr(dot + 1);
  if (name.empty()) name = "index";
  std::tm tm{};
  const std::time_t now = context.now;
  localtime_r(&now, &tm);
  const std::string count = std::to_string(context.count > 0 ? context.count : 1);
  std::string num = std::to_string(number);
  if (num.size() < count.size()) num.insert(0, count.size() - num.size(), '0');

  // Built in UTF-8, where the engine's rules work; "/" separates parts.
  auto noSlash = [](std::string v) {
    for (char& c : v)
      if (c == '/' || c == '\\') c = '_';
    return v;
  };
  auto tag = [&](const std::string& t, std::string* value) {
    if (t == "name") *value = noSlash(name);
    else if (t == "ext") *value = noSlash(ext);
    else if (t == "text") *value = noSlash(SjisToUtf8(link.text));
    else if (t == "title") *value = noSlash(SjisToUtf8(context.pageTitle));
    else if (t == "host") *value = noSlash(a.host);
    else if (t == "subdirs") *value = dirs;
    else if (t == "num") *value = num;
    else if (t == "date")
      *value = std::to_string(tm.tm_year + 1900) + "-" + TwoDigits(tm.tm_mon + 1) + "-" +
               TwoDigits(tm.tm_mday);
    else if (t == "y") *value = std::to_string(tm.tm_year + 1900);
    else if (t == "m") *value = TwoDigits(tm.tm_mon + 1);
    else if (t == "d") *value = TwoDigits(tm.tm_mday);
    else if (t == "hh") *value = TwoDigits(tm.tm_hour);
    else if (t == "mm") *value = TwoDigits(tm.tm_min);
    else if (t == "ss") *value = TwoDigits(tm.tm_sec);
    else if (t == "qstring") *value = noSlash(DecodeToUtf8(a.query));
    else if (t == "url") *value = noSlash(SjisToUtf8(link.address));
    else if (t == "refhost") *value = noSlash(SplitAddress(context.pageAddress).host);
    else return false;
    return true;
  };
  const std::string m = SjisToUtf8(mask.empty() ? std::string(kDefaultMask) : mask);
  std::string built;
  for (size_t i = 0; i < m.size();) {
    if (m[i] == '*') {
      const size_t close = m.find('*', i + 1);
      std::string value;
      if (close != std::string::npos && tag(m.substr(i + 1, close - i - 1), &value)) {
        built += value;
        i = close + 1;
        continue;
      }
    }
    built += m[i++];
  }
  std::string result;
  for (const std::string& part : Split(built, '/')) {
    // "", "." and ".." name no folder of their own.
    if (part.find_first_not_of(". \t") == std::string::npos) continue;
    if (!result.empty()) result += "/";
    result += dl::SafeFileName(part);
  }
  if (result.empty()) result = "download";
  return Utf8ToSjis(result);
}

std::string SelectionItems(const std::vector<PageLink>& links, const std::vector<std::string>& names) {
  std::string items;
  for (size_t i = 0; i < links.size() && i < names.size(); ++i)
    items += links[i].address + "\t" + names[i] + "\n";
  return items;
}

const char* ExistingWord(ExistingChoice choice) {
  switch (choice) {
    case ExistingChoice::Skip: return "skip";
    case ExistingChoice::Overwrite: return "overwrite";
    case ExistingChoice::Rename: break;
  }
  return "rename";
}

std::optional<std::vector<PageLink>> CollectPageLinks(BrowserControl& browser) {
  std::optional<std::string> answer = browser.RunPageScript(kPageLinksScript);
  if (!answer) return std::nullopt;
  return ParsePageLinks(*answer);
}

std::vector<std::string> DescribeSelectionFiles(const CallResult& result) {
  std::vector<std::string> lines;
  for (const FileResult& f : result.files) {
    switch (f.outcome) {
      case DL_FILE_SAVED: lines.push_back("保存: " + f.savedPath + " ← " + f.address); break;
      case DL_FILE_EXISTS: lines.push_back("飛ばした(同じ名前のファイルがあります): " + f.address); break;
      case DL_FILE_KNOWN: lines.push_back("飛ばした(取得済み): " + f.address); break;
      case DL_FILE_FAILED:
        lines.push_back("失敗(" + f.reason + "): " + f.address);
        break;
    }
  }
  return lines;
}

std::vector<std::string> FailedAddresses(const CallResult& result) {
  std::vector<std::string> failed;
  for (const FileResult& f : result.files)
    if (f.outcome == DL_FILE_FAILED) failed.push_back(f.address);
  return failed;
}

std::string HostOf(const std::string& address) { return SplitAddress(address).host; }

std::string DefaultDestination(const std::string& pageAddress) {
  const std::string host = HostOf(pageAddress);
  return "DownLoad/" + Utf8ToSjis(dl::SafeFileName(host, "misc"));
}

}  // namespace mireva
