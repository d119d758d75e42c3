#pragma once
// The topographic map collector: commands 700-705. It opens the map and aerial
// photo services' search pages, hands the page on show to the download engine
// to make the patrol and download lists of map images, runs the download into
// "DownLoad/JapanMap", and joins the four quarter images of one map sheet
// through the compositing library's "PngCompo".
#include <array>
#include <optional>
#include <string>

#include "core/runtime/download_engine.h"

namespace mireva {

class ViewContext;

// The four quarter names of a chosen quarter file and the joined name: the two
// characters before ".png" become "50" (NW), "55" (NE), "00" (SW), "05" (SE)
// and are dropped for the output. Nothing when the name is too short to carry
// the suffix or does not end in a two-digit suffix and ".png".
struct QuarterNames {
  std::array<std::string, 4> quarters;  // NW, NE, SW, SE
  std::string output;
};
std::optional<QuarterNames> MakeQuarterNames(const std::string& chosen);

// The compositing library for one join: loaded into the view's binding on first
// need and freed again when this object goes away.
class MapCompositor {
 public:
  explicit MapCompositor(DownloadEngine& engine) : engine_(engine) {}
  ~MapCompositor() { engine_.CompositingLibrary().Close(); }
  MapCompositor(const MapCompositor&) = delete;
  MapCompositor& operator=(const MapCompositor&) = delete;

  // Loads the library and looks up "PngCompo"; false with its message.
  bool Bind(Interaction& ui);
  // Calls "PngCompo" (Bind first).
  int Join(const QuarterNames& names);

 private:
  DownloadEngine& engine_;
  void* pngCompo_ = nullptr;
};

class MapCollector {
 public:
  explicit MapCollector(ViewContext& ctx) : ctx_(ctx) {}

  void OpenMapSearch();       // 701
  void OpenAirPhotoSearch();  // 702
  void RunDownload();         // 703
  void MakeDownloadList();    // 704
  void MakePatrolList();      // 705
  void JoinMapSheet();        // 700

  static bool DownloadEnabled();  // 703: while "Download.lst" exists
  static bool JoinEnabled();      // 700: while "DownLoad/JapanMap" exists

 private:
  ViewContext& ctx_;
};

}  // namespace mireva
