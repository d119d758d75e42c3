#pragma once
// "Patrol.lst": the list of pages a patrol visits, its writer and its reader.
//
// On disk (CR LF line ends; LF alone is accepted when reading):
//   start patrol;          first line, ignored when read
//   index page;            the following lines are index entries (absolute addresses)
//   http://host/dir/
//   sub page;              the following lines are relative to the last index entry
//   page.html              -> http://host/dir/page.html
//   ../../up.html          -> two levels above the index entry's folder
//   end patrol;            reading stops here
// Control lines are recognised only when the whole line matches exactly.
// A line holds at most 257 bytes; a longer line ends the reading like end of file.
//
// Display form (the editor's list box): an index entry as it is, a sub-page
// entry with two spaces in front. Any item beginning with a space is a sub-page
// entry; all its leading spaces go when it is written.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/interaction.h"
#include "platform/text_helpers.h"

namespace mireva {

inline constexpr size_t kMaxListLine = 257;          // bytes of one list line
inline constexpr size_t kMaxAddress = kMaxPath - 1;  // bytes of an address
inline constexpr const char kPatrolListFile[] = "Patrol.lst";

// Splits one line off `text` at `pos` (CR LF or LF end it, neither is part of
// it). False at the end of the text or when the line is longer than
// kMaxListLine, which ends every reader of the list files.
bool TakeListLine(const std::string& text, size_t* pos, std::string* line);

// The items of a patrol list in display form, as the editor shows them. Missing
// file: empty. Lines after a too-long line are not read.
std::vector<std::string> ReadPatrolListItems(const std::string& path);
// The same from the file's bytes.
std::vector<std::string> ParsePatrolListItems(const std::string& text);

// The file's bytes for the items in display form.
std::string FormatPatrolList(const std::vector<std::string>& items);

// Writes the items to `path` through a temporary file that replaces the old
// list, so a patrol reading the old list and a failed save never see half a
// file. On failure shows "リストが保存できませんでした。" and returns false.
bool WritePatrolList(const std::vector<std::string>& items, Interaction& ui,
                     const std::string& path = kPatrolListFile);

// Reads the patrol list one address at a time for a running patrol. The file
// stays open from Open to Close; a save meanwhile replaces the file under a new
// inode, so the run goes on over the list it started with.
class PatrolListReader {
 public:
  explicit PatrolListReader(Interaction& ui, std::string path = kPatrolListFile);
  ~PatrolListReader();
  PatrolListReader(const PatrolListReader&) = delete;
  PatrolListReader& operator=(const PatrolListReader&) = delete;

  // Opens the list and sets sub-page mode. When the file is missing, or still
  // open from a run in progress, shows "巡回リストが見つかりません。", leaves the
  // reader failed (a run in progress gets no further entry) and returns false.
  bool Open();
  // The next address to visit; false when the list is exhausted or failed.
  // A sub-page entry whose resolved address would exceed kMaxAddress bytes is
  // skipped: cutting it would visit a wrong address.
  bool NextEntry(std::string* out);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

  bool SubPageMode() const { return subPageMode_; }
  const std::string& BaseAddress() const { return baseAddress_; }

 private:
  Interaction& ui_;
  std::string path_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
  bool subPageMode_ = true;
  std::string baseAddress_;  // not reset by Open: the last index entry read
};

// Resolves a sub-page entry against the base address: "../../x" climbs two
// folders (the two last "/" of the base and what follows the third-last go; the
// base's first byte is never removed); any other entry is appended directly.
std::string ResolveSubPage(const std::string& base, const std::string& entry);

// The editor's add rule: text beginning with "http" is cut back to its last "/"
// (an index entry); anything else becomes a sub-page item with two spaces.
std::string EditorItemFromText(const std::string& text);

}  // namespace mireva
