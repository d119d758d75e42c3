#pragma once
// The program's menus, toolbar and accelerators as data: every command id with
// its caption and the object that handles it. The wx frame builds its menu bar
// and toolbar from this table; tests check it without a display.
// Captions are Shift_JIS.
#include <string>
#include <vector>

#include "core/command_ids.h"
#include "core/command_router.h"
#include "core/menu_model.h"

namespace mireva {

struct ToolButton {
  int id = 0;                  // 0 for a gap
  std::string tooltip;
};

enum AccelModifier { kNoModifier = 0, kCtrl = 1, kShift = 2, kAlt = 4 };
struct Accelerator {
  int modifiers;
  int key;  // an ASCII letter, or one of the kKey* values below
  int id;
};
inline constexpr int kKeyBackspace = 8, kKeyDelete = 127, kKeyInsert = 0x1000, kKeyF5 = 0x1005,
                     kKeyF6 = 0x1006, kKeyLeft = 0x1101, kKeyRight = 0x1102;


// The main menu: the top-level menus in order, each a Submenu with its items.
const MenuModel& MainMenu();
// The toolbar, left to right.
const std::vector<ToolButton>& MainToolbar();
// The keys of the main window.
const std::vector<Accelerator>& MainAccelerators();
// Every command id that a menu item, button or key can issue, and the object
// that handles it (nullopt-like: `handled` false for those nobody handles).
struct CommandInfo {
  int id;
  bool handled;
  CommandTarget target;
};
inline constexpr CommandInfo kCommandHandlerTable[] = {
    {kCmdFileOpen, true, CommandTarget::View},
    {kCmdSavePage, true, CommandTarget::View},
    {kCmdSaveHtml, true, CommandTarget::View},
    {kCmdSaveText, true, CommandTarget::View},
    {kCmdPrint, true, CommandTarget::View},
    {kCmdPrintSetup, false, CommandTarget::View},
    {kCmdDialUpSettings, true, CommandTarget::Frame},
    {kCmdModemSettings, true, CommandTarget::Frame},
    {kCmdInternetSettings, true, CommandTarget::Frame},
    {kCmdAppExit, true, CommandTarget::Application},
    {kCmdRunPatrol, true, CommandTarget::View},
    {kCmdEditPatrolList, true, CommandTarget::View},
    {kCmdDownloadTypes, true, CommandTarget::View},
    {kCmdPatrolReport, true, CommandTarget::View},
    {kCmdDownloadsWindow, true, CommandTarget::View},
    {kCmdSelectLinks, true, CommandTarget::View},
    {kCmdWeatherCatalogue, true, CommandTarget::View},
    {kCmdNewspaperCatalogue, true, CommandTarget::View},
    {kCmdTvNewsCatalogue, true, CommandTarget::View},
    {kCmdPageImages, true, CommandTarget::View},
    {kCmdPageMedia, true, CommandTarget::View},
    {kCmdLinkedImages, true, CommandTarget::View},
    {kCmdLinkedBinaries, true, CommandTarget::View},
    {kCmdLinkedMedia, true, CommandTarget::View},
    {kCmdLinkedMovies, true, CommandTarget::View},
    {kCmdLinkedMetafiles, true, CommandTarget::View},
    {kCmdMapPage, true, CommandTarget::View},
    {kCmdMapLinkAnalysis, true, CommandTarget::View},
    {kCmdMapLoadList, true, CommandTarget::View},
    {kCmdMapDownload, true, CommandTarget::View},
    {kCmdMapJoin, true, CommandTarget::View},
    {kCmdAirPhotoPage, true, CommandTarget::View},
    {kCmdHimawariInfrared, true, CommandTarget::View},
    {kCmdHimawariVisible, true, CommandTarget::View},
    {kCmdHimawariVapour, true, CommandTarget::View},
    {kCmdHimawariGlobe, true, CommandTarget::View},
    {kCmdHimawariInfraredMovie, true, CommandTarget::View},
    {kCmdHimawariVisibleMovie, true, CommandTarget::View},
    {kCmdSkyStream, true, CommandTarget::View},
    {kCmdSkyField, true, CommandTarget::View},
    {kCmdSkyMosaic, true, CommandTarget::View},
    {kCmdSkyFamousPlaces, true, CommandTarget::View},
    {kCmdSkyPatrolList, true, CommandTarget::View},
    {kCmdSkyLoadList, true, CommandTarget::View},
    {kCmdSkyDownload, true, CommandTarget::View},
    {kCmdAddBookmark, false, CommandTarget::View},
    {kCmdEditOperaHotlist, true, CommandTarget::Frame},
    {kCmdExternalLinks, true, CommandTarget::View},
    {kCmdInternalLinks, true, CommandTarget::View},
    {kCmdCacheFiles, true, CommandTarget::View},
    {kCmdViewToolbar, true, CommandTarget::Frame},
    {kCmdViewStatusBar, true, CommandTarget::Frame},
    {kCmdViewSource, true, CommandTarget::View},
    {kCmdReload, true, CommandTarget::View},
    {kCmdSelectAddress, true, CommandTarget::Frame},
    {kCmdBookmarkSettings, true, CommandTarget::Frame},
    {kCmdEncodingAuto, true, CommandTarget::View},
    {kCmdEncodingShiftJis, true, CommandTarget::View},
    {kCmdEncodingEucJp, true, CommandTarget::View},
    {kCmdEncodingIso2022Jp, true, CommandTarget::View},
    {kCmdEncodingUtf8, true, CommandTarget::View},
    {kCmdLargestFont, true, CommandTarget::View},
    {kCmdLargerFont, true, CommandTarget::View},
    {kCmdNormalFont, true, CommandTarget::View},
    {kCmdSmallerFont, true, CommandTarget::View},
    {kCmdSmallestFont, true, CommandTarget::View},
    {kCmdReleaseNotes, true, CommandTarget::View},
    {kCmdHomePage, true, CommandTarget::View},
    {kCmdAppAbout, true, CommandTarget::Application},
    {kCmdGo, true, CommandTarget::View},
    {kCmdPasteAddress, true, CommandTarget::View},
    {kCmdBack, true, CommandTarget::View},
    {kCmdForward, true, CommandTarget::View},
    {kCmdStop, true, CommandTarget::View},
    {kCmdEditNetscapeBookmarks, true, CommandTarget::Frame},
    {kCmdShowNetscapePath, true, CommandTarget::View},
    {kCmdFileSave, true, CommandTarget::Document},
    {kCmdEditCopy, true, CommandTarget::View},
    {kCmdEditCut, true, CommandTarget::View},
    {kCmdEditPaste, true, CommandTarget::View},
    {kCmdFileNew, false, CommandTarget::View},
    {kCmdBlankButton, false, CommandTarget::View},
    {kCmdEditUndo, false, CommandTarget::View},
    {kCmdNextPane, false, CommandTarget::View},
    {kCmdPrevPane, false, CommandTarget::View},
};

// Finds a menu item by id anywhere in MainMenu(); nullptr if there is none.
const MenuItem* FindMenuItem(int id);
// Whether `id` is a command of the table (or of the favorites and bookmark
// ranges). Only these are enabled or disabled by the update-UI rule: the frame,
// its panels, the address field and submenus keep their own state.
bool IsCommandId(int id);

}  // namespace mireva
