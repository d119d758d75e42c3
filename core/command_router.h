#pragma once
// The command table at run time: every command id with the object that handles
// it. Commands are looked up in the framework's order (view, frame, document,
// application); an id that nobody handles is disabled and never reaches code.
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace mireva {

enum class CommandTarget { View, Frame, Document, Application };

class CommandRouter {
 public:
  using Run = std::function<void()>;
  using Enabled = std::function<bool()>;

  // Registers a handler; `enabled` (optional) is the update-UI rule.
  // A second registration of the same id for the same target replaces the first.
  void Add(int id, CommandTarget target, Run run, Enabled enabled = nullptr);
  // Registers one handler for a whole range of ids (bookmark items and the like);
  // the handler receives the id.
  void AddRange(int first, int last, CommandTarget target, std::function<void(int)> run,
                std::function<bool(int)> enabled = nullptr);

  bool Handles(int id) const;
  // False for unhandled ids and for ids whose enable rule says no.
  bool IsEnabled(int id) const;
  // Runs the first handler in routing order; false when disabled or unhandled.
  bool Dispatch(int id) const;
  // The target that would handle the id, if any.
  bool TargetOf(int id, CommandTarget* target) const;

 private:
  struct Entry {
    std::function<void(int)> run;
    std::function<bool(int)> enabled;
  };
  const Entry* Find(int id) const;
  std::map<int, std::map<CommandTarget, Entry>> single_;
  struct Range {
    int first, last;
    CommandTarget target;
    Entry entry;
  };
  std::multimap<CommandTarget, Range> ranges_;
};

// A subsystem's group of commands, created with the view and living as long as it.
class CommandModule {
 public:
  virtual ~CommandModule() = default;
  virtual void Register(CommandRouter& router) = 0;
};

}  // namespace mireva
