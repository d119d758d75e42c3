#include "collectors/sky_survey_collector.h"

#include <cstdio>

#include "core/view_context.h"
#include "collectors/collector_settings.h"
#include "core/runtime/download_engine.h"
#include "platform/file_util.h"
#include "platform/text_encoding.h"

namespace mireva {

void SkySurveyCollector::Open(const char* path) {
  ctx_.Browser().Navigate(ServiceTop(Service::Sky) + path);
}

void SkySurveyCollector::OpenScrollingSky() {
  Open("/jp/tools/scroll/");
  ctx_.SetMosaicCollection();
}

void SkySurveyCollector::OpenFields() {
  Open("/jp/tools/getimg/fields.asp");
  fieldsOpened = true;
  mosaicOpened = placesOpened = false;
}

void SkySurveyCollector::OpenMosaic() {
  Open("/jp/tools/getimg/mosaic.asp");
  mosaicOpened = true;
  fieldsOpened = placesOpened = false;
}

void SkySurveyCollector::OpenPlaces() {
  Open("/jp/tools/places/");
  placesOpened = true;
  fieldsOpened = mosaicOpened = false;
}

void SkySurveyCollector::MakePatrolList() {
  const char* kind = fieldsOpened   ? "sdss field"
                     : mosaicOpened ? "sdss mosaic"
                     : placesOpened ? "sdss places"
                                    : nullptr;
  if (!kind) return;
  ctx_.Engine().MakePatrolList(kind, ctx_.AddressField());
}

void SkySurveyCollector::MakeDownloadList() {
  // The image-field kind is spelled "sdss filed": the engine knows it so.
  const struct {
    bool set;
    const char* kind;
  } kinds[] = {{fieldsOpened, "sdss filed"},
               {mosaicOpened, "sdss mosaic"},
               {placesOpened, "sdss places"}};
  for (const auto& k : kinds) {
    if (!k.set) continue;
    const CallResult made = ctx_.Engine().MakeDownloadList(k.kind);
    // Refused while the engine works, or no engine: nothing was made, and
    // the user's list stays as it is (a message has said why).
    if (!made.Ran()) return;
    if (made.entries == 0 && FileExists("Download.lst")) std::remove(HostPath("Download.lst").c_str());
    ctx_.SetStatusText(ListMadeText(made));
  }
}

void SkySurveyCollector::RunDownload() {
  const CallResult done = ctx_.Engine().ListLoad("Download.lst", "Sdss");
  if (done.Ran()) ctx_.SetStatusText(CallSummaryText(done));
}

}  // namespace mireva
