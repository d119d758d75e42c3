#include "companions/download_engine/list_rules.h"

#include <fnmatch.h>
#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <type_traits>

#include "companions/download_engine/link_extractor.h"
#include "platform/file_util.h"
#include "platform/folders.h"
#include "platform/ini_file.h"
#include "platform/text_encoding.h"

namespace mireva::dl {

namespace {

constexpr size_t kValueCapacity = 4096;

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string w;
  while (in >> w && out.size() < 256) out.push_back(w);
  return out;
}

unsigned Kinds(const std::string& text) {
  unsigned kinds = 0;
  for (const std::string& w : Words(text)) {
    const char* n = w.c_str();
    if (strcasecmp(n, "anchor") == 0) kinds |= kAnchor;
    else if (strcasecmp(n, "image") == 0) kinds |= kImage;
    else if (strcasecmp(n, "frame") == 0) kinds |= kFrame;
    else if (strcasecmp(n, "embed") == 0) kinds |= kEmbed;
    else if (strcasecmp(n, "media") == 0) kinds |= kMedia;
  }
  return kinds;
}

}  // namespace

std::optional<KindRules> LoadKindRules(const std::string& sjisPath, const std::string& kind) {
  ProfileFile rules;
  if (!rules.Load(sjisPath)) return std::nullopt;
  return KindRulesFrom(rules, kind);
}

std::optional<KindRules> KindRulesFrom(const ProfileFile& rules, const std::string& kind) {
  auto get = [&](const char* key, const char* def) {
    return rules.Get(kind, key, def, kValueCapacity);
  };
  const char kMissing[] = "\x01";
  KindRules r;
  r.label = get("Label", kMissing);
  if (r.label == kMissing || r.label.empty()) return std::nullopt;
  r.patrolLinks = Kinds(get("PatrolLinks", "anchor"));
  r.patrolMatch = Words(get("PatrolMatch", ""));
  r.patrolSkip = Words(get("PatrolSkip", ""));
  r.patrolSameHost = strcasecmp(get("PatrolSameHost", "yes").c_str(), "no") != 0;
  r.downloadLinks = Kinds(get("DownloadLinks", "image"));
  r.downloadMatch = Words(get("DownloadMatch", ""));
  r.downloadSkip = Words(get("DownloadSkip", ""));
  return r;
}

void LoadEngineSettings(const std::string& sjisPath, FetchOptions& options) {
  ProfileFile rules;
  if (rules.Load(sjisPath)) EngineSettingsFrom(rules, options);
}

void EngineSettingsFrom(const ProfileFile& rules, FetchOptions& options) {
  // A value that is not a whole number of at most 12 digits is no setting.
  auto number = [&](const char* key, long long minimum, auto& target) {
    const std::string text = rules.Get("Engine", key, "", 32);
    if (text.empty() || text.size() > 12 ||
        text.find_first_not_of("0123456789") != std::string::npos)
      return false;
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (v < minimum) return false;
    target = static_cast<std::remove_reference_t<decltype(target)>>(v);
    return true;
  };
  number("ConnectionsPerHost", 1, options.maxPerHost);
  number("Connections", 1, options.maxTotal);
  number("HostDelayMs", 0, options.hostDelayMs);
  number("HostJitterMs", 0, options.hostJitterMs);
  if (long long kb = 0; number("MaxRateKBps", 0, kb)) options.maxRateBytes = kb * 1024;
  number("MinRateBytes", 0, options.minRateBytes);
  number("RateWindowSeconds", 0, options.rateWindowSeconds);
  if (long long mb = 0; number("MaxFileMB", 1, mb)) options.maxFileBytes = mb << 20;
  // Caps that keep one list's setting from tying up the machine.
  options.maxTotal = std::min(options.maxTotal, 256);
  options.maxPerHost = std::min(options.maxPerHost, options.maxTotal);
}

std::string RulesFilePath() {
  if (FileExists(kRulesFileName)) return kRulesFileName;
  return Utf8ToSjis(DataFolder()) + "/" + kRulesFileName;
}

bool Selected(const std::string& url, const std::vector<std::string>& match,
              const std::vector<std::string>& skip) {
  // "*.jpg" should take "a.jpg?size=2" too: patterns are tried on the whole
  // address and on the address without its query.
  const std::string bare = url.substr(0, url.find('?'));
  auto matches = [&](const std::string& p) {
    return fnmatch(p.c_str(), url.c_str(), FNM_CASEFOLD) == 0 ||
           fnmatch(p.c_str(), bare.c_str(), FNM_CASEFOLD) == 0;
  };
  for (const std::string& p : skip)
    if (matches(p)) return false;
  if (match.empty()) return true;
  for (const std::string& p : match)
    if (matches(p)) return true;
  return false;
}

}  // namespace mireva::dl
