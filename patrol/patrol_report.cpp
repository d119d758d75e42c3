#include "patrol/patrol_report.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "patrol/patrol_dialog_models.h"
#include "platform/file_util.h"
#include "platform/text_encoding.h"
#include "platform/text_helpers.h"

namespace mireva {
namespace {

const char kDatedPrefix[] = "PatrolReport-";
const char kDatedSuffix[] = ".html";

bool IsImage(const std::string& file) {
  const size_t dot = file.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string ext = LowerAscii(file.substr(dot + 1));
  return ext == "jpg" || ext == "jpeg" || ext == "png" || ext == "gif" || ext == "bmp" ||
         ext == "webp";
}

const char* StateCaption(PageState state) {
  switch (state) {
    case PageState::New: return "新規";
    case PageState::Changed: return "変化あり";
    case PageState::Unchanged: return "変化なし";
    case PageState::Failed: return "失敗";
  }
  return "";
}

std::string Stamp(std::time_t t, const char* format) {
  std::tm local{};
  localtime_r(&t, &local);
  char text[64];
  std::strftime(text, sizeof text, format, &local);
  return text;
}

}  // namespace

const char* PageStateWord(PageState state) {
  switch (state) {
    case PageState::New: return "new";
    case PageState::Changed: return "changed";
    case PageState::Unchanged: return "unchanged";
    case PageState::Failed: return "failed";
  }
  return "";
}

std::string TextFingerprint(const std::string& text) {
  // FNV-1a over the bytes that are not blanks: stable across runs and builds.
  unsigned long long hash = 1469598103934665603ULL;
  bool any = false;
  for (unsigned char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') continue;
    hash = (hash ^ c) * 1099511628211ULL;
    any = true;
  }
  if (!any) return std::string();
  char out[17];
  std::snprintf(out, sizeof out, "%016llx", hash);
  return out;
}

std::map<std::string, std::string> ReadFingerprints(const std::string& path) {
  std::map<std::string, std::string> prints;
  auto data = ReadWholeFile(path);
  if (!data) return prints;
  LineReader lines(*data, 64 * 1024);
  std::string_view line;
  while (lines.Next(&line)) {
    const size_t tab = line.rfind('\t');
    if (tab == std::string_view::npos || tab == 0) continue;
    prints[std::string(line.substr(0, tab))] = std::string(line.substr(tab + 1));
  }
  return prints;
}

bool WriteFingerprints(const std::string& path, const std::map<std::string, std::string>& prints) {
  std::string data;
  for (const auto& [address, print] : prints) data += address + "\t" + print + "\n";
  return WriteFileAtomically(path, data);
}

PageState StateOf(bool failed, const std::string& fingerprint,
                  const std::map<std::string, std::string>& last, const std::string& address) {
  if (failed) return PageState::Failed;
  auto it = last.find(address);
  if (it == last.end()) return PageState::New;
  // A page whose text could not be read is taken as it was.
  if (fingerprint.empty() || fingerprint == it->second) return PageState::Unchanged;
  return PageState::Changed;
}

std::string PatrolReportHtml(const std::vector<ReportedPage>& pages, std::time_t ended,
                             bool stopped) {
  size_t counts[4] = {0, 0, 0, 0};
  size_t files = 0;
  for (const ReportedPage& page : pages) {
    ++counts[static_cast<int>(page.state)];
    files += page.files.size();
  }
  std::string html =
      "<!DOCTYPE html>\n<html><head><meta charset=\"Shift_JIS\"><title>巡回レポート</title>\n"
      "<style>body{font-family:sans-serif;margin:1em}li{margin:.3em 0}"
      ".new{color:#06c}.changed{color:#080}.unchanged{color:#666}.failed{color:#c00}"
      "img{max-width:96px;max-height:96px;margin:2px;vertical-align:middle}</style>"
      "</head><body>\n<h1>巡回レポート</h1>\n<p>" +
      Stamp(ended, "%Y-%m-%d %H:%M:%S") + (stopped ? "　(途中で中止)" : "") + "　" +
      std::to_string(pages.size()) + " ページ: 新規 " + std::to_string(counts[0]) +
      "、変化あり " + std::to_string(counts[1]) + "、変化なし " + std::to_string(counts[2]) +
      "、失敗 " + std::to_string(counts[3]) + "。新しいファイル " + std::to_string(files) +
      "</p>\n<ol>\n";
  for (const ReportedPage& page : pages) {
    html += "<li class=\"" + std::string(PageStateWord(page.state)) + "\">[" +
            StateCaption(page.state) + "] <a href=\"" + EscapeHtml(page.address) + "\">" +
            EscapeHtml(page.address) + "</a>";
    if (page.state == PageState::Failed && !page.reason.empty())
      html += "　" + EscapeHtml(page.reason);
    if (page.failedFiles > 0)
      html += "　取得できなかったファイル " + std::to_string(page.failedFiles);
    if (!page.files.empty()) {
      html += "\n<ul>\n";
      for (const ReportedFile& f : page.files) {
        html += "<li><a href=\"" + EscapeHtml(f.file) + "\">";
        if (IsImage(f.file)) html += "<img src=\"" + EscapeHtml(f.file) + "\" alt=\"\">";
        html += EscapeHtml(f.file) + "</a></li>\n";
      }
      html += "</ul>\n";
    }
    html += "</li>\n";
  }
  html += "</ol>\n</body></html>\n";
  return html;
}

std::string PatrolSummaryLines(const std::vector<ReportedPage>& pages) {
  std::string out;
  for (const ReportedPage& page : pages)
    out += std::string(PageStateWord(page.state)) + "\t" + page.address + "\t" +
           std::to_string(page.files.size()) + "\n";
  return out;
}

bool WritePatrolReport(const std::string& folder, const std::string& html, std::time_t ended) {
  const std::string dated = kDatedPrefix + Stamp(ended, "%Y%m%d-%H%M%S") + kDatedSuffix;
  if (!WriteFileAtomically(InFolder(folder, dated), html)) return false;
  if (!WriteFileAtomically(InFolder(folder, kPatrolReportFile), html)) return false;
  // The dated names sort by time; the oldest beyond the kept number go.
  std::vector<std::string> reports;
  if (DIR* dir = opendir(HostPath(folder.empty() ? "." : folder).c_str())) {
    while (dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name.size() == std::strlen(kDatedPrefix) + 15 + std::strlen(kDatedSuffix) &&
          name.starts_with(kDatedPrefix) && name.ends_with(kDatedSuffix))
        reports.push_back(name);
    }
    closedir(dir);
  }
  std::sort(reports.begin(), reports.end());
  for (size_t i = 0; i + kPatrolReportsKept < reports.size(); ++i)
    ::unlink(HostPath(InFolder(folder, reports[i])).c_str());
  return true;
}

}  // namespace mireva
