// The one door every change a product routine makes goes through: a file
// written (replaced, copied or created), a folder created, a registry value
// set, a print list stored in a company's database. The routine hands the
// door the change as a function that makes it; the door in place decides
// what happens around it.
//
// Without a unit of changes open (tests of single steps, tools), the door
// makes each change as it comes. While an update runs, the engine puts its
// own door in place (WorkstationUnit), which first records in the run's
// journal how to undo the change and only then makes it. A dry run puts a
// plan there (WorkstationPlan), which makes nothing and records what would
// be done. Both list what they did or would do as actions, in the same
// terms, so that a plan and the run it plans can be compared.
//
// What this promises when things go wrong: a change whose undo could not be
// recorded is not made; it fails with the Win32 error of the recording, as
// the change itself would have failed.
#pragma once

#include <QString>
#include <functional>
#include <vector>

namespace kelvaro {

// One thing a run did or would do, as the plan and the run's outcome list
// them. Some are changes; the others say what the run found and decided
// (a question asked, a file kept, a company not reached).
struct WorkstationAction {
  enum class Kind {
    ReplaceFile,   // an installed file replaced; before and after: versions
    CopyFile,      // an existing file written anew (no versions to compare)
    CreateFile,    // a file that did not exist; after: its version, if any
    CreateFolder,  // a folder that did not exist
    SetValue,      // target "HKEY_...\key\name"; before (null: none) and after
    AddList,       // a print list added to company; after: its title
    UpdateList,    // a stored print list updated; sameText: nothing differs
    UndoEarlierRun,  // an interrupted run's changes undone first; detail: how many
    Question,      // detail: the question; after: the answer ("oui" or "non")
    KeepFile,      // target left as it is; before and after: versions
    FileInUse,     // target cannot be replaced now; detail: the reason
    Refused,       // the version gate refused; detail: the message
    CompanyReached,
    CompanyUnreachable,
    Failure,       // detail: the report's failure text
  };
  Kind kind = Kind::Failure;
  QString target;   // a Windows path, a registry value, a list's key
  QString company;  // lists and companies: the company as the report names it
  QString before;
  QString after;
  QString detail;
  bool sameText = false;

  // Whether this changes the workstation or a company's database.
  bool changes() const;
};

// The word a program reads for kind ("replace", "add-list", ...).
QString ActionKindName(WorkstationAction::Kind kind);

// What storing a print list did, or would do.
struct PrintListStore {
  bool added = false;     // inserted (else updated)
  QString title;          // added: the title the report names it by
  bool sameText = false;  // updated: the stored text was the carried one
};

class WorkstationChanges {
 public:
  virtual ~WorkstationChanges() = default;

  // Writes the file at target (a Windows path) with write, which answers
  // whether it worked and leaves the platform's last error when not; source
  // is the file whose bytes it writes, when there is one. write
  // replaces the file through a new one, as the platform's copies and
  // writers do, never in place: an undo keeps the old file under a second
  // name, which a write in place would change too.
  virtual bool WriteFile(const QString& target, const QString& source, const std::function<bool()>& write) = 0;
  // Creates the folder and every missing parent; true when it exists
  // afterwards.
  virtual bool CreateFolder(const QString& folder) = 0;
  // Sets the value name of key under root (0 HKEY_CURRENT_USER,
  // 1 HKEY_LOCAL_MACHINE) to data with write, which answers whether it
  // worked.
  virtual bool SetRegistryValue(int root, const QString& key, const QString& name, const QString& data,
                                const std::function<bool()>& write) = 0;
  // Stores the print list key in the database of company (connected): store
  // stores it and tells what it did; inspect tells, reading only, what
  // storing it would do. Errors of either leave this call.
  virtual PrintListStore StorePrintList(const QString& company, const QString& key,
                                        const std::function<PrintListStore()>& inspect,
                                        const std::function<PrintListStore()>& store) = 0;
  // The routine reached its print-list stage: what it changed so far on
  // the workstation stands, whatever happens to the lists.
  virtual void KeepChanges() = 0;

  // What the run found or decided that is not a change (a question, a file
  // kept, a company reached or not, a failure), for the actions listed.
  virtual void Note(const WorkstationAction&) {}
  // False for a door that makes nothing: a database is then opened without
  // announcing the workstation in it.
  virtual bool MakesChanges() const { return true; }
};

// Where a unit keeps its journal: the installation's program-data folder,
// C:\ProgramData\Kelvaro\ (inside the prefix over Linux).
QString JournalFolder();
QString JournalPath();

// The door in place: the one that makes changes as they come, unless a unit
// has put its own there.
WorkstationChanges& Changes();
// Puts door in place (nullptr: the direct one again) and gives the one it
// replaces.
WorkstationChanges* SetChanges(WorkstationChanges* door);

// A door put in place for the life of the object.
class ScopedChanges {
 public:
  explicit ScopedChanges(WorkstationChanges* door) : previous_(SetChanges(door)) {}
  ~ScopedChanges() { SetChanges(previous_); }
  ScopedChanges(const ScopedChanges&) = delete;
  ScopedChanges& operator=(const ScopedChanges&) = delete;

 private:
  WorkstationChanges* previous_;
};

}  // namespace kelvaro
