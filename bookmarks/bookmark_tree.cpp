#include "bookmarks/bookmark_tree.h"

#include "platform/text_helpers.h"

namespace mireva {
namespace {

// Line breaks would split an entry across lines, which both readers take line by line.
std::string OneLine(const std::string& s) {
  std::string out;
  for (char c : s) out += (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
  return out;
}

std::string EscapeLine(const std::string& s) { return EscapeHtml(OneLine(s)); }

void WriteNetscapeLevel(const std::vector<BookmarkNode>& nodes, int depth, std::string& out) {
  std::string indent(static_cast<size_t>(depth) * 4, ' ');
  for (const BookmarkNode& n : nodes) {
    if (n.folder) {
      out += indent + "<DT><H3>" + EscapeLine(n.title) + "</H3>\n";
      out += indent + "<DL><p>\n";
      WriteNetscapeLevel(n.children, depth + 1, out);
      out += indent + "</DL><p>\n";
    } else {
      out += indent + "<DT><A HREF=\"" + EscapeLine(n.url) + "\">" + EscapeLine(n.title) + "</A>\n";
    }
  }
}

void WriteHotlistLevel(const std::vector<BookmarkNode>& nodes, int& id, std::string& out) {
  for (const BookmarkNode& n : nodes) {
    if (n.folder) {
      out += "#FOLDER\n\tID=" + std::to_string(++id) + "\n\tNAME=" + OneLine(n.title) + "\n\n";
      WriteHotlistLevel(n.children, id, out);
      out += "-\n\n";
    } else {
      out += "#URL\n\tID=" + std::to_string(++id) + "\n\tNAME=" + OneLine(n.title) +
             "\n\tURL=" + OneLine(n.url) + "\n\n";
    }
  }
}

}  // namespace

std::string WriteNetscapeHtml(const std::vector<BookmarkNode>& roots) {
  std::string out =
      "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
      "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
      "<TITLE>Bookmarks</TITLE>\n"
      "<H1>Bookmarks</H1>\n"
      "<DL><p>\n";
  WriteNetscapeLevel(roots, 1, out);
  out += "</DL><p>\n";
  return out;
}

std::string WriteOperaHotlist(const std::vector<BookmarkNode>& roots) {
  std::string out = "Opera Hotlist version 2.0\nOptions: encoding = utf8, version=3\n\n";
  int id = 0;
  WriteHotlistLevel(roots, id, out);
  return out;
}

size_t CountBookmarks(const std::vector<BookmarkNode>& roots) {
  size_t n = 0;
  for (const BookmarkNode& r : roots) n += r.folder ? CountBookmarks(r.children) : 1;
  return n;
}

}  // namespace mireva
