// How the doors of changes describe what they do (change_seam.h): one
// description for a run and for its plan, taken from what is there before
// the change, so that the two list the same actions in the same words.
//
// What this promises when things go wrong: nothing here writes or raises; a
// file or value that cannot be read is described as missing.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "support/change_seam.h"

namespace kelvaro {

// The file version of file as "1.2.3.9"; empty without one.
QString FileVersionText(const QString& file);

// Writing source over target. exists: whether target is there (for a plan,
// as the plan left it); installed: the file whose version is target's (the
// target itself, or for a plan the source of an earlier write to it).
WorkstationAction FileWriteAction(const QString& target, const QString& source, bool exists, const QString& installed);

WorkstationAction FolderAction(const QString& folder);

// "HKEY_CURRENT_USER\key\name".
QString RegistryValuePath(int root, const QString& key, const QString& name);
// The value's data as text; nothing when it is not set.
std::optional<QString> RegistryValueText(int root, const QString& key, const QString& name);
WorkstationAction ValueAction(int root, const QString& key, const QString& name, const std::optional<QString>& old,
                              const QString& data);

// target that cannot be written now, with the system's text of error.
WorkstationAction InUseAction(const QString& target, uint32_t error);

// A failure, with the report's text of it.
WorkstationAction FailureAction(const QString& target, const QString& text);

WorkstationAction ListAction(const QString& company, const QString& key, const PrintListStore& store);

// The actions a door has listed, in order.
class ActionList {
 public:
  void Add(WorkstationAction action) { actions_.push_back(std::move(action)); }
  const std::vector<WorkstationAction>& actions() const { return actions_; }
  std::vector<WorkstationAction> Take() { return std::exchange(actions_, {}); }

 private:
  std::vector<WorkstationAction> actions_;
};

}  // namespace kelvaro
