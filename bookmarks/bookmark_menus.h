#pragma once
// The main window's favorites and bookmark menus as data: the three menu
// models, the address lists behind the three command ranges, the two source
// paths and the editing of the working copies. The GUI turns the models into
// menus (bookmarks/wx/menu_builder.h) and rebuilds them when `onChanged` fires.
//
// The bookmarks menu "oブックマーク" is, in order: "登録" (3111, disabled),
// "編集" (3312), the Opera hotlist section, the Netscape bookmark section.
// Each re-read replaces its own section and address list, so a second read
// never adds a second copy.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bookmarks/favorites.h"
#include "bookmarks/menu_model.h"
#include "bookmarks/netscape_bookmarks.h"
#include "bookmarks/opera_hotlist.h"

namespace mireva {

class Interaction;

enum class BookmarkMenuKind { Favorites, Bookmarks };

// The working copies in the working folder.
extern const char* const kNetscapeWorkingCopy;  // "bookmark.html"
extern const char* const kOperaWorkingCopy;     // "operabook.txt"

class BookmarkMenus {
 public:
  // Opens a file in the user's text editor and calls `closed` on the calling
  // thread once the editor has ended (true), or when it cannot be started
  // (false). The window's hook returns at once, so the window stays live
  // while the user edits.
  using EditFile = std::function<void(const std::string& hostPath,
                                      std::function<void(bool started)> closed)>;
  // The current source path as a host path, "" when there is none.
  using FindPath = std::function<std::string()>;

  struct Hooks {
    EditFile editFile;     // default: OpenInTextEditor(path, Wait::UntilExit), then `closed`
    FindPath netscapePath;  // default: FindNetscapeBookmarks (bookmark_sources.h)
    FindPath operaPath;     // default: FindOperaHotlist
  };

  // `workingFolder` is the host path where the working copies lie.
  explicit BookmarkMenus(std::string workingFolder, Hooks hooks = {});

  // Fills the favorites menu from a folder (done once, at window creation).
  void BuildFavorites(const std::string& hostFolder);

  const MenuModel& FavoritesModel() const { return favorites_.menu; }
  // The whole bookmarks menu, fixed items included.
  MenuModel BookmarksModel() const;

  // The address behind a command id of the matching range; nothing for an id
  // outside the range or beyond the list.
  std::optional<std::string> FavoriteAddress(int id) const;
  std::optional<std::string> NetscapeAddress(int id) const;
  std::optional<std::string> OperaAddress(int id) const;

  // Commands 3101 and 3312: copy the source over the working copy (a failing
  // copy is ignored), open the working copy in the editor, and read it when
  // the editor has ended (the menu is rebuilt then). Messages go to `ui`,
  // which must outlive the editor's run as this object must.
  void EditNetscape(Interaction& ui);
  void EditOpera(Interaction& ui);

  // Copies both sources over their working copies and reads them into the
  // menu, as an edit does without the editor (at start, after the settings
  // dialog). A source that is not there leaves its section as it was, silently.
  void FillFromSources(Interaction& ui);

  // Read a working copy into its section; false (with the file-not-found
  // message, menu unchanged) when it cannot be read.
  bool ReadNetscape(Interaction& ui);
  bool ReadOpera(Interaction& ui);

  // The Netscape bookmark path (Shift_JIS): the one the last edit used, else
  // the one found now; "" when there is none.
  std::string NetscapePath();

  std::string NetscapeCopyPath() const { return workingFolder_ + "/" + kNetscapeWorkingCopy; }
  std::string OperaCopyPath() const { return workingFolder_ + "/" + kOperaWorkingCopy; }

  // Called after a model has changed, with the menu to rebuild.
  std::function<void(BookmarkMenuKind)> onChanged;

 private:
  void Changed(BookmarkMenuKind kind);

  std::string workingFolder_;
  Hooks hooks_;
  FavoritesMenu favorites_;
  NetscapeBookmarks netscape_;
  std::vector<std::string> netscapeAddresses_;
  OperaHotlist opera_;
  bool netscapeRead_ = false;
  bool operaRead_ = false;
  std::string netscapePath_;  // Shift_JIS
  std::string operaPath_;     // Shift_JIS
};

}  // namespace mireva
