#include "collectors/map_collector.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <strings.h>
#include <unistd.h>

#include "core/view_context.h"
#include "collectors/collector_settings.h"
#include "core/runtime/png_compositor_api.h"
#include "platform/file_util.h"
#include "platform/text_encoding.h"

namespace mireva {
namespace {

constexpr const char* kNotMapPage = "地形図閲覧のページではありません。閲覧のページを表示します。";
constexpr const char* kAskShowMapPage = "地形閲覧のページを表示しますか。";
constexpr const char* kNoLibrary = "PNG.DLL が見つかりません。";
constexpr const char* kNoEntry = "関数 BMPCompo が見つかりません。";
// Cases handled beyond the classic texts.
constexpr const char* kNameTooShort =
    "ファイル名が短すぎます。名前が「地図50.png」「地図05.png」のように 2 桁の数字と"
    " .png で終わる地図画像を選んでください。";
constexpr const char* kQuartersMissing = "次の地図画像が見つからないため、その部分は空白です。";
constexpr const char* kJoinFailed = "地図を合成できませんでした。";

constexpr const char* kListFile = "Download.lst";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<QuarterNames> MakeQuarterNames(const std::string& chosen) {
  // "<dir>/<base>NN.png": the base may be empty, the two digits may not.
  const size_t n = chosen.size();
  if (n < 6 || strcasecmp(chosen.c_str() + n - 4, ".png") != 0) return std::nullopt;
  const size_t slash = chosen.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (n - 6 < nameStart) return std::nullopt;
  // Two ASCII digits can never be the trail byte of a double-byte character.
  if (!IsDigit(chosen[n - 6]) || !IsDigit(chosen[n - 5])) return std::nullopt;
  QuarterNames names;
  static const char* const kSuffixes[4] = {"50", "55", "00", "05"};
  for (size_t q = 0; q < 4; ++q) {
    names.quarters[q] = chosen;
    names.quarters[q][n - 6] = kSuffixes[q][0];
    names.quarters[q][n - 5] = kSuffixes[q][1];
  }
  names.output = chosen;
  names.output.erase(n - 6, 2);
  return names;
}

bool MapCompositor::Bind(Interaction& ui) {
  if (pngCompo_) return true;
  DynamicLibrary& lib = engine_.CompositingLibrary();
  if (!lib.IsOpen() && !lib.Open("PNG", engine_.LibraryFolder())) {
    ui.ShowMessage(kNoLibrary, MessageIcon::Stop);
    return false;
  }
  pngCompo_ = lib.Symbol("PngCompo");
  if (!pngCompo_) {
    ui.ShowMessage(kNoEntry, MessageIcon::Stop);
    return false;
  }
  return true;
}

int MapCompositor::Join(const QuarterNames& names) {
  auto fn = reinterpret_cast<PngCompoFn>(pngCompo_);
  return fn(names.quarters[0].c_str(), names.quarters[1].c_str(), names.quarters[2].c_str(),
            names.quarters[3].c_str(), names.output.c_str());
}

void MapCollector::OpenMapSearch() {
  ctx_.Browser().Navigate(ServiceTop(Service::Map) + "/mapsearch.html");
}

void MapCollector::OpenAirPhotoSearch() {
  ctx_.Browser().Navigate(ServiceTop(Service::AirPhoto) + "/airphoto/search.html");
}

void MapCollector::RunDownload() {
  const CallResult done = ctx_.Engine().ListLoad(kListFile, "JapanMap");
  if (done.Ran()) ctx_.SetStatusText(CallSummaryText(done));
}

void MapCollector::MakeDownloadList() {
  const CallResult made = ctx_.Engine().MakeDownloadList("japanmap");
  // Refused while the engine works, or no engine: nothing was made, and the
  // user's list stays as it is (a message has said why).
  if (!made.Ran()) return;
  ctx_.SetStatusText(ListMadeText(made));
  if (made.entries != 0) return;
  // No list was made: a stale one must not be downloaded by 703.
  if (FileExists(kListFile)) std::remove(HostPath(kListFile).c_str());
  if (ctx_.Ui().AskYesNo(kAskShowMapPage)) OpenMapSearch();
}

void MapCollector::MakePatrolList() {
  const std::string address = ctx_.AddressField();
  if (address.find("area") == std::string::npos) {
    ctx_.Ui().ShowMessage(kNotMapPage);
    OpenMapSearch();
    return;
  }
  // The engine takes the address as a string of any length, so a long address
  // is passed whole rather than cut to a fixed buffer.
  ctx_.Engine().MakePatrolList("japanmap", address);
}

void MapCollector::JoinMapSheet() {
  MapCompositor compositor(ctx_.Engine());
  char remembered[4096];
  const bool haveFolder = ::getcwd(remembered, sizeof remembered) != nullptr;
  std::optional<std::string> chosen = ctx_.Ui().ChooseFileToOpen("", "*.png");
  if (haveFolder) (void)::chdir(remembered);
  // When nothing was joined (dialog cancelled, library missing, unusable name)
  // the view stays on its page rather than being sent to an empty address.
  if (!chosen) return;
  if (!compositor.Bind(ctx_.Ui())) return;
  std::optional<QuarterNames> names = MakeQuarterNames(*chosen);
  if (!names) {
    ctx_.Ui().ShowMessage(kNameTooShort);
    return;
  }
  // The library leaves a missing quarter blank and says which in its result;
  // the user is told here, since the library has no window of its own.
  int result = compositor.Join(*names);
  if (result < 0) {
    ctx_.Ui().ShowMessage(kJoinFailed);
    return;
  }
  if (result > 0) {
    std::string text = kQuartersMissing;
    for (int q = 0; q < 4; ++q)
      if (result & (1 << q)) text += "\n" + names->quarters[static_cast<size_t>(q)];
    ctx_.Ui().ShowMessage(text);
  }
  ctx_.Browser().Navigate(names->output);
}

bool MapCollector::DownloadEnabled() { return FileExists(kListFile); }

bool MapCollector::JoinEnabled() {
  std::error_code ec;
  return std::filesystem::is_directory(HostPath("DownLoad/JapanMap"), ec);
}

}  // namespace mireva
