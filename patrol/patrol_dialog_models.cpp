#include "patrol/patrol_dialog_models.h"

#include <utility>

#include "platform/file_util.h"
#include "platform/text_helpers.h"

namespace mireva {

std::string InFolder(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

void ListSnapshot::Take(const std::string& path) {
  taken_ = true;
  contents_ = ReadWholeFile(path);
}

bool ListSnapshot::MayReplace(const std::string& path, Interaction& ui) const {
  if (!taken_ || ReadWholeFile(path) == contents_) return true;
  return ui.AskYesNo("巡回リストは他で変更されています。上書きしますか。");
}

PatrolListEditor::PatrolListEditor(Interaction& ui, std::string folder)
    : ui_(ui), folder_(std::move(folder)) {}

void PatrolListEditor::Load() {
  const std::string path = InFolder(folder_, kPatrolListFile);
  snapshot_.Take(path);
  items = ReadPatrolListItems(path);
  selection = FileExists(path) && !items.empty() ? 0 : -1;
}

bool PatrolListEditor::Add(const std::string& text) {
  if (text.empty()) {
    ui_.ShowMessage("URL address　を入力して下さい", MessageIcon::Exclamation);
    return false;
  }
  std::string item = EditorItemFromText(text);
  // Written without its two leading spaces; a longer line would end every
  // later reading of the list at this entry.
  size_t written = item[0] == ' ' ? text.size() : item.size();
  if (written > kMaxListLine) {
    ui_.ShowMessage("URL address　が長すぎます", MessageIcon::Exclamation);
    return false;
  }
  if (selection >= 0 && selection < static_cast<int>(items.size())) {
    items.insert(items.begin() + selection, item);
    ++selection;  // the selected item keeps its selection
  } else {
    items.push_back(item);
  }
  // A patrol visits the folders of its index entries: the page name typed
  // after the last "/" is not part of the entry, which the user must know.
  if (item[0] != ' ' && item.size() < text.size())
    ui_.ShowMessage("巡回リストには、このアドレスのフォルダ " + item +
                        " だけを加えました。ページ " + text.substr(item.size()) +
                        " も巡回するには、ページ名だけをフォルダの下に加えてください。",
                    MessageIcon::Information);
  return true;
}

void PatrolListEditor::Delete() {
  if (selection < 0 || selection >= static_cast<int>(items.size())) return;
  items.erase(items.begin() + selection);
  selection = -1;
}

void PatrolListEditor::Clear() {
  items.clear();
  selection = -1;
}

bool PatrolListEditor::Save() {
  const std::string path = InFolder(folder_, kPatrolListFile);
  if (!snapshot_.MayReplace(path, ui_) || !WritePatrolList(items, ui_, path)) return false;
  snapshot_.Take(path);  // the dialog stays open: later saves compare with this one
  return true;
}

const CatalogueInfo& InfoOf(CatalogueKind kind) {
  static const CatalogueInfo kInfo[] = {
      {"weather", "Weather.lst", "天気予報", "Weather ファイルがありません。"},
      {"news", "NewsPaper.lst", "ニュース　ソース", "NewsPaper ファイルがありません。"},
      {"tv", "NewsTV.lst", "ニュース　ソース", "NewsTV ファイルがありません。"},
  };
  return kInfo[static_cast<int>(kind)];
}

bool ReadCatalogue(const std::string& path, std::vector<CatalogueEntry>* entries) {
  entries->clear();
  auto text = ReadWholeFile(path);
  if (!text) return false;
  size_t pos = 0;
  std::string line;
  while (TakeListLine(*text, &pos, &line)) {
    size_t space = line.find(' ');
    if (space == std::string::npos || space + 1 >= line.size()) continue;
    entries->push_back({CutSjis(line.substr(0, space), 79), line.substr(space + 1)});
  }
  return true;
}

NewsDialogModel::NewsDialogModel(CatalogueKind kind, Interaction& ui, std::string folder)
    : kind_(kind), ui_(ui), folder_(std::move(folder)) {}

void NewsDialogModel::Load() {
  const CatalogueInfo& info = InfoOf(kind_);
  caption_ = info.caption;
  catalogue.clear();
  patrolItems.clear();
  catalogueSelection = patrolSelection = -1;
  snapshot_.Take(InFolder(folder_, kPatrolListFile));
  if (!ReadCatalogue(InFolder(folder_, info.file), &catalogue)) {
    ui_.ShowMessage(info.missing, MessageIcon::Exclamation);
    return;
  }
  const std::string list = InFolder(folder_, kPatrolListFile);
  if (!FileExists(list)) {
    ui_.ShowMessage("巡回リストがありません。", MessageIcon::Exclamation);
    return;
  }
  patrolItems = ReadPatrolListItems(list);
  if (!catalogue.empty()) catalogueSelection = 0;
}

void NewsDialogModel::Add(int index) {
  if (index < 0 || index >= static_cast<int>(catalogue.size())) return;
  // A catalogue site is an index entry; a leading blank would make it a
  // sub-page item in the display form.
  const std::string& address = catalogue[static_cast<size_t>(index)].address;
  const std::string_view item = TrimStart(address, " ");
  if (!item.empty()) patrolItems.emplace_back(item);
}

void NewsDialogModel::Delete() {
  if (patrolSelection < 0 || patrolSelection >= static_cast<int>(patrolItems.size())) return;
  patrolItems.erase(patrolItems.begin() + patrolSelection);
  patrolSelection = -1;
}

bool NewsDialogModel::Save() {
  const std::string path = InFolder(folder_, kPatrolListFile);
  if (!snapshot_.MayReplace(path, ui_) || !WritePatrolList(patrolItems, ui_, path)) return false;
  snapshot_.Take(path);
  return true;
}

}  // namespace mireva
