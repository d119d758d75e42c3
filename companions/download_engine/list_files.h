#pragma once
// The two list files the engine reads and writes, both plain text with CR LF
// line ends, at most 257 characters a line when read (a longer line ends the
// reading, as in every list reader of the program).
//
// "Download.lst":              "Patrol.lst":
//   start download;              start patrol;
//   index page;                  index page;
//   <top address "http://host/">  <absolute address>      (index entries)
//   <label>                      sub page;
//   <server path> ...            <path relative to the last index entry> ...
//   end download;                end patrol;
#include <cstddef>
#include <string>
#include <vector>

namespace mireva::dl {

inline constexpr size_t kMaxListLine = 257;

struct DownloadList {
  std::string top;
  std::string label;
  std::vector<std::string> paths;
};

DownloadList ParseDownloadList(const std::string& text, size_t maxEntries = 100000);
std::string FormatDownloadList(const DownloadList& list);

// A server path joined to the top address ("http://host/" + "/img/a.gif" gives
// "http://host/img/a.gif"); a line that is itself an http(s) address stands alone.
std::string JoinTopAndPath(const std::string& top, const std::string& path);

// The addresses a patrol visits, in order, by the reading rules of the patrol.
std::vector<std::string> ParsePatrolList(const std::string& text, size_t maxEntries = 100000);
// Every address becomes an index entry of its own, so each is visited as it is.
// Addresses longer than a list line are left out.
std::string FormatPatrolList(const std::vector<std::string>& addresses);

}  // namespace mireva::dl
