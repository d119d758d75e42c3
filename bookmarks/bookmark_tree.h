#pragma once
// Bookmarks of another browser as a tree (UTF-8 text), and the two file
// formats the menus read, written from such a tree:
//  - the Netscape bookmark file as browsers export it (UTF-8, declared in its
//    META Content-Type; one "<DT><A HREF=...>title</A>" line per bookmark);
//  - the Opera hotlist ("Opera Hotlist version 2.0", "encoding = utf8",
//    "#FOLDER"/"#URL" blocks, "-" closing a folder).
#include <string>
#include <vector>

namespace mireva {

struct BookmarkNode {
  bool folder = false;
  std::string title;  // UTF-8
  std::string url;    // bookmarks only
  std::vector<BookmarkNode> children;
};

std::string WriteNetscapeHtml(const std::vector<BookmarkNode>& roots);
std::string WriteOperaHotlist(const std::vector<BookmarkNode>& roots);

// Number of bookmarks (not folders) in the tree.
size_t CountBookmarks(const std::vector<BookmarkNode>& roots);

}  // namespace mireva
