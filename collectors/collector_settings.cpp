#include "collectors/collector_settings.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "core/runtime/download_engine.h"
#include "platform/ini_file.h"
#include "platform/text_encoding.h"

namespace mireva {
namespace {

struct ServiceInfo {
  const char* environment;
  const char* key;
  const char* host;
};

ServiceInfo Info(Service service) {
  switch (service) {
    case Service::Weather:
      return {"MIREVA_WEATHER_HOST", "Weather", "www.jwa.or.jp"};
    case Service::Map:
      return {"MIREVA_MAP_HOST", "Map", "watchizu.gsi.go.jp"};
    case Service::AirPhoto:
      return {"MIREVA_AIRPHOTO_HOST", "AirPhoto", "mapbrowse.gsi.go.jp"};
    case Service::Sky:
      return {"MIREVA_SKY_HOST", "Sky", "skyserver.sdss.org"};
  }
  return {"", "", ""};
}

// A host name may not carry anything that would change the meaning of the
// address built from it.
bool IsPlainHost(const std::string& host) {
  if (host.empty() || host.size() > 200) return false;
  for (unsigned char c : host)
    if (c <= 0x20 || c >= 0x7F || c == '/' || c == '?' || c == '#' || c == '@') return false;
  return true;
}

}  // namespace

std::string ServiceHost(Service service) {
  const ServiceInfo info = Info(service);
  if (const char* v = std::getenv(info.environment); v && IsPlainHost(v)) return v;
  std::string configured = GetProfileString("Collectors.ini", "Hosts", info.key, "");
  if (IsPlainHost(configured)) return configured;
  return info.host;
}

std::string ServiceTop(Service service) { return "http://" + ServiceHost(service); }

std::string CurrentFolder() {
  char buf[4096];
  if (!::getcwd(buf, sizeof buf)) return ".";
  return Utf8ToSjis(buf);
}

std::string SystemErrorText(int error) { return Utf8ToSjis(std::strerror(error)); }

std::string ListMadeText(const CallResult& made) {
  if (made.entries > 0)
    return "ダウンロードリストを作りました: " + std::to_string(made.entries) + " 件";
  if (made.status == CallStatus::Cancelled) return "リスト作りを中止しました";
  // A call that ran through and listed nothing found no image to list; one
  // that failed says why, in the engine's words for the user.
  if (made.status == CallStatus::Done && made.reason.empty())
    return "ダウンロードする画像が見つからないため、リストは作られませんでした";
  return "ダウンロードリストを作れませんでした" + (made.reason.empty() ? std::string() : ": " + made.reason);
}

}  // namespace mireva
