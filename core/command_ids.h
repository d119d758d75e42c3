#pragma once
// Every command id of the program by name: menu items, toolbar and address-bar
// buttons, keys. The numbers are the program's own and stay stable (they are
// what `--command N` takes). The framework's standard commands (57600 and up)
// map onto the toolkit's stock ids in the main window; every other id lies
// below the toolkit's reserved range, which the main window checks when it is
// compiled.
namespace mireva {

enum CommandId : int {
  // File menu
  kCmdPrint = 200, kCmdSaveHtml = 400, kCmdSaveText = 401, kCmdSavePage = 402,
  kCmdDialUpSettings = 403, kCmdInternetSettings = 404, kCmdModemSettings = 405,
  // Toolbar and address bar
  kCmdBlankButton = 300, kCmdBack = 301, kCmdForward = 302, kCmdStop = 303,
  kCmdGo = 1001, kCmdPasteAddress = 1002,
  // Patrol menu
  kCmdWeatherCatalogue = 710, kCmdNewspaperCatalogue = 750, kCmdTvNewsCatalogue = 751,
  kCmdRunPatrol = 2201, kCmdEditPatrolList = 2202, kCmdPatrolReport = 2203,
  kCmdDownloadTypes = 2250,
  // Download menu: the page's files and its links
  kCmdExternalLinks = 2102, kCmdInternalLinks = 2103, kCmdPageImages = 2104,
  kCmdLinkedBinaries = 2105, kCmdLinkedImages = 2106, kCmdPageMedia = 2107,
  kCmdLinkedMedia = 2108, kCmdLinkedMovies = 2110, kCmdCacheFiles = 2112,
  kCmdLinkedMetafiles = 2113, kCmdDownloadsWindow = 2120, kCmdSelectLinks = 2121,
  // Download menu: the map, satellite and sky collectors
  kCmdMapJoin = 700, kCmdMapPage = 701, kCmdAirPhotoPage = 702, kCmdMapDownload = 703,
  kCmdMapLoadList = 704, kCmdMapLinkAnalysis = 705,
  kCmdHimawariInfrared = 712, kCmdHimawariVisible = 713, kCmdHimawariInfraredMovie = 714,
  kCmdHimawariVisibleMovie = 715, kCmdHimawariVapour = 716, kCmdHimawariGlobe = 717,
  kCmdSkyStream = 721, kCmdSkyField = 722, kCmdSkyMosaic = 723, kCmdSkyFamousPlaces = 724,
  kCmdSkyPatrolList = 725, kCmdSkyLoadList = 726, kCmdSkyDownload = 727,
  // View, font and help menus
  kCmdViewSource = 801, kCmdReleaseNotes = 3000, kCmdHomePage = 3001,
  kCmdLargestFont = 3301, kCmdLargerFont = 3302, kCmdNormalFont = 3303, kCmdSmallerFont = 3304,
  kCmdSmallestFont = 3305,
  // The program's own additions: reload, the address field's key, the page
  // encodings of the view menu (automatic, then one per encoding)
  kCmdReload = 810, kCmdSelectAddress = 811, kCmdBookmarkSettings = 830,
  kCmdEncodingAuto = 820, kCmdEncodingShiftJis = 821, kCmdEncodingEucJp = 822,
  kCmdEncodingIso2022Jp = 823, kCmdEncodingUtf8 = 824,
  // Bookmarks
  kCmdEditNetscapeBookmarks = 3101, kCmdShowNetscapePath = 3102, kCmdAddBookmark = 3111,
  kCmdEditOperaHotlist = 3312,
  // The framework's standard commands
  kCmdFileNew = 57600, kCmdFileOpen = 57601, kCmdFileSave = 57603, kCmdPrintSetup = 57606,
  kCmdEditCopy = 57634, kCmdEditCut = 57635, kCmdEditPaste = 57637, kCmdEditUndo = 57643,
  kCmdAppAbout = 57664, kCmdAppExit = 57665, kCmdNextPane = 57680, kCmdPrevPane = 57681,
  kCmdViewToolbar = 59392, kCmdViewStatusBar = 59393,
};

// The favorites and bookmark ranges, 256 ids each.
inline constexpr int kFavoritesFirst = 3584, kFavoritesLast = 3839;
inline constexpr int kNetscapeFirst = 3840, kNetscapeLast = 4095;
inline constexpr int kOperaFirst = 4096, kOperaLast = 4351;

// The first of the framework's standard commands: ids from here on are mapped
// onto the toolkit's stock ids, all others are used as they are.
inline constexpr int kFirstStandardCommand = kCmdFileNew;

}  // namespace mireva
