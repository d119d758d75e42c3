#pragma once
// The weather-satellite collector: commands 712-717 fetch the latest series of
// 20 images of one kind, copy them to the frame files "DownLoad/Weather/1.gif"
// (newest) .. "20.gif" (oldest), optionally join them into "Himawari.gif" and
// show a local page of the working folder. The download itself is the engine's
// "ListLoad" over the list file "Download.lst" written here (the instance's
// own name when another instance works in the same folder, InstanceFileName);
// images already on disk are not listed again.
#include <array>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "collectors/animated_gif_builder.h"

namespace mireva {

class ViewContext;

struct WeatherKind {
  int command;
  const char* folder;  // server folder: "ni", "ka", "su", "ze"
  const char* code;    // kind code in the image name
  bool hourly;         // the full disc: whole hours only
  bool skipNight;      // the visible kind: after 22:00 comes 09:30
  const char* page;    // page shown afterwards, "/Himawari.html" and so on
};

constexpr int kWeatherSlots = 20;

// The kind of a command 712..717, or nullptr.
const WeatherKind* FindWeatherKind(int command);

// An 18-character stamp "YYYYMMDDHHMMSS.gif" one hour earlier, by calendar
// (hour 00 goes to 23 of the day before, across month and year ends).
std::string StepBackOneHour(const std::string& stamp);

// The 20 stamps of the series for the local time `now`, newest first.
std::array<std::string, kWeatherSlots> StampSeries(const WeatherKind& kind, std::time_t now);

// "136400-440001-<code>-<stamp>"
std::string WeatherImageName(const WeatherKind& kind, const std::string& stamp);
// "/img/him/<folder>/" + image name
std::string WeatherServerPath(const WeatherKind& kind, const std::string& stamp);

// The text of "Download.lst" (CR LF line ends):
//   start download; / index page; / <top>/ / himawari / <paths> / end download;
std::string WeatherDownloadList(const std::string& top, const std::vector<std::string>& paths);

struct CallResult;
// The one message after a download that left `missing` of `total` images
// absent: the host of `top` (the service's top address) and the reason most
// of the engine's failed files give ("ホストが見つかりません" ...), else the
// call's own reason.
std::string MissingImagesText(const std::string& top, const CallResult& loaded, int missing,
                              int total);

class WeatherCollector {
 public:
  using Clock = std::function<std::time_t()>;
  // `clock` gives "now" (the system clock when empty).
  WeatherCollector(ViewContext& ctx, Clock clock = nullptr,
                   AnimatedGifBuilder::Options gifOptions = AnimatedGifBuilder::Options());

  // Runs one of the commands 712..717 in the current (working) folder.
  void Run(int command);

 private:
  ViewContext& ctx_;
  Clock clock_;
  AnimatedGifBuilder::Options gifOptions_;
};

}  // namespace mireva
