#pragma once
// The view's binding of the run-time libraries: the download engine
// (libDownLoad.so), the page-fetch library (libHovrel.so) and the compositing
// library (libPngCompo.so). Each library is loaded by name at first use and
// kept until the view, which owns this object, is destroyed.
//
// Engine binding: the library is loaded once; each binding attempt looks up
// the six entries in a fixed order and stops at the first one missing, with a
// stop-icon message naming it. An operation binds only while its own entry is
// still missing; when binding fails the engine is not called and the operation
// returns false.
#include <string>

#include "companions/download_engine/download_engine_api.h"
#include "platform/dynamic_library.h"
#include "platform/interaction.h"

namespace mireva {

// The engine's six entries, in the order a binding attempt looks them up.
enum class EngineEntry { ListLoad, Temporary, DLoad, ALoad, MakePatrolList, MakeDownloadList };

class DownloadEngine {
 public:
  explicit DownloadEngine(Interaction& ui, std::string libraryFolder = std::string());

  // Each returns false when the engine could not be bound (message shown).
  bool ALoad(const std::string& page, const std::string& extension);
  bool DLoad(const std::string& page, const std::string& kind);
  bool ListLoad(const std::string& listFile, const std::string& collection);
  bool Temporary(const std::string& folder, const std::string& pattern, const std::string& mode);
  bool MakePatrolList(const std::string& kind, const std::string& page);
  // The engine's result (0 = no list made); -1 when the engine could not be bound.
  int MakeDownloadList(const std::string& kind);

  // Binds when `entry` is still missing (a full attempt in the fixed order);
  // true when it is bound. Callers that must know the engine is there before
  // they start work (the patrol) use this.
  bool BindEntry(EngineEntry entry);
  bool IsBound(EngineEntry entry) const;

  // Host callbacks for the engine's progress and messages (optional export).
  void SetHost(DlProgressFn progress, DlMessageFn message, void* user);
  // The callbacks in force, so a command that puts up its own progress window
  // can put the previous ones back when it is done.
  struct Host {
    DlProgressFn progress;
    DlMessageFn message;
    void* user;
  };
  Host CurrentHost() const { return Host{progress_, message_, hostUser_}; }

  // The page-fetch and compositing libraries; loaded by their users, freed here.
  DynamicLibrary& PageFetchLibrary() { return pageFetch_; }
  DynamicLibrary& CompositingLibrary() { return compositing_; }
  const std::string& LibraryFolder() const { return folder_; }

 private:
  // Loads the library if needed and looks up the entries in order, stopping
  // at the first missing one with its message. True when all are bound.
  bool Bind();

  Interaction& ui_;
  std::string folder_;
  DynamicLibrary engine_;
  DynamicLibrary pageFetch_;
  DynamicLibrary compositing_;
  ListLoadFn listLoad_ = nullptr;
  TemporaryFn temporary_ = nullptr;
  DLoadFn dLoad_ = nullptr;
  ALoadFn aLoad_ = nullptr;
  MakePatrolListFn makePatrolList_ = nullptr;
  MakeDownloadListFn makeDownloadList_ = nullptr;
  DlProgressFn progress_ = nullptr;
  DlMessageFn message_ = nullptr;
  void* hostUser_ = nullptr;
};

}  // namespace mireva
