#include "patrol/patrol_commands.h"

#include "core/command_ids.h"
#include <utility>

#include "core/runtime/type_dialog_api.h"
#include "core/runtime/download_engine.h"
#include "platform/watcher_link.h"

namespace mireva {

PatrolCommands::PatrolCommands(ViewContext& ctx, std::unique_ptr<PatrolDialogs> dialogs,
                               Options options)
    : ctx_(ctx),
      dialogs_(std::move(dialogs)),
      folder_(options.folder),
      typeDialog_(std::move(options.typeDialog)),
      run_(
          ctx, options.folder,
          options.notifier ? std::move(options.notifier) : PatrolRun::Notifier(SendWatcherNotice)) {
  ctx_.AddDocumentCompleteHook(
      [this](const std::string& address) { run_.ContinuePatrol(address); });
  ctx_.AddStopHook([this] { run_.StopPatrol(); });
}

void PatrolCommands::Register(CommandRouter& router) {
  // Starting a patrol is offered only while no library call runs.
  auto idle = [this] { return !ctx_.Engine().Busy(); };
  router.Add(kCmdRunPatrol, CommandTarget::View, [this] { RunPatrol(); }, idle);
  router.Add(kCmdEditPatrolList, CommandTarget::View, [this] { EditList(); });
  router.Add(kCmdDownloadTypes, CommandTarget::View, [this] { SelectTypes(); });
  router.Add(kCmdPatrolReport, CommandTarget::View, [this] { run_.OpenLatestReport(); });
  router.Add(kCmdWeatherCatalogue, CommandTarget::View, [this] { News(CatalogueKind::Weather); }, idle);
  router.Add(kCmdNewspaperCatalogue, CommandTarget::View, [this] { News(CatalogueKind::News); }, idle);
  router.Add(kCmdTvNewsCatalogue, CommandTarget::View, [this] { News(CatalogueKind::Tv); }, idle);
}

void PatrolCommands::EditList() { dialogs_->EditPatrolList(ctx_, folder_); }

void PatrolCommands::News(CatalogueKind kind) {
  if (dialogs_->ChooseNewsSites(ctx_, kind, folder_)) run_.StartPatrol();
}

void PatrolCommands::SelectTypes() {
  if (typeDialog_) return run_.SelectDownloadTypes(typeDialog_);
  run_.SelectDownloadTypes([this] { return CallTypeDialogLibrary(); });
}

int PatrolCommands::CallTypeDialogLibrary() {
  // Taken from the program's folder like the engine; a missing library or
  // entry is reported like theirs and counts as a cancelled dialog.
  if (!typeLibrary_.IsOpen() && !typeLibrary_.Open("Tavish2", ctx_.Engine().LibraryFolder())) {
    ctx_.Ui().ShowMessage("Tavish2　が見つかりません", MessageIcon::Stop);
    return 0;
  }
  auto loadTypeDlg = typeLibrary_.Entry<LoadTypeDlgFn>("LoadTypeDlg");
  if (!loadTypeDlg) {
    ctx_.Ui().ShowMessage("LoadTypeDlg 関数が見つかりません", MessageIcon::Stop);
    return 0;
  }
  return loadTypeDlg();
}

}  // namespace mireva
