#pragma once
// Reader of Netscape bookmark files (the HTML that browsers export) into one
// flat list of entries. A line holding "<A HREF=" carries an entry: the address
// is the quoted value after it, cut before its first "?", the title the text
// between the next ">" and the following "<". A line holding "マイブック" marks
// where the preferred part begins: the list then starts at the entry read next
// and wraps round to the entries before it. Folders are not kept.
//
// Files are read in their declared charset (the META Content-Type, as today's
// exports write "UTF-8") or, without a declaration, in the detected one
// (UTF-8 or Shift_JIS); titles and addresses come out in Shift_JIS with their
// HTML character references decoded.
#include <string>
#include <string_view>
#include <vector>

#include "bookmarks/menu_model.h"

namespace mireva {

struct BookmarkEntry {
  std::string title;    // Shift_JIS
  std::string address;  // Shift_JIS
};

struct NetscapeBookmarks {
  std::vector<BookmarkEntry> entries;  // menu order; entry r is command kNetscapeFirstId + r
  bool truncated = false;              // entries beyond the 256th were left out
};

// Bounds: the file is read up to 32 MiB; a line longer than 1 MiB ends the
// reading (entries read before it are kept). Exports put a whole base64
// favicon on each bookmark's line, so the lines of today's files run to
// thousands of bytes.
constexpr size_t kBookmarkFileLimit = 32u << 20;
constexpr size_t kBookmarkLineLimit = 1u << 20;

// Parses the bytes of a bookmark file.
NetscapeBookmarks ParseNetscapeBookmarks(std::string_view fileBytes);

// The menu section for the entries: a separator, then one item per entry with
// ids from kNetscapeFirstId, then a disabled notice when entries were left
// out. Empty when there are no entries.
MenuModel NetscapeMenuSection(const NetscapeBookmarks& bookmarks);

extern const char* const kBookmarksTruncatedNotice;

}  // namespace mireva
