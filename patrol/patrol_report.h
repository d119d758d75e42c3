#pragma once
// What a patrol brought in, page by page: "PatrolReport.html" in the working
// folder after every patrol (the last 30 also kept as
// "PatrolReport-<yyyymmdd-hhmmss>.html"), and the same summary as lines for
// standard output. A page is new the first time a patrol visits it, changed
// when its text (markup and whitespace aside) differs from the last patrol's,
// unchanged otherwise, failed when the engine could not read it or it did not
// show within the patrol's page time limit. The page is compared by its bytes
// as the server sent them, whitespace aside: a change of markup alone is a
// change too. The fingerprints of the last patrol live in "PatrolPages.lst"
// beside the list.
// Texts are Shift_JIS.
#include <cstddef>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace mireva {

inline constexpr char kPatrolReportFile[] = "PatrolReport.html";
inline constexpr char kPatrolFingerprintFile[] = "PatrolPages.lst";
// How many dated copies of the report are kept.
inline constexpr size_t kPatrolReportsKept = 30;

enum class PageState { New, Changed, Unchanged, Failed };
// "new", "changed", "unchanged", "failed": the words of the summary lines.
const char* PageStateWord(PageState state);

struct ReportedFile {
  std::string address;  // where it came from
  std::string file;     // relative to the working folder
};

struct ReportedPage {
  std::string address;
  PageState state = PageState::New;
  std::vector<ReportedFile> files;  // new files downloaded from the page
  size_t failedFiles = 0;
  std::string reason;  // why a failed page failed, shown in the report
};

// A fingerprint of a page's bytes: whitespace left out, so that reflowed text
// is the same page. An empty page has an empty fingerprint.
std::string TextFingerprint(const std::string& text);

// The fingerprints of the last patrol, by address ("address<TAB>fingerprint" lines).
std::map<std::string, std::string> ReadFingerprints(const std::string& path);
bool WriteFingerprints(const std::string& path, const std::map<std::string, std::string>& prints);

// The state of a page from its fingerprint now and the last patrol's.
PageState StateOf(bool failed, const std::string& fingerprint,
                  const std::map<std::string, std::string>& last, const std::string& address);

// The report page. `stopped`: the user ended the patrol early.
std::string PatrolReportHtml(const std::vector<ReportedPage>& pages, std::time_t ended,
                             bool stopped);
// One line per page: "state<TAB>address<TAB>new files".
std::string PatrolSummaryLines(const std::vector<ReportedPage>& pages);
// Writes the report into `folder` as kPatrolReportFile and its dated copy,
// and removes the oldest dated copies beyond kPatrolReportsKept. False when
// the report could not be written.
bool WritePatrolReport(const std::string& folder, const std::string& html, std::time_t ended);

}  // namespace mireva
