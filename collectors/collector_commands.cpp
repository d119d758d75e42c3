#include "collectors/collector_commands.h"

#include "collectors/map_collector.h"
#include "collectors/sky_survey_collector.h"
#include "collectors/weather_collector.h"

namespace mireva {
namespace {

class CollectorCommands : public CommandModule {
 public:
  CollectorCommands(ViewContext& ctx, std::function<std::time_t()> clock,
                    AnimatedGifBuilder::Options gifOptions)
      : weather_(ctx, std::move(clock), std::move(gifOptions)), map_(ctx), sky_(ctx) {}

  void Register(CommandRouter& r) override {
    constexpr CommandTarget kView = CommandTarget::View;
    r.Add(700, kView, [this] { map_.JoinMapSheet(); }, [] { return MapCollector::JoinEnabled(); });
    r.Add(701, kView, [this] { map_.OpenMapSearch(); });
    r.Add(702, kView, [this] { map_.OpenAirPhotoSearch(); });
    r.Add(703, kView, [this] { map_.RunDownload(); },
          [] { return MapCollector::DownloadEnabled(); });
    r.Add(704, kView, [this] { map_.MakeDownloadList(); });
    r.Add(705, kView, [this] { map_.MakePatrolList(); });

    for (int id = 712; id <= 717; ++id) r.Add(id, kView, [this, id] { weather_.Run(id); });

    r.Add(721, kView, [this] { sky_.OpenScrollingSky(); });
    r.Add(722, kView, [this] { sky_.OpenFields(); });
    r.Add(723, kView, [this] { sky_.OpenMosaic(); });
    r.Add(724, kView, [this] { sky_.OpenPlaces(); });
    r.Add(725, kView, [this] { sky_.MakePatrolList(); },
          [this] { return sky_.PatrolListEnabled(); });
    r.Add(726, kView, [this] { sky_.MakeDownloadList(); });
    r.Add(727, kView, [this] { sky_.RunDownload(); });
  }

 private:
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
