#include "patrol/patrol_list.h"

#include <utility>

#include "platform/file_util.h"
#include "platform/text_encoding.h"
#include "platform/text_helpers.h"

namespace mireva {
namespace {

const char kStart[] = "start patrol;";
const char kIndex[] = "index page;";
const char kSub[] = "sub page;";
const char kEnd[] = "end patrol;";

}  // namespace

bool TakeListLine(const std::string& text, size_t* pos, std::string* line) {
  std::string_view taken;
  if (!TakeLine(text, pos, kMaxListLine, &taken)) return false;
  line->assign(taken);
  return true;
}

std::vector<std::string> ReadPatrolListItems(const std::string& path) {
  auto text = ReadWholeFile(path);
  return text ? ParsePatrolListItems(*text) : std::vector<std::string>();
}

std::vector<std::string> ParsePatrolListItems(const std::string& text) {
  std::vector<std::string> items;
  bool sub = true;
  size_t pos = 0;
  std::string line;
  while (TakeListLine(text, &pos, &line)) {
    if (line == kStart) continue;
    if (line == kIndex) {
      sub = false;
    } else if (line == kSub) {
      sub = true;
    } else if (line == kEnd) {
      break;
    } else {
      items.push_back(sub ? "  " + line : line);
    }
  }
  return items;
}

std::string FormatPatrolList(const std::vector<std::string>& items) {
  std::string out;
  auto put = [&out](const std::string& l) { out.append(l).append("\r\n"); };
  put(kStart);
  put(kIndex);
  bool inSub = false;
  for (const std::string& item : items) {
    if (!item.empty() && item[0] == ' ') {
      if (!inSub) put(kSub);
      put(std::string(TrimStart(item, " ")));
      inSub = true;
    } else if (inSub) {
      put(kIndex);
      put(item);
      inSub = false;
    } else {
      put(item);
    }
  }
  put(kEnd);
  return out;
}

bool WritePatrolList(const std::vector<std::string>& items, Interaction& ui,
                     const std::string& path) {
  if (!WriteFileAtomically(path, FormatPatrolList(items))) {
    ui.ShowMessage("リストが保存できませんでした。", MessageIcon::Exclamation);
    return false;
  }
  return true;
}

std::string ResolveSubPage(const std::string& base, const std::string& entry) {
  if (!entry.starts_with("../../")) return base + entry;
  std::string out = base;
  // Walk back from the end; the first two "/" go with what follows them, the
  // third stays. Index 0 is never examined.
  int slashes = 0;
  for (size_t i = out.size(); i-- > 1;) {
    if (out[i] == '/' && ++slashes == 3) break;
    out.erase(i);
  }
  return out + entry.substr(6);
}

std::string EditorItemFromText(const std::string& text) {
  if (text.starts_with("http")) {
    std::string item = text;
    while (item.size() > 1 && item.back() != '/') item.pop_back();
    return item;
  }
  return "  " + text;
}

PatrolListReader::PatrolListReader(Interaction& ui, std::string path)
    : ui_(ui), path_(std::move(path)) {}

PatrolListReader::~PatrolListReader() { Close(); }

bool PatrolListReader::Open() {
  // Still open: a run is in progress. Its stream is left failed, so that run
  // ends at its next step and the new start stops here.
  const bool runInProgress = file_ != nullptr;
  if (!runInProgress) file_ = std::fopen(HostPath(path_).c_str(), "rb");
  if (runInProgress || file_ == nullptr) {
    failed_ = true;
    ui_.ShowMessage("巡回リストが見つかりません。", MessageIcon::Exclamation);
    return false;
  }
  failed_ = false;
  subPageMode_ = true;
  return true;
}

void PatrolListReader::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

bool PatrolListReader::NextEntry(std::string* out) {
  if (failed_ || file_ == nullptr) return false;
  std::string line;
  for (;;) {
    if (!ReadLine(file_, kMaxListLine, &line)) {
      failed_ = true;
      return false;
    }
    if (line == kStart) continue;
    if (line == kIndex) {
      subPageMode_ = false;
      continue;
    }
    if (line == kSub) {
      subPageMode_ = true;
      continue;
    }
    if (line == kEnd) return false;
    if (!subPageMode_) {
      baseAddress_ = line;
      *out = line;
      return true;
    }
    std::string resolved = ResolveSubPage(baseAddress_, line);
    if (resolved.size() > kMaxAddress) continue;
    *out = std::move(resolved);
    return true;
  }
}

}  // namespace mireva
