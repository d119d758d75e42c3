#include "collectors/collector_commands.h"

#include "core/command_ids.h"
#include "core/runtime/download_engine.h"
#include "collectors/map_collector.h"
#include "collectors/sky_survey_collector.h"
#include "collectors/weather_collector.h"

namespace mireva {
namespace {

class CollectorCommands : public CommandModule {
 public:
  CollectorCommands(ViewContext& ctx, std::function<std::time_t()> clock,
                    AnimatedGifBuilder::Options gifOptions)
      : ctx_(ctx), weather_(ctx, std::move(clock), std::move(gifOptions)), map_(ctx), sky_(ctx) {}

  void Register(CommandRouter& r) override {
    constexpr CommandTarget kView = CommandTarget::View;
    // The commands that call the engine are disabled while a library call
    // runs or a patrol holds the engine: one call at a time, and a person
    // should not be offered another.
    auto idle = [this] { return ctx_.Engine().Available(); };
    r.Add(kCmdMapJoin, kView, [this] { map_.JoinMapSheet(); }, [] { return MapCollector::JoinEnabled(); });
    r.Add(kCmdMapPage, kView, [this] { map_.OpenMapSearch(); });
    r.Add(kCmdAirPhotoPage, kView, [this] { map_.OpenAirPhotoSearch(); });
    r.Add(kCmdMapDownload, kView, [this] { map_.RunDownload(); },
          [idle] { return idle() && MapCollector::DownloadEnabled(); });
    r.Add(kCmdMapLoadList, kView, [this] { map_.MakeDownloadList(); }, idle);
    r.Add(kCmdMapLinkAnalysis, kView, [this] { map_.MakePatrolList(); }, idle);

    for (int id = kCmdHimawariInfrared; id <= kCmdHimawariGlobe; ++id)
      r.Add(id, kView, [this, id] { weather_.Run(id); }, idle);

    r.Add(kCmdSkyStream, kView, [this] { sky_.OpenScrollingSky(); });
    r.Add(kCmdSkyField, kView, [this] { sky_.OpenFields(); });
    r.Add(kCmdSkyMosaic, kView, [this] { sky_.OpenMosaic(); });
    r.Add(kCmdSkyFamousPlaces, kView, [this] { sky_.OpenPlaces(); });
    r.Add(kCmdSkyPatrolList, kView, [this] { sky_.MakePatrolList(); },
          [this, idle] { return idle() && sky_.PatrolListEnabled(); });
    r.Add(kCmdSkyLoadList, kView, [this] { sky_.MakeDownloadList(); }, idle);
    r.Add(kCmdSkyDownload, kView, [this] { sky_.RunDownload(); }, idle);
  }

 private:
  ViewContext& ctx_;
  WeatherCollector weather_;
  MapCollector map_;
  SkySurveyCollector sky_;
};

}  // namespace

std::unique_ptr<CommandModule> MakeCollectorCommands(ViewContext& ctx) {
  return MakeCollectorCommands(ctx, nullptr, AnimatedGifBuilder::Options());
}

std::unique_ptr<CommandModule> MakeCollectorCommands(ViewContext& ctx,
                                                     std::function<std::time_t()> clock,
                                                     AnimatedGifBuilder::Options gifOptions) {
  return std::make_unique<CollectorCommands>(ctx, std::move(clock), std::move(gifOptions));
}

}  // namespace mireva
