#include "bookmarks/netscape_bookmarks.h"

#include <algorithm>

#include "bookmarks/sjis_text.h"
#include "platform/text_helpers.h"

namespace mireva {

const char* const kBookmarksTruncatedNotice = "（256 件を超えたブックマークは表示していません）";

namespace {

// Entries are collected up to this count before the rotation at the marker,
// so a marker far down a large file still takes effect; the menu keeps 256.
constexpr size_t kMaxParsedEntries = 100000;

// The charset named in the head (a META Content-Type or a META charset);
// the file's detected encoding when there is none or it is neither family.
FileEncoding NetscapeEncoding(std::string_view bytes) {
  std::string head = LowerAscii(bytes.substr(0, std::min<size_t>(bytes.size(), 4096)));
  size_t at = head.find("charset=");
  if (at != std::string::npos) {
    size_t b = at + 8;
    while (b < head.size() && (head[b] == '"' || head[b] == '\'' || head[b] == ' ')) ++b;
    size_t e = b;
    while (e < head.size() && (IsAsciiAlnum(head[e]) || head[e] == '-' || head[e] == '_')) ++e;
    std::string cs = head.substr(b, e - b);
    if (cs == "utf-8" || cs == "utf8") return FileEncoding::Utf8;
    if (cs == "shift_jis" || cs == "shift-jis" || cs == "x-sjis" || cs == "sjis" ||
        cs == "windows-31j" || cs == "cp932" || cs == "ms932")
      return FileEncoding::ShiftJis;
  }
  return DetectEncoding(bytes);
}

}  // namespace

NetscapeBookmarks ParseNetscapeBookmarks(std::string_view fileBytes) {
  NetscapeBookmarks result;
  if (fileBytes.size() > kBookmarkFileLimit) fileBytes = fileBytes.substr(0, kBookmarkFileLimit);
  const std::string text = ToSjis(fileBytes, NetscapeEncoding(fileBytes));

  static const std::string kAnchor = "<A HREF=";
  static const std::string kMarker = "マイブック";
  std::vector<BookmarkEntry> read;
  size_t marker = 0;
  LineReader lines(text, kBookmarkLineLimit);
  std::string_view line;
  while (lines.Next(&line) && read.size() < kMaxParsedEntries) {
    if (FindSjis(line, kMarker) != std::string_view::npos) marker = read.size();
    size_t a = line.find(kAnchor);
    if (a == std::string_view::npos) continue;
    size_t gt = line.find('>', a + kAnchor.size());
    if (gt == std::string_view::npos) continue;
    size_t lt = line.find('<', gt + 1);
    if (lt == std::string_view::npos) continue;
    // The address starts after the opening quote and ends at the next quote.
    size_t start = a + kAnchor.size() + 1;
    size_t quote = start <= line.size() ? line.find('"', start) : std::string_view::npos;
    if (quote == std::string_view::npos) continue;
    std::string_view address = line.substr(start, quote - start);
    address = address.substr(0, address.find('?'));
    read.push_back({DecodeHtmlEntities(line.substr(gt + 1, lt - gt - 1)),
                    DecodeHtmlEntities(address)});
  }

  // From the marker to the end, then the entries before it.
  if (marker > 0 && marker < read.size())
    std::rotate(read.begin(), read.begin() + static_cast<long>(marker), read.end());
  if (read.size() > kBookmarkRangeSize) {
    read.resize(kBookmarkRangeSize);
    result.truncated = true;
  }
  result.entries = std::move(read);
  return result;
}

MenuModel NetscapeMenuSection(const NetscapeBookmarks& bookmarks) {
  MenuModel menu;
  if (bookmarks.entries.empty()) return menu;
  menu.push_back(MenuItem::Separator());
  for (size_t r = 0; r < bookmarks.entries.size(); ++r)
    menu.push_back(MenuItem::Command(bookmarks.entries[r].title,
                                     kNetscapeFirstId + static_cast<int>(r),
                                     bookmarks.entries[r].address));
  if (bookmarks.truncated) menu.push_back(MenuItem::Notice(kBookmarksTruncatedNotice));
  return menu;
}

}  // namespace mireva
