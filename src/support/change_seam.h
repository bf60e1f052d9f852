// The one door every change a product routine makes to the workstation goes
// through: a file written (replaced, copied or created), a folder created, a
// registry value set. The routine hands the door the change as a function
// that makes it; the door in place decides what happens around it.
//
// Without a unit of changes open (tests of single steps, tools), the door
// makes each change as it comes. While an update runs, the engine puts its
// own door in place (WorkstationUnit), which first records in the run's
// journal how to undo the change and only then makes it.
//
// What this promises when things go wrong: a change whose undo could not be
// recorded is not made; it fails with the Win32 error of the recording, as
// the change itself would have failed.
#pragma once

#include <QString>
#include <functional>

namespace kelvaro {

class WorkstationChanges {
 public:
  virtual ~WorkstationChanges() = default;

  // Writes the file at target (a Windows path) with write, which answers
  // whether it worked and leaves the platform's last error when not. write
  // replaces the file through a new one, as the platform's copies and
  // writers do, never in place: an undo keeps the old file under a second
  // name, which a write in place would change too.
  virtual bool WriteFile(const QString& target, const std::function<bool()>& write) = 0;
  // Creates the folder and every missing parent; true when it exists
  // afterwards.
  virtual bool CreateFolder(const QString& folder) = 0;
  // Sets the value name of key under root (0 HKEY_CURRENT_USER,
  // 1 HKEY_LOCAL_MACHINE) with write, which answers whether it worked.
  virtual bool SetRegistryValue(int root, const QString& key, const QString& name,
                                const std::function<bool()>& write) = 0;
  // The routine reached its print-list stage: what it changed so far on
  // the workstation stands, whatever happens to the lists.
  virtual void KeepChanges() = 0;
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
