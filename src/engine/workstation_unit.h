// The workstation part of one update run as one unit: every file the
// routine writes, folder it creates and registry value it sets either all
// stands or is all undone.
//
// While the routine runs, the unit is the door of changes (change_seam.h):
// before each change it records in the journal (change_journal.h) how to
// undo it, durably, and keeps a file it replaces beside it under a second
// name (no copy). When the routine reaches its print-list stage, or ends
// well, removing the journal makes the changes stand. When it fails, the
// journal is played backwards. A run that was killed leaves its journal: the
// next run plays it backwards before it changes anything.
//
// What this promises when things go wrong: undoing never writes outside the
// folders the journal recorded (a folder reached through another link than
// when it was recorded is refused), never deletes a file it did not create,
// and reports every record it could not undo, with the reason; a journal
// that could not be played back whole stays for the next start and for
// kelvaro-inspect.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "engine/change_journal.h"
#include "engine/workstation_actions.h"
#include "support/change_seam.h"

namespace kelvaro {

// The lock a unit holds while it runs and that undoing its journal takes:
// two programs never work on one journal at once.
inline constexpr char16_t kJournalLockName[] = u"Kelvaro - journal des modifications";

// What playing a journal backwards did.
struct RestoreOutcome {
  bool found = false;     // there were changes to undo
  bool complete = true;   // every one of them was undone
  QStringList failures;   // "<what> : <why>", one per change not undone
};

class WorkstationUnit final : public WorkstationChanges {
 public:
  WorkstationUnit() = default;
  WorkstationUnit(const WorkstationUnit&) = delete;
  WorkstationUnit& operator=(const WorkstationUnit&) = delete;

  bool WriteFile(const QString& target, const QString& source, const std::function<bool()>& write) override;
  bool CreateFolder(const QString& folder) override;
  bool SetRegistryValue(int root, const QString& key, const QString& name, const QString& data,
                        const std::function<bool()>& write) override;
  // Lists stored in a database are not the workstation's: the unit only
  // lists what was done.
  PrintListStore StorePrintList(const QString& company, const QString& key,
                                const std::function<PrintListStore()>& inspect,
                                const std::function<PrintListStore()>& store) override;
  // The changes stand: the journal goes, then the kept files.
  void KeepChanges() override;
  void Note(const WorkstationAction& action) override { actions_.Add(action); }

  // What the unit did, in order: every change made, undone or not, and what
  // the routine noted.
  std::vector<WorkstationAction> TakeActions() { return actions_.Take(); }

  // Every change made so far undone, the last first.
  RestoreOutcome Undo();
  // Whether the unit changed anything it has neither kept nor undone.
  bool open() const { return begun_ && !closed_; }

 private:
  bool Record(const JournalRecord& record);
  bool RecordFolder(const QString& folder);
  bool RecordCreatedFolders(const QString& folder);
  bool Touched(const QString& path) const;
  void NoteFileInUse(const QString& target);

  bool begun_ = false;
  bool closed_ = false;
  QStringList folders_;   // recorded, upper case
  QStringList touched_;   // paths already recorded, upper case
  QStringList kept_;      // files kept beside themselves
  ActionList actions_;
};

// Plays the journal a killed run left backwards; nothing found when there
// is none.
RestoreOutcome RestoreUnfinishedUnit();

// How many changes of a killed run the next start would undo, reading only
// (a journal that cannot be read counts as one).
int UnfinishedChanges();

// The report's lines for an undo after a failure (atStart false) or for the
// unit of an earlier run restored at start, CR LF between them; empty when
// there was nothing to undo.
QString RestoreReport(const RestoreOutcome& outcome, bool atStart);

// Benchmarks: units that make their changes as they come, recording and
// keeping nothing (true), as a run without undo would.
void StubJournalForBenchmarks(bool stubbed);

// Tests: the n-th change of the units that follow (from 1) fails after its
// record, as a platform write that fails; 0 lets every change through.
void FailChangeForTests(int n);

}  // namespace kelvaro
