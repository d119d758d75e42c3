#include "searchresults/engine_table.h"

#include <array>

#include "searchresults/engine_results.h"

namespace mireva {
namespace {

// The hosts of the home pages are ours to choose: each engine's portal as it
// stood when these result pages were written.
constexpr std::array<EngineInfo, 15> kEngines{{
    {0, 600, "yahoo", 630, 152, "www.yahoo.co.jp", "/", "yahoo.html"},
    {1, 601, "goo", 631, 154, "www.goo.ne.jp", "/", "goo.html"},
    {2, 602, "excite", 632, 156, "www.excite.co.jp", "/", "excite.html"},
    {3, 603, "infoseek", 633, 157, "www.infoseek.co.jp", "/", "infoseek.html"},
    {4, 606, "InfoNavigater", 636, 166, "infonavi.infoweb.ne.jp", "/", "InfoNavigater.html"},
    {5, 607, "LYCOS", 637, 164, "www.lycos.co.jp", "/", "LYCOS.html"},
    {6, 608, "BIGLOBE", 638, 165, "search.biglobe.ne.jp", "/keyword2.html", "NETPLAZA.html"},
    {7, 609, "iNET Guide", 639, 163, "www.csj.co.jp", "/csjindex/", "CSJ.html"},
    {8, 610, "Fresheye", 640, 174, "www.fresheye.com", "/", "Fresheye.html"},
    {9, 613, "nifty", 644, 5000, "www.nifty.com", "/search/", "nifty.html"},
    {10, 612, "DragonNext", 642, 182, "www.dragonnext.com", "/index.shtml", "Dragon.html"},
    {11, 614, "J.O.Y.", 645, 183, "www.joy.ne.jp", "/JOY.html/", "JOY.html"},
    {12, 616, "DoKoDa", 647, 0, nullptr, nullptr, "DOKODA.html"},
    {13, 617, "WebGate", 648, 0, nullptr, nullptr, "WEBGATE.html"},
    // Google's results are saved as "Google.html": a list on show should be
    // savable, and the name follows the other engines' pattern.
    {kGoogleEngine, 604, "Google", 634, 0, nullptr, nullptr, "Google.html"},
}};

constexpr std::array<EngineRow, 18> kRows{{
    {600, "yahoo", 630, 0},          {601, "goo", 631, 1},
    {602, "excite", 632, 2},         {603, "infoseek", 633, 3},
    {604, "Google", 634, kGoogleEngine}, {605, "Not Use", 635, -1},
    {606, "InfoNavigater", 636, 4},  {607, "LYCOS", 637, 5},
    {608, "BIGLOBE", 638, 6},        {609, "iNET Guide", 639, 7},
    {610, "Fresheye", 640, 8},       {611, "Not Use", 641, -1},
    {612, "DragonNext", 642, 10},    {613, "nifty", 644, 9},
    {614, "J.O.Y.", 645, 11},        {615, "", 646, -1},
    {616, "DoKoDa", 647, 12},        {617, "WebGate", 648, 13},
}};

const EngineResults kEmptyResults{};

}  // namespace

const EngineResults& EngineResultStore::Slot(int engine) const {
  return HasSlot(engine) ? slots[static_cast<size_t>(engine)] : kEmptyResults;
}

const EngineInfo* FindEngine(int index) {
  for (const EngineInfo& e : kEngines)
    if (e.index == index) return &e;
  return nullptr;
}

std::span<const EngineInfo> Engines() { return kEngines; }
std::span<const EngineRow> EngineRows() { return kRows; }

std::string HomeAddress(int index) {
  const EngineInfo* e = FindEngine(index);
  if (!e || !e->homeHost) return std::string();
  return std::string("http://") + e->homeHost + e->homePath;
}

std::string ResultsFileName(int index) {
  if (index == kMixedResultsIndex) return "Mixed.html";
  const EngineInfo* e = FindEngine(index);
  return e && e->resultsFile ? e->resultsFile : std::string();
}

}  // namespace mireva
