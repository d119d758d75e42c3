#pragma once
// The logic of the link-selection window (ダウンロード > リンクを選んでダウンロード):
// the links and embedded resources of the page as the view holds it, the
// named filters of "LinkFilters.txt", the quick filter and the renaming mask.
// Texts are Shift_JIS.
#include <cstddef>
#include <ctime>
#include <memory>
#include <string>
#include <optional>
#include <vector>

#include "core/runtime/download_engine.h"
#include "platform/browser_control.h"

namespace mireva {

// One link or embedded resource of the page on show.
struct PageLink {
  std::string address;  // absolute, without its fragment
  std::string text;     // the link text, else the alt or title
  int width = 0;        // for images whose size the page knows; 0 when unknown
  int height = 0;
};

// The script the view runs in the page: every a/area link, img (with its
// srcset choices), source, video (and its poster), audio, and background
// image set in a style attribute, of the document and of every frame the
// page may reach (frames of other origins stay closed to it). Its answer is
// one reference a line, "<kind>\t<address>\t<text>\t<width>\t<height>".
extern const char kPageLinksScript[];

// Reads the script's answer. Each address is listed once (the first
// reference keeps its place; a size or text found later fills in what it
// lacked); only http, https and ftp addresses of at most 4096 bytes count;
// texts are cut to 600 bytes; at most `limit` links.
std::vector<PageLink> ParsePageLinks(const std::string& answer, size_t limit = 100000);

// A pattern of a filter. Between slashes ("/\.zip$/") an extended regular
// expression (POSIX, as grep -E takes it) searched in the address; otherwise wildcards ("*" any run, "?" one
// character) matched against the whole address, the address without its
// query, and its file name, so "*.zip" also takes "a.zip?dl=1". A pattern
// without a wildcard matches addresses that contain it. Case is ignored; a
// broken expression matches nothing.
class LinkPattern {
 public:
  explicit LinkPattern(const std::string& text);
  bool Matches(const std::string& address) const;
  bool Empty() const { return text_.empty(); }
  // False for an expression that does not compile.
  bool Valid() const { return !isRegex_ || regex_ != nullptr; }

 private:
  std::string text_;
  std::string suffix_;  // "*<suffix>" without other wildcards: a plain, lower-case end
  bool isRegex_ = false;
  struct Compiled;  // a POSIX regex_t, freed with the last copy
  std::shared_ptr<const Compiled> regex_;
};

// A named filter: a check box of the window.
struct NamedFilter {
  std::string name;
  std::vector<LinkPattern> patterns;
  bool on = false;
  bool Matches(const std::string& address) const;
};

// The filters file in the working folder, seeded from the shipped one.
inline constexpr char kFiltersFile[] = "LinkFilters.txt";
// Reads the filters file: one filter a line, "<name>=<pattern>;<pattern>...";
// blank lines and lines starting with "#" are skipped; at most 64 filters.
std::vector<NamedFilter> ParseFilters(const std::string& text);
// The shipped filters (画像, JPEG, GIF, PNG, 動画, 音声, 圧縮ファイル, 文書,
// プログラム), used when the file is missing or holds none.
std::string DefaultFiltersText();
// The names of the filters that match, joined by ",".
std::string KindOf(const std::vector<NamedFilter>& filters, const std::string& address);

// Which links are chosen: with a quick filter, exactly those it matches;
// without, those any checked named filter matches.
std::vector<bool> ChooseLinks(const std::vector<PageLink>& links,
                              const std::vector<NamedFilter>& filters,
                              const std::string& quickFilter);

// What the renaming tags draw on besides the link.
struct MaskContext {
  std::string pageAddress;  // the page on show (*refhost*)
  std::string pageTitle;    // *title*
  std::time_t now = 0;      // *date* *y* *m* *d* *hh* *mm* *ss* (local time)
  size_t count = 0;         // links chosen: *num* is padded to its width
};

inline constexpr char kDefaultMask[] = "*name*.*ext*";

// The name the `number`-th chosen link (from 1) gets under `mask`. Tags:
// *name* (the file name without extension; "index" when the address names a
// folder), *ext*, *text*, *title*, *host*, *subdirs* (the folders of the
// address's path), *num*, *date* (YYYY-MM-DD), *y* *m* *d* *hh* *mm* *ss*,
// *qstring* (the query without "?"), *url* (the whole address), *refhost*
// (the page's host). An unknown tag stays as written. A "/" written in the
// mask (and those of *subdirs*) makes subfolders; a "/" inside any other
// tag's value becomes "_". Every part is made safe by the engine's own rules,
// so the name shown is the name the engine writes.
std::string ApplyMask(const std::string& mask, const PageLink& link, size_t number,
                      const MaskContext& context);

// The lines handed to the engine's DlLoadSelection: "<address>\t<name>\n".
std::string SelectionItems(const std::vector<PageLink>& links, const std::vector<std::string>& names);

// What becomes of a name that is taken in the destination.
enum class ExistingChoice { Rename, Skip, Overwrite };
const char* ExistingWord(ExistingChoice choice);  // "rename", "skip", "overwrite"

// The destination folder shown first: DownLoad/<host of the page>.
std::string DefaultDestination(const std::string& pageAddress);

// Asks the view for the links of the page on show; nothing when the page's
// script could not run (a page of the program's own, say).
std::optional<std::vector<PageLink>> CollectPageLinks(BrowserControl& browser);

// One line per file of an ended selection call: saved as, skipped (exists
// or in the history) or failed with the reason.
std::vector<std::string> DescribeSelectionFiles(const CallResult& result);
// The addresses of the files that failed, for "失敗したものを再試行".
std::vector<std::string> FailedAddresses(const CallResult& result);

// The host of an address ("" when it has none).
std::string HostOf(const std::string& address);

}  // namespace mireva
