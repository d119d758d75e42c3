#include "app/command_table.h"

namespace mireva {
namespace {

MenuNode Item(int id, const char* caption, bool checkable = false) {
  MenuNode n;
  n.id = id;
  n.caption = caption;
  n.checkable = checkable;
  return n;
}
MenuNode Sep() { return MenuNode(); }
MenuNode Menu(const char* caption, std::vector<MenuNode> children) {
  MenuNode n;
  n.caption = caption;
  n.children = std::move(children);
  return n;
}

const MenuNode* Find(const std::vector<MenuNode>& nodes, int id) {
  for (const MenuNode& n : nodes) {
    if (n.id == id && id != 0) return &n;
    if (const MenuNode* c = Find(n.children, id)) return c;
  }
  return nullptr;
}

}  // namespace

const std::vector<MenuNode>& MainMenu() {
  static const std::vector<MenuNode> menu = {
      Menu("ファィル(&F)",
           {Item(57601, "ファイルを開く(&O)"), Item(402, "保存(ページ)"), Item(400, "保存(html)"),
            Item(401, "保存(txt)"), Sep(), Item(200, "印刷"), Item(57606, "プリンタの設定"), Sep(),
            Item(403, "ダイアルアップ"), Item(405, "モデム"), Item(404, "インターネット"), Sep(),
            Item(57665, "(&x)終了")}),
      Menu("自動巡回", {Item(2201, "巡回実行"), Item(2202, "巡回リスト編集"),
                        Item(2250, "ダウンロードファイル"), Sep(), Item(710, "気象協会"),
                        Item(750, "ニュース(新聞社)"), Item(751, "ニュース(TV局)")}),
      Menu("ダウンロード",
           {Item(2104, "画像(jpg,gif,png,tif.pdf)"),
            Item(2107, "マルチメディア(mid,mp3,wav,avi,wmv,mov,swf)"), Sep(),
            Item(2106, "リンク画像(jpg,gif,png,tif,pdf)"), Item(2105, "リンクバイナリ(exe,lzh,zip)"),
            Item(2108, "リンクメディア(mid,mp3,avi,wav)"),
            Item(2110, "リンクムービー(wmv,mov,swf,tm,qt)"), Item(2113, "リンクメタファイル(asx,ram)"),
            Sep(),
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
                          Item(2112, "Cache files")}),
      Menu("表示", {Item(59392, "(&T)ツールバー", true), Item(59393, "(&S)ステータスバー", true),
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
      {kShift, kKeyF6, 57681},
      // Esc stops the page load (and a patrol), as in every browser.
      {kNoModifier, kKeyEscape, 303},
  };
  return keys;
}

const std::vector<CommandInfo>& CommandHandlers() {
  using T = CommandTarget;
  static const std::vector<CommandInfo> table = {
      {57601, true, T::View},   {402, true, T::View},     {400, true, T::View},
      {401, true, T::View},     {200, true, T::View},     {57606, false, T::View},
      {403, true, T::Frame},    {405, true, T::Frame},    {404, true, T::Frame},
      {57665, true, T::Application},
      {2201, true, T::View},    {2202, true, T::View},    {2250, true, T::View},
      {710, true, T::View},     {750, true, T::View},     {751, true, T::View},
      {2104, true, T::View},    {2107, true, T::View},    {2106, true, T::View},
      {2105, true, T::View},    {2108, true, T::View},    {2110, true, T::View},
      {2113, true, T::View},    {701, true, T::View},     {705, true, T::View},
      {704, true, T::View},     {703, true, T::View},     {700, true, T::View},
      {702, true, T::View},     {712, true, T::View},     {713, true, T::View},
      {716, true, T::View},     {717, true, T::View},     {714, true, T::View},
      {715, true, T::View},     {721, true, T::View},     {722, true, T::View},
      {723, true, T::View},     {724, true, T::View},     {725, true, T::View},
      {726, true, T::View},     {727, true, T::View},     {3111, false, T::View},
      {3312, true, T::Frame},   {2102, true, T::View},    {2103, true, T::View},
      {2112, true, T::View},    {59392, true, T::Frame},  {59393, true, T::Frame},
      {801, true, T::View},     {3301, true, T::View},    {3302, true, T::View},
      {3303, true, T::View},    {3304, true, T::View},    {3305, true, T::View},
      {3000, true, T::View},    {3001, true, T::View},    {57664, true, T::Application},
      {1001, true, T::View},    {1002, true, T::View},    {301, true, T::View},
      {302, true, T::View},     {303, true, T::View},     {3101, true, T::Frame},
      {3102, true, T::View},    {57603, true, T::Document}, {57634, true, T::View},
      {57635, true, T::View},   {57637, true, T::View},   {57600, false, T::View},
      {300, false, T::View},    {57643, false, T::View},  {57680, false, T::View},
      {57681, false, T::View},
  };
  return table;
}

const MenuNode* FindMenuItem(int id) { return Find(MainMenu(), id); }

bool IsCommandId(int id) {
  if (id >= kFavoritesFirst && id <= kOperaLast) return true;
  for (const CommandInfo& c : CommandHandlers())
    if (c.id == id) return true;
  return false;
}

}  // namespace mireva
