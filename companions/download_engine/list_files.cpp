#include "companions/download_engine/list_files.h"

#include "platform/text_helpers.h"

namespace mireva::dl {

namespace {

// Splits into lines (CR LF or LF); stops before a line longer than the limit.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  LineReader reader(text, kMaxListLine);
  std::string_view line;
  while (reader.Next(&line)) lines.emplace_back(line);
  return lines;
}

bool Fits(const std::string& line) {
  return !line.empty() && line.size() <= kMaxListLine &&
         line.find_first_of("\r\n") == std::string::npos;
}

}  // namespace

DownloadList ParseDownloadList(const std::string& text, size_t maxEntries) {
  DownloadList list;
  enum { Head, Top, Label, Paths } state = Head;
  for (const std::string& line : Lines(text)) {
    if (line == "end download;") break;
    if (line == "start download;") continue;
    if (line == "index page;") {
      state = Top;
      continue;
    }
    if (line.empty()) continue;
    switch (state) {
      case Head:
      case Top:
        list.top = line;
        state = Label;
        break;
      case Label:
        list.label = line;
        state = Paths;
        break;
      case Paths:
        if (list.paths.size() < maxEntries) list.paths.push_back(line);
        break;
    }
  }
  return list;
}

std::string FormatDownloadList(const DownloadList& list) {
  std::string out = "start download;\r\nindex page;\r\n" + list.top + "\r\n" + list.label + "\r\n";
  for (const std::string& p : list.paths)
    if (Fits(p)) out += p + "\r\n";
  return out + "end download;\r\n";
}

std::string JoinTopAndPath(const std::string& top, const std::string& path) {
  if (path.starts_with("http://") || path.starts_with("https://")) return path;
  std::string base = top;
  while (!base.empty() && base.back() == '/') base.pop_back();
  size_t start = 0;
  while (start < path.size() && path[start] == '/') ++start;
  return base + "/" + path.substr(start);
}

std::vector<std::string> ParsePatrolList(const std::string& text, size_t maxEntries) {
  std::vector<std::string> out;
  bool subPage = true;
  std::string base;
  for (const std::string& line : Lines(text)) {
    if (out.size() >= maxEntries) break;
    if (line == "start patrol;") continue;
    if (line == "index page;") {
      subPage = false;
      continue;
    }
    if (line == "sub page;") {
      subPage = true;
      continue;
    }
    if (line == "end patrol;") break;
    if (!subPage) {
      base = line;
      out.push_back(line);
    } else if (line.starts_with("../../")) {
      // Up two levels: keep the base through its third "/" from the end.
      std::string climbed = base;
      int slashes = 0;
      while (climbed.size() > 1) {
        if (climbed.back() == '/' && ++slashes == 3) break;
        climbed.pop_back();
      }
      out.push_back(climbed + line.substr(6));
    } else {
      out.push_back(base + line);
    }
  }
  return out;
}

std::string FormatPatrolList(const std::vector<std::string>& addresses) {
  std::string out = "start patrol;\r\nindex page;\r\n";
  for (const std::string& a : addresses)
    if (Fits(a) && a != "start patrol;" && a != "index page;" && a != "sub page;" &&
        a != "end patrol;")
      out += a + "\r\n";
  return out + "end patrol;\r\n";
}

}  // namespace mireva::dl
