#include "collectors/weather_collector.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/view_context.h"
#include "collectors/collector_settings.h"
#include "core/runtime/download_engine.h"
#include "platform/file_util.h"
#include "platform/text_encoding.h"

namespace mireva {
namespace {

constexpr WeatherKind kKinds[] = {
    {712, "ni", "0000", false, false, "/Himawari.html"},
    {713, "ka", "0011", false, true, "/Himawari2.html"},
    {714, "ni", "0000", false, false, "/Himawari3.html"},
    {715, "ka", "0011", false, true, "/Himawari4.html"},
    {716, "su", "0012", false, false, "/Himawari2.html"},
    {717, "ze", "0020", true, false, "/Himawari2.html"},
};
constexpr const char* kAnimationFailedPage = "/Himawari5.html";
constexpr const char* kWeatherFolder = "DownLoad/Weather/";

int Field(const std::string& stamp, size_t pos, size_t len) {
  int v = 0;
  for (size_t i = pos; i < pos + len && i < stamp.size(); ++i) v = v * 10 + (stamp[i] - '0');
  return v;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

std::string MakeStamp(int y, int mo, int d, int h, int mi) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d00.gif", y, mo, d, h, mi);
  return buf;
}

// The host part of a service top ("http://host:port/x" -> "host:port").
std::string HostOf(const std::string& top) {
  size_t begin = top.find("://");
  begin = begin == std::string::npos ? 0 : begin + 3;
  size_t end = top.find('/', begin);
  return top.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

}  // namespace

std::string MissingImagesText(const std::string& top, const CallResult& loaded, int missing,
                              int total) {
  // The reason most files failed for (the engine's own words for the user).
  std::string reason;
  size_t best = 0;
  for (const FileResult& f : loaded.files) {
    if (f.outcome != DL_FILE_FAILED || f.reason.empty()) continue;
    size_t n = 0;
    for (const FileResult& g : loaded.files) n += g.outcome == DL_FILE_FAILED && g.reason == f.reason;
    if (n > best) {
      best = n;
      reason = f.reason;
    }
  }
  if (reason.empty()) reason = loaded.reason;
  std::string text = "画像 " + std::to_string(total) + " 枚のうち " + std::to_string(missing) +
                     " 枚を " + HostOf(top) + " から取得できませんでした。";
  if (!reason.empty()) text += "\n(" + reason + ")";
  return text;
}

const WeatherKind* FindWeatherKind(int command) {
  for (const WeatherKind& k : kKinds)
    if (k.command == command) return &k;
  return nullptr;
}

std::string StepBackOneHour(const std::string& stamp) {
  int y = Field(stamp, 0, 4), mo = Field(stamp, 4, 2), d = Field(stamp, 6, 2);
  int h = Field(stamp, 8, 2), mi = Field(stamp, 10, 2);
  if (--h < 0) {
    h = 23;
    if (--d < 1) {
      if (--mo < 1) {
        mo = 12;
        --y;
      }
      d = DaysInMonth(y, mo);
    }
  }
  return MakeStamp(y, mo, d, h, mi);
}

std::array<std::string, kWeatherSlots> StampSeries(const WeatherKind& kind, std::time_t now) {
  // The service's newest images lag about ten hours behind local time.
  std::time_t base = now - 36000;
  std::tm t{};
  localtime_r(&base, &t);
  char head[16];
  std::strftime(head, sizeof head, "%Y%m%d%H", &t);
  std::string stamp = std::string(head) + (kind.hourly ? "0000.gif" : "3000.gif");

  std::array<std::string, kWeatherSlots> slots;
  for (int k = 0; k < kWeatherSlots; ++k) {
    if (kind.hourly) {
      stamp = StepBackOneHour(stamp);
    } else {
      // Stamp layout: YYYYMMDD HH MM SS .gif; hour at 8, minute at 10.
      if (kind.skipNight && stamp.compare(8, 4, "2200") == 0) stamp.replace(8, 4, "1000");
      if (stamp.compare(10, 2, "30") == 0) {
        stamp.replace(10, 2, "00");
      } else {
        stamp = StepBackOneHour(stamp);
        stamp.replace(10, 2, "30");
      }
    }
    slots[static_cast<size_t>(k)] = stamp;
  }
  return slots;
}

std::string WeatherImageName(const WeatherKind& kind, const std::string& stamp) {
  return std::string("136400-440001-") + kind.code + "-" + stamp;
}

std::string WeatherServerPath(const WeatherKind& kind, const std::string& stamp) {
  return std::string("/img/him/") + kind.folder + "/" + WeatherImageName(kind, stamp);
}

std::string WeatherDownloadList(const std::string& top, const std::vector<std::string>& paths) {
  std::string text = "start download;\r\nindex page;\r\n" + top + "/\r\nhimawari\r\n";
  for (const std::string& p : paths) text += p + "\r\n";
  text += "end download;\r\n";
  return text;
}

WeatherCollector::WeatherCollector(ViewContext& ctx, Clock clock,
                                   AnimatedGifBuilder::Options gifOptions)
    : ctx_(ctx), clock_(std::move(clock)), gifOptions_(std::move(gifOptions)) {}

void WeatherCollector::Run(int command) {
  const WeatherKind* kind = FindWeatherKind(command);
  if (!kind) return;
  // The folders normally exist; a failure shows up as copy messages below.
  MakeDirectories("DownLoad");
  MakeDirectories("DownLoad/Weather");

  const std::time_t now = clock_ ? clock_() : std::time(nullptr);
  const std::array<std::string, kWeatherSlots> slots = StampSeries(*kind, now);
  std::vector<std::string> missing;
  for (const std::string& stamp : slots)
    if (!FileExists(kWeatherFolder + WeatherImageName(*kind, stamp)))
      missing.push_back(WeatherServerPath(*kind, stamp));

  // The list has this instance's name, so a second window collecting at the
  // same time never hands the engine its list. An unwritten list is not
  // reported: the engine then finds nothing new.
  const std::string list = InstanceFileName("Download.lst");
  WriteFileAtomically(list, WeatherDownloadList(ServiceTop(Service::Weather), missing));
  // The engine shows its own message when it cannot be bound; the frames
  // already on disk are used then. Refused while the engine works, nothing
  // is touched: the frames and the animation stay as they are.
  const CallResult loaded = ctx_.Engine().ListLoad(list, "Weather");
  if (loaded.status == CallStatus::Refused) return;

  // Each frame is replaced whole (the old frame or the new one after a crash,
  // never half of one), as the animation and the page read them. An image
  // that did not arrive leaves its frame as it was; the user hears once how
  // many are missing and why, not once per frame.
  int missingNow = 0;
  for (int i = 1; i <= kWeatherSlots; ++i) {
    const std::string image = kWeatherFolder + WeatherImageName(*kind, slots[static_cast<size_t>(i - 1)]);
    if (!FileExists(image)) {
      ++missingNow;
      continue;
    }
    if (!CopyFileAtomically(HostPath(image), HostPath(FramePath(i))))
      ctx_.Ui().ShowMessage(FramePath(i) + " を書き込めません。", MessageIcon::Exclamation);
  }
  // An engine that could not be bound has said so itself; a user who
  // stopped the download knows why images are missing.
  if (missingNow > 0 && loaded.status != CallStatus::Missing &&
      loaded.status != CallStatus::Cancelled)
    ctx_.Ui().ShowMessage(MissingImagesText(ServiceTop(Service::Weather), loaded, missingNow,
                                            kWeatherSlots),
                          MessageIcon::Exclamation);

  // The animation is built from whole frames only: with a frame missing it
  // would say so frame by frame and leave an empty file behind.
  bool framesComplete = true;
  for (int i = 1; i <= kWeatherSlots; ++i) framesComplete = framesComplete && FileExists(FramePath(i));

  std::string page = kind->page;
  if (command == 714 || command == 715) {
    AnimatedGifBuilder builder(ctx_.Ui(), gifOptions_);
    bool built = framesComplete && builder.BuildAnimatedGif("Himawari.gif");
    if (built && builder.justConverted) built = builder.BuildAnimatedGif("Himawari.gif");
    // A second conversion means the frames are still not usable.
    if (built && builder.justConverted) built = false;
    if (command == 714 && !built) page = kAnimationFailedPage;
  }
  ctx_.Browser().Navigate(CurrentFolder() + page);
}

}  // namespace mireva
