#include "core/command_router.h"

namespace mireva {

void CommandRouter::Add(int id, CommandTarget target, Run run, Enabled enabled) {
  Entry e;
  e.run = [run](int) { run(); };
  if (enabled) e.enabled = [enabled](int) { return enabled(); };
  single_[id][target] = std::move(e);
}

void CommandRouter::AddRange(int first, int last, CommandTarget target,
                             std::function<void(int)> run, std::function<bool(int)> enabled) {
  ranges_.emplace(target, Range{first, last, target, Entry{std::move(run), std::move(enabled)}});
}

const CommandRouter::Entry* CommandRouter::Find(int id) const {
  auto it = single_.find(id);
  for (CommandTarget t : {CommandTarget::View, CommandTarget::Frame, CommandTarget::Document,
                          CommandTarget::Application}) {
    if (it != single_.end()) {
      auto jt = it->second.find(t);
      if (jt != it->second.end()) return &jt->second;
    }
    auto [b, e] = ranges_.equal_range(t);
    for (auto r = b; r != e; ++r)
      if (id >= r->second.first && id <= r->second.last) return &r->second.entry;
  }
  return nullptr;
}

bool CommandRouter::Handles(int id) const { return Find(id) != nullptr; }

bool CommandRouter::IsEnabled(int id) const {
  const Entry* e = Find(id);
  if (!e || !e->run) return false;
  return !e->enabled || e->enabled(id);
}

bool CommandRouter::Dispatch(int id) const {
  if (!IsEnabled(id)) return false;
  Find(id)->run(id);
  return true;
}

bool CommandRouter::TargetOf(int id, CommandTarget* target) const {
  auto it = single_.find(id);
  for (CommandTarget t : {CommandTarget::View, CommandTarget::Frame, CommandTarget::Document,
                          CommandTarget::Application}) {
    bool found = it != single_.end() && it->second.count(t);
    auto [b, e] = ranges_.equal_range(t);
    for (auto r = b; r != e && !found; ++r)
      found = id >= r->second.first && id <= r->second.last;
    if (found) {
      if (target) *target = t;
      return true;
    }
  }
  return false;
}

}  // namespace mireva
