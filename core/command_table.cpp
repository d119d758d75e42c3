#include "core/command_table.h"

namespace mireva {
namespace {

MenuItem Item(int id, const char* caption, bool checkable = false) {
  return checkable ? MenuItem::Check(caption, id) : MenuItem::Command(caption, id);
}
MenuItem Sep() { return MenuItem::Separator(); }
MenuItem Menu(const char* caption, MenuModel children) {
  return MenuItem::Submenu(caption, std::move(children));
}

}  // namespace

const MenuModel& MainMenu() {
  static const MenuModel menu = {
      Menu("ファィル(&F)",
           {Item(57601, "ファイルを開く(&O)"), Item(402, "保存(ページ)"), Item(400, "保存(html)"),
            Item(401, "保存(txt)"), Sep(), Item(200, "印刷"), Item(57606, "プリンタの設定"), Sep(),
            Item(403, "ダイアルアップ"), Item(405, "モデム"), Item(404, "インターネット"), Sep(),
            Item(57665, "(&x)終了")}),
      Menu("自動巡回", {Item(2201, "巡回実行"), Item(2202, "巡回リスト編集"),
                        Item(2250, "ダウンロードファイル"), Item(2203, "巡回レポート"), Sep(),
                        Item(710, "気象協会"),
                        Item(750, "ニュース(新聞社)"), Item(751, "ニュース(TV局)")}),
      Menu("ダウンロード",
           {Item(2104, "画像(jpg,gif,png,tif.pdf)"),
            Item(2107, "マルチメディア(mid,mp3,wav,avi,wmv,mov,swf)"), Sep(),
            Item(2106, "リンク画像(jpg,gif,png,tif,pdf)"), Item(2105, "リンクバイナリ(exe,lzh,zip)"),
            Item(2108, "リンクメディア(mid,mp3,avi,wav)"),
            Item(2110, "リンクムービー(wmv,mov,swf,tm,qt)"), Item(2113, "リンクメタファイル(asx,ram)"),
            Sep(), Item(2121, "リンクを選んでダウンロード..."), Item(2120, "ダウンロード履歴"), Sep(),
            Menu("地形図(国土地理院)",
                 {Item(701, "地形図閲覧ページ"), Item(705, "リンク解析(20万分1)"),
                  Item(704, "ロードリスト作成"), Item(703, "ダウンロード実行"),
                  Item(700, "地図の合成(25000)"), Sep(), Item(702, "空中写真閲覧ページ")}),
            Menu("ひまわり(気象協会)",
                 {Item(712, "ひまわり　赤外"), Item(713, "ひまわり　可視"), Item(716, "ひまわり　水蒸気"),
                  Item(717, "ひまわり　全球"), Item(714, "ひまわり　赤外　動画"),
                  Item(715, "ひまわり　可視　動画")}),
            Menu("Sloan Digital Sky Servey",
                 {Item(721, "流れる夜空"), Item(722, "画像フィールド"), Item(723, "画像モザイク"),
                  Item(724, "有名な場所"), Sep(), Item(725, "巡回リスト作成"),
                  Item(726, "ロードリスト作成"), Item(727, "ダウンロード実行")})}),
      // Emptied and filled from the favorites folder when the window is made.
      Menu("お気に入り", {Item(1501, "xx"), Item(1502, "xx")}),
      Menu("oブックマーク", {Item(3111, "登録"), Item(3312, "編集")}),
      Menu("オプション", {Item(2102, "リンク(外部)"), Item(2103, "リンク（内部)"), Sep(),
                          Item(2112, "Cache files"), Sep(), Item(830, "ブックマークの設定...")}),
      Menu("表示", {Item(59392, "(&T)ツールバー", true), Item(59393, "(&S)ステータスバー", true),
                    Sep(), Item(810, "再読み込み"),
                    Menu("エンコード", {Item(820, "自動", true), Sep(),
                                        Item(821, "Shift_JIS", true),
                                        Item(822, "EUC-JP", true),
                                        Item(823, "ISO-2022-JP", true),
                                        Item(824, "UTF-8", true)}),
                    Sep(), Item(801, "ソース表示")}),
      Menu("フォント", {Item(3301, "最大フォント"), Item(3302, "大きくする"), Item(3303, "標準"),
                        Item(3304, "小さくする"), Item(3305, "最小フォント")}),
      Menu("ヘルプ", {Item(3000, "リリース情報"), Item(3001, "ホームページ"),
                      Item(57664, "バージョン情報")}),
  };
  return menu;
}

const std::vector<ToolButton>& MainToolbar() {
  static const std::vector<ToolButton> bar = {
      {57600, "新規作成"}, {57601, "開く"}, {57603, "上書き保存"}, {0, ""},
      {57635, "切り取り"}, {57634, "コピー"}, {57637, "貼り付け"}, {0, ""},
      {200, "印刷"}, {57664, "バージョン情報"}, {300, ""},
      {301, "Go back"}, {302, "Go forward"}, {303, "Stop"},
  };
  return bar;
}

const std::vector<Accelerator>& MainAccelerators() {
  static const std::vector<Accelerator> keys = {
      {kCtrl, 'N', 57600},           {kCtrl, 'O', 57601},
      {kCtrl, 'S', 57603},           {kCtrl, 'Z', 57643},
      {kAlt, kKeyBackspace, 57643},  {kCtrl, 'X', 57635},
      {kShift, kKeyDelete, 57635},   {kCtrl, 'C', 57634},
      {kCtrl, kKeyInsert, 57634},    {kCtrl, 'V', 57637},
      {kShift, kKeyInsert, 57637},   {kNoModifier, kKeyF6, 57680},
      {kShift, kKeyF6, 57681},       {kCtrl | kShift, 'D', 2121},
      // The keys every browser has.
      {kNoModifier, kKeyF5, kCmdReload}, {kCtrl, 'R', kCmdReload},
      {kCtrl, 'L', kCmdSelectAddress},   {kAlt, kKeyLeft, kCmdBack},
      {kAlt, kKeyRight, kCmdForward},
  };
  return keys;
}

const MenuItem* FindMenuItem(int id) { return FindMenuItem(MainMenu(), id); }

bool IsCommandId(int id) {
  if (id >= kFavoritesFirst && id <= kOperaLast) return true;
  for (const CommandInfo& c : kCommandHandlerTable)
    if (c.id == id) return true;
  return false;
}

}  // namespace mireva
