#include "searchresults/engine_table.h"

#include <array>
#include <string_view>

#include "searchresults/engine_results.h"
#include "searchresults/result_page_parser.h"

namespace mireva {
namespace {

constexpr size_t npos = std::string_view::npos;

// ---- the rules, one per engine with results ----------------------------------
// Markers are searched as plain Shift_JIS bytes, case-sensitive. ScanAnchors
// cuts a chunk from one anchor to the next (the last anchor of a list yields
// nothing); definitions run "<DT>" to "</DL>", list items "<LI>" to "<LI>",
// rules "<HR>" to "<HR>".

void YahooRule(ResultPageScan& page) {
  size_t start = page.Find("登録サイトとの一致");
  if (start == npos) start = page.Find("カテゴリとの一致");
  if (start == npos) start = page.Find("登録ページとの一致");
  if (start == npos) start = page.Find("<ul>", page.Find("goo 検索結果"));
  page.ScanAnchors(start, "<a");
  page.ReadHitsAt(page.Find("検索結果"));
}

// The page is cut at its "RESULT BODY TABLE/" marker, in the caller's buffer too.
void GooRule(ResultPageScan& page) {
  size_t start = page.Find("検索結果");
  if (start != npos) {
    page.CutAt(page.Find("RESULT BODY TABLE/", start));
    page.Scan(start, "<a", "<a", 4, ChunkExtractor::Text, LongChunk::Cut);
  }
  page.ReadHitsAt(page.Find("検索結果"));
}

void ExciteRule(ResultPageScan& page) {
  page.ScanAnchors(page.Find("ウェブ検索", page.Find("検索結果")), "<A");
  size_t ken = page.Find("件", page.Find("ウェブサーチ結果"));
  if (ken != npos) page.ReadHitsAt(ken + 2);  // past the two bytes of "件"
}

void InfoseekRule(ResultPageScan& page) {
  page.ScanAnchors(page.Find("-- START RESULT LIST --", page.Find("インフォシーク")), "<a");
}

// The page is cut at its "#resultsend" marker, in the caller's buffer too.
void InfoNavigaterRule(ResultPageScan& page) {
  size_t start = page.Find("<!-- #results -->");
  page.CutAt(page.Find("<!-- #resultsend -->"));
  if (start != npos && start < page.Size())
    page.Scan(start, "<DT>", "</DL>", 0, ChunkExtractor::QuotedHref, LongChunk::Cut);
  page.ReadHitsAt(page.Find("表示"));
}

void LycosRule(ResultPageScan& page) {
  page.ScanAnchors(page.Find("検索結果", page.Find("<BODY")), "<a");
}

// A KIDSPLAZA page lists its results between "<HR>" rules, each address in a
// "URL=" parameter.
void BiglobeRule(ResultPageScan& page) {
  size_t start = page.Find("ページ検索結果");
  if (start != npos) {
    if (page.Find("KIDSPLAZA", start) != npos) {
      size_t ul = page.Find("<UL>", start);
      if (ul != npos) page.Scan(ul, "<HR>", "<HR>", 3, ChunkExtractor::UrlParam, LongChunk::Cut);
    } else {
      page.ScanAnchors(start, "<A");
    }
  }
  size_t of = page.Find("の検索結果");
  if (of != npos) page.ReadHitsAt(of + 8);
}

void InetGuideRule(ResultPageScan& page) {
  size_t start = page.Find("国内検索一覧");
  if (start != npos)
    page.Scan(start, "<LI>", "<LI>", 4, ChunkExtractor::QuotedHref, LongChunk::Cut);
  size_t matched = page.Find("件一致しました");
  if (matched != npos) page.ReadHitsAt(matched < 8 ? 0 : matched - 8);
}

void FresheyeRule(ResultPageScan& page) {
  page.ScanAnchors(page.Find("新着順", page.Find("の検索結果")), "<A");
  page.ReadHitsAt(page.Find("良いもの順"));
}

void NiftyRule(ResultPageScan& page) {
  page.ScanAnchors(page.Find("<A", page.Find("件表示", page.Find("該当件数"))), "<A");
}

void DragonNextRule(ResultPageScan& page) {
  page.ScanAnchors(page.Find("<A", page.Find("ヒット件数")), "<A");
}

void JoyRule(ResultPageScan& page) { page.ScanAnchors(page.Find("<a", page.Find("NETJOY")), "<a"); }

void DoKoDaRule(ResultPageScan& page) {
  page.ScanAnchors(page.Find("<a", page.Find("Found")), "<a");
}

void GoogleRule(ResultPageScan& page) {
  page.ScanAnchors(page.Find("<a", page.Find("<body")), "<a");
}

// ---- the table -------------------------------------------------------------------

// The hosts of the home pages are ours to choose: each engine's portal as it
// stood when these result pages were written.
constexpr std::array<EngineInfo, 15> kEngines{{
    {EngineId::Yahoo, 600, "yahoo", 630, 152, "www.yahoo.co.jp", "/", "yahoo.html", YahooRule},
    {EngineId::Goo, 601, "goo", 631, 154, "www.goo.ne.jp", "/", "goo.html", GooRule},
    {EngineId::Excite, 602, "excite", 632, 156, "www.excite.co.jp", "/", "excite.html", ExciteRule},
    {EngineId::Infoseek, 603, "infoseek", 633, 157, "www.infoseek.co.jp", "/", "infoseek.html",
     InfoseekRule},
    {EngineId::InfoNavigater, 606, "InfoNavigater", 636, 166, "infonavi.infoweb.ne.jp", "/",
     "InfoNavigater.html", InfoNavigaterRule},
    {EngineId::Lycos, 607, "LYCOS", 637, 164, "www.lycos.co.jp", "/", "LYCOS.html", LycosRule},
    {EngineId::Biglobe, 608, "BIGLOBE", 638, 165, "search.biglobe.ne.jp", "/keyword2.html",
     "NETPLAZA.html", BiglobeRule},
    {EngineId::InetGuide, 609, "iNET Guide", 639, 163, "www.csj.co.jp", "/csjindex/", "CSJ.html",
     InetGuideRule},
    {EngineId::Fresheye, 610, "Fresheye", 640, 174, "www.fresheye.com", "/", "Fresheye.html",
     FresheyeRule},
    {EngineId::Nifty, 613, "nifty", 644, 5000, "www.nifty.com", "/search/", "nifty.html",
     NiftyRule},
    {EngineId::DragonNext, 612, "DragonNext", 642, 182, "www.dragonnext.com", "/index.shtml",
     "Dragon.html", DragonNextRule},
    {EngineId::Joy, 614, "J.O.Y.", 645, 183, "www.joy.ne.jp", "/JOY.html/", "JOY.html", JoyRule},
    {EngineId::DoKoDa, 616, "DoKoDa", 647, 0, nullptr, nullptr, "DOKODA.html", DoKoDaRule},
    {EngineId::WebGate, 617, "WebGate", 648, 0, nullptr, nullptr, "WEBGATE.html", nullptr},
    // Google's results are saved as "Google.html": a list on show should be
    // savable, and the name follows the other engines' pattern.
    {EngineId::Google, 604, "Google", 634, 0, nullptr, nullptr, "Google.html", GoogleRule},
}};

constexpr std::array<EngineRow, 18> kRows{{
    {600, "yahoo", 630, EngineIndex(EngineId::Yahoo)},
    {601, "goo", 631, EngineIndex(EngineId::Goo)},
    {602, "excite", 632, EngineIndex(EngineId::Excite)},
    {603, "infoseek", 633, EngineIndex(EngineId::Infoseek)},
    {604, "Google", 634, EngineIndex(EngineId::Google)},
    {605, "Not Use", 635, kNoEngine},
    {606, "InfoNavigater", 636, EngineIndex(EngineId::InfoNavigater)},
    {607, "LYCOS", 637, EngineIndex(EngineId::Lycos)},
    {608, "BIGLOBE", 638, EngineIndex(EngineId::Biglobe)},
    {609, "iNET Guide", 639, EngineIndex(EngineId::InetGuide)},
    {610, "Fresheye", 640, EngineIndex(EngineId::Fresheye)},
    {611, "Not Use", 641, kNoEngine},
    {612, "DragonNext", 642, EngineIndex(EngineId::DragonNext)},
    {613, "nifty", 644, EngineIndex(EngineId::Nifty)},
    {614, "J.O.Y.", 645, EngineIndex(EngineId::Joy)},
    {615, "", 646, kNoEngine},
    {616, "DoKoDa", 647, EngineIndex(EngineId::DoKoDa)},
    {617, "WebGate", 648, EngineIndex(EngineId::WebGate)},
}};

const EngineResults kEmptyResults{};

}  // namespace

const EngineResults& EngineResultStore::Slot(int engine) const {
  return HasSlot(engine) ? slots[static_cast<size_t>(engine)] : kEmptyResults;
}

const EngineInfo* FindEngine(int index) {
  for (const EngineInfo& e : kEngines)
    if (EngineIndex(e.id) == index) return &e;
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
