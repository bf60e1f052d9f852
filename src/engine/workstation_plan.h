// The door of a dry run (change_seam.h): the routine runs as it would, but
// no change is made. Each one is listed instead, described from what is
// there now, as the run's own door describes what it does: versions of the
// file installed and of the carried one, the registry value's data before
// and after, whether a print list would be added or updated and whether its
// stored text is already the carried one.
//
// The plan answers the routine as the change would have: a write into a
// folder that is neither there nor planned fails as the write would, and a
// file another program holds open is listed as in use and fails the write,
// so the routine ends as the run would. What it planned earlier counts as
// done for what follows (a folder planned exists; a file planned is
// replaced, not created, by a second write).
//
// What this promises when things go wrong: nothing here writes a file, a
// folder, a registry value or a database row.
#pragma once

#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

#include "engine/workstation_actions.h"

namespace kelvaro {

class WorkstationPlan final : public WorkstationChanges {
 public:
  bool WriteFile(const QString& target, const QString& source, const std::function<bool()>& write) override;
  bool CreateFolder(const QString& folder) override;
  bool SetRegistryValue(int root, const QString& key, const QString& name, const QString& data,
                        const std::function<bool()>& write) override;
  PrintListStore StorePrintList(const QString& company, const QString& key,
                                const std::function<PrintListStore()>& inspect,
                                const std::function<PrintListStore()>& store) override;
  void KeepChanges() override {}
  void Note(const WorkstationAction& action) override { actions_.Add(action); }
  bool MakesChanges() const override { return false; }

  std::vector<WorkstationAction> TakeActions() { return actions_.Take(); }

 private:
  bool FolderExists(const QString& folder) const;

  ActionList actions_;
  QStringList folders_;                               // planned, upper case, with a final backslash
  std::map<QString, QString> written_;                // planned file (upper case) -> its source
  std::map<QString, std::optional<QString>> values_;  // planned value -> its data
};

}  // namespace kelvaro
