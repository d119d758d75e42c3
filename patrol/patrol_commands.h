#pragma once
// The patrol menu's commands in the browser view:
//   2201 run patrol, 2202 edit the patrol list, 2250 download file types (the
//   type dialog library's "LoadTypeDlg"), 710 / 750 / 751 the weather,
//   newspaper and TV-news catalogues, whose OK saves "Patrol.lst" and starts
//   the patrol.
// The module hooks the view's document-complete event to advance a patrol.
// MakePatrolCommands (patrol/wx/patrol_dialogs.h) gives it the wx dialogs;
// tests build a PatrolCommands with their own PatrolDialogs.
#include <functional>
#include <memory>
#include <string>

#include "core/command_router.h"
#include "core/view_context.h"
#include "patrol/patrol_dialog_models.h"
#include "patrol/patrol_run.h"
#include "platform/dynamic_library.h"

namespace mireva {

// The modal dialogs of the patrol commands.
class PatrolDialogs {
 public:
  virtual ~PatrolDialogs() = default;
  // The patrol-list editor, over the list in `folder`.
  virtual void EditPatrolList(ViewContext& ctx, const std::string& folder) = 0;
  // The catalogue dialog for a catalogue; true when it ended with OK (the list was saved).
  virtual bool ChooseNewsSites(ViewContext& ctx, CatalogueKind kind, const std::string& folder) = 0;
};

class PatrolCommands : public CommandModule {
 public:
  struct Options {
    std::string folder;               // "" = the current (working) folder
    PatrolRun::Notifier notifier;     // empty = the watcher socket
    std::function<int()> typeDialog;  // empty = "LoadTypeDlg" of the Tavish2 library
  };
  PatrolCommands(ViewContext& ctx, std::unique_ptr<PatrolDialogs> dialogs, Options options);

  void Register(CommandRouter& router) override;

  // True while a patrol is in progress (the program closes itself after a
  // patrol started from the command line once this turns false).
  bool PatrolRunning() const { return run_.PatrolRunning(); }
  void SetPatrolEndedHook(std::function<void()> hook) { run_.SetPatrolEndedHook(std::move(hook)); }
  PatrolRun& Run() { return run_; }

  // The same object through its CommandModule, or nullptr.
  static PatrolCommands* From(CommandModule* module) {
    return dynamic_cast<PatrolCommands*>(module);
  }

  // The command handlers, public for tests and for the command line.
  void RunPatrol() { run_.StartPatrol(); }
  void EditList();
  void SelectTypes();
  void News(CatalogueKind kind);

 private:
  // "LoadTypeDlg" of libTavish2.so, loaded at first use and kept with the view.
  int CallTypeDialogLibrary();

  ViewContext& ctx_;
  std::unique_ptr<PatrolDialogs> dialogs_;
  std::string folder_;
  std::function<int()> typeDialog_;
  PatrolRun run_;
  DynamicLibrary typeLibrary_;
};

}  // namespace mireva
