#include "bookmarks/bookmark_commands.h"

#include "core/command_ids.h"
#include <cstdio>

#include "platform/text_encoding.h"
#include "platform/text_helpers.h"

namespace mireva {
namespace {

class BookmarkCommands : public CommandModule {
 public:
  BookmarkCommands(ViewContext& ctx, BookmarkMenus& menus) : ctx_(ctx), menus_(menus) {}

  void Register(CommandRouter& router) override {
    router.AddRange(kFavoriteFirstId, kFavoriteFirstId + kBookmarkRangeSize - 1, CommandTarget::View,
                    [this](int id) {
                      if (auto address = menus_.FavoriteAddress(id)) {
                        ctx_.SetAddressField(*address);
                        ctx_.Browser().Navigate(*address);
                      }
                    });
    router.AddRange(kNetscapeFirstId, kNetscapeFirstId + kBookmarkRangeSize - 1, CommandTarget::View,
                    [this](int id) {
                      if (auto address = menus_.NetscapeAddress(id)) ctx_.Browser().Navigate(*address);
                    });
    router.AddRange(kOperaFirstId, kOperaFirstId + kBookmarkRangeSize - 1, CommandTarget::View,
                    [this](int id) {
                      if (auto address = menus_.OperaAddress(id)) ctx_.Browser().Navigate(*address);
                    });
    router.Add(kCmdEditNetscapeBookmarks, CommandTarget::Frame, [this] { menus_.EditNetscape(ctx_.Ui()); });
    router.Add(kCmdEditOperaHotlist, CommandTarget::Frame, [this] { menus_.EditOpera(ctx_.Ui()); });
    router.Add(kCmdShowNetscapePath, CommandTarget::View, [this] {
      // The browser control takes addresses: a local path becomes a file address.
      std::string address = PathToFileAddress(menus_.NetscapePath());
      ctx_.SetAddressField(address);
      ctx_.Browser().Navigate(address);
    });
  }

 private:
  ViewContext& ctx_;
  BookmarkMenus& menus_;
};

}  // namespace

std::string PathToFileAddress(const std::string& sjisPath) {
  if (sjisPath.empty() || sjisPath[0] != '/') return sjisPath;
  std::string host = HostPath(sjisPath);
  std::string out = "file://";
  for (unsigned char c : host) {
    if (IsAsciiAlnum(static_cast<char>(c)) || c == '-' || c == '.' || c == '_' || c == '~' ||
        c == '/') {
      out += static_cast<char>(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    }
  }
  return out;
}

std::unique_ptr<CommandModule> MakeBookmarkCommands(ViewContext& ctx, BookmarkMenus& menus) {
  return std::make_unique<BookmarkCommands>(ctx, menus);
}

}  // namespace mireva
