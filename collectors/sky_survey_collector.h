#pragma once
// The sky-survey collector: commands 721-727. It opens the survey's Japanese
// tool pages, remembers which kind of page was opened last (image fields,
// mosaics or famous places) and hands the page on show to the download engine
// to make the patrol and download lists of that kind, then runs the download
// into "DownLoad/Sdss". Opening the scrolling sky starts the idle move of
// "Cache/mosaic*.jpg" into "DownLoad".
#include <string>

namespace mireva {

class ViewContext;

class SkySurveyCollector {
 public:
  explicit SkySurveyCollector(ViewContext& ctx) : ctx_(ctx) {}

  void OpenScrollingSky();  // 721
  void OpenFields();        // 722
  void OpenMosaic();        // 723
  void OpenPlaces();        // 724
  void MakePatrolList();    // 725
  void MakeDownloadList();  // 726
  void RunDownload();       // 727

  bool PatrolListEnabled() const { return fieldsOpened || mosaicOpened || placesOpened; }

  // At most one is set; each of 722-724 sets its own and clears the others.
  bool fieldsOpened = false;
  bool mosaicOpened = false;
  bool placesOpened = false;

 private:
  void Open(const char* path);
  ViewContext& ctx_;
};

}  // namespace mireva
