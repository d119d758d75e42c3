#pragma once
// The logic behind the patrol-list editor and the news and weather catalogue
// dialog: what each button does to the lists, the files read and
// written and the messages. The wx dialogs in patrol_dialogs.cpp only show these
// models and forward their buttons. Texts are Shift_JIS.
#include <optional>
#include <string>
#include <vector>

#include "patrol/patrol_list.h"
#include "platform/interaction.h"

namespace mireva {

// "" for the current (working) folder, else the folder with a "/" after it.
std::string InFolder(const std::string& folder, const std::string& name);

// What a list file held when a dialog read it, so that saving can tell
// whether something else (another window, a scheduled patrol making its list)
// has replaced it since, instead of silently undoing that change.
class ListSnapshot {
 public:
  void Take(const std::string& path);
  // True when the file still holds what was taken (or nothing was taken);
  // otherwise asks "巡回リストは他で変更されています。上書きしますか。" and
  // returns the answer.
  bool MayReplace(const std::string& path, Interaction& ui) const;

 private:
  bool taken_ = false;
  std::optional<std::string> contents_;  // nothing: the file was missing
};

class PatrolListEditor {
 public:
  PatrolListEditor(Interaction& ui, std::string folder = std::string());

  // Dialog start: the items of "Patrol.lst" in display form; item 0 selected
  // when the file was there. A missing file gives an empty list, no message.
  void Load();
  // Add (501): inserts the item for `text` before the selection, else appends.
  // Empty text: "URL address　を入力して下さい". A line the list could not
  // hold (over 257 bytes) is refused with "URL address　が長すぎます". A web
  // address is kept as its folder (EditorItemFromText); when that leaves out
  // a page name, the user is told which folder was added and how to patrol
  // the page itself (as a sub-page item below it).
  bool Add(const std::string& text);
  void Delete();  // 502: the selected item; nothing without a selection
  void Clear();   // 504
  // 505: WritePatrolList; the dialog stays open. When the file changed on
  // disk since it was read, the user is asked first; No keeps it (false).
  bool Save();

  std::vector<std::string> items;
  int selection = -1;

 private:
  Interaction& ui_;
  std::string folder_;
  ListSnapshot snapshot_;
};

enum class CatalogueKind { Weather, News, Tv };

struct CatalogueInfo {
  const char* kind;     // "weather", "news", "tv"
  const char* file;     // "Weather.lst" ...
  const char* caption;  // caption of the catalogue list
  const char* missing;  // message when the file is missing
};
const CatalogueInfo& InfoOf(CatalogueKind kind);

struct CatalogueEntry {
  std::string name;     // text before the first space, at most 79 bytes
  std::string address;  // everything after the first space
};

// A catalogue file: lines "name address"; lines without a space (or with
// nothing after it) name no site and are left out. Reading stops at a line
// over 257 bytes. Nothing when the file cannot be read.
bool ReadCatalogue(const std::string& path, std::vector<CatalogueEntry>* entries);

class NewsDialogModel {
 public:
  NewsDialogModel(CatalogueKind kind, Interaction& ui, std::string folder = std::string());

  // Dialog start: the catalogue (message and empty lists when missing), then
  // "Patrol.lst" ("巡回リストがありません。" when missing). The patrol list is
  // shown in the editor's display form, so that saving keeps the index and
  // sub-page structure of a list made in the editor.
  void Load();
  const std::string& Caption() const { return caption_; }
  // Add (754): appends the address of catalogue entry `index` (no-op when out of range).
  void Add(int index);
  void Delete();  // 755: the selected patrol item
  // OK (1): writes the patrol list; false (message shown) when it could not.
  // When the list changed on disk since the dialog read it, the user is
  // asked first; No keeps the file and the dialog (false).
  bool Save();

  std::vector<CatalogueEntry> catalogue;
  std::vector<std::string> patrolItems;
  int catalogueSelection = -1;
  int patrolSelection = -1;

 private:
  CatalogueKind kind_;
  Interaction& ui_;
  std::string folder_;
  std::string caption_;
  ListSnapshot snapshot_;
};

}  // namespace mireva
