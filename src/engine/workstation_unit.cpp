#include "engine/workstation_unit.h"

#include <map>

#include "platform/files.h"
#include "platform/registry.h"
#include "products/product_paths.h"
#include "support/system_errors.h"
#include "support/text.h"

namespace kelvaro {
namespace {

int gFailAt = 0;    // the change that fails, from 1; 0: none
int gChanges = 0;   // changes counted since FailChangeForTests
bool gJournalStubbed = false;  // benchmarks: changes made as they come

// True when the change may go on; false, as a failed platform write, for
// the change a test asked to fail.
bool ChangeAllowed() {
  if (gFailAt == 0 || ++gChanges != gFailAt) return true;
  platform::SetLastError(platform::kErrorAccessDenied);
  return false;
}

platform::RegistryRoot RootOf(int root) {
  return root == 1 ? platform::RegistryRoot::LocalMachine : platform::RegistryRoot::CurrentUser;
}

QString RootName(int root) { return root == 1 ? QStringLiteral("HKEY_LOCAL_MACHINE") : QStringLiteral("HKEY_CURRENT_USER"); }

// The system's text of the last error, on one line as the report's lines are.
QString LastErrorLine() { return LastErrorText().simplified(); }

// Plays records backwards; what could not be undone in outcome.
class Playback {
 public:
  explicit Playback(RestoreOutcome* outcome) : outcome_(outcome) {}

  void Run(const std::vector<JournalRecord>& records) {
    bool kept = false;
    for (const JournalRecord& r : records) {
      if (r.kind == JournalRecord::Folder) hosts_[r.path.toUpper()] = r.host;
      kept = kept || r.kind == JournalRecord::Keep;
    }
    // The changes stood already: what is left is removing the kept files.
    if (kept) return RemoveKeptFiles(records);
    for (const JournalRecord& r : records) {
      if (r.kind != JournalRecord::Begin && r.kind != JournalRecord::Folder) outcome_->found = true;
    }
    for (auto r = records.rbegin(); r != records.rend(); ++r) Undo(*r);
  }

 private:
  void Fail(const QString& what, const QString& why) {
    outcome_->complete = false;
    outcome_->failures.append(what + QStringLiteral(" : ") + why);
  }

  // The folder of path still leads where it led when it was recorded: no
  // link put in its place since sends the undo elsewhere.
  bool SameFolder(const QString& path) {
    const auto recorded = hosts_.find(ExtractFilePath(path).toUpper());
    if (recorded != hosts_.end() && ResolvedHostFolder(ExtractFilePath(path)) == recorded->second) return true;
    Fail(path, QStringLiteral("son dossier ne mène plus là où il menait au début de la mise à jour"));
    return false;
  }

  void Undo(const JournalRecord& r) {
    switch (r.kind) {
      case JournalRecord::Damaged: Fail(QStringLiteral("Journal des modifications"), r.problem); return;
      case JournalRecord::Replace: PutBack(r); return;
      case JournalRecord::Create: RemoveCreatedFile(r.path); return;
      case JournalRecord::MakeFolder: RemoveCreatedFolder(r.path); return;
      case JournalRecord::Value: RestoreValue(r); return;
      case JournalRecord::Begin:
      case JournalRecord::Folder:
      case JournalRecord::Keep: return;
    }
  }

  void RemoveKeptFiles(const std::vector<JournalRecord>& records) {
    for (const JournalRecord& r : records) {
      if (r.kind != JournalRecord::Replace) continue;
      const platform::String kept = toW(KeptPathOf(r.path));
      if (platform::FileExists(kept) && SameFolder(r.path) && !platform::DeleteFile(kept))
        Fail(KeptPathOf(r.path), LastErrorLine());
    }
  }

  // A kept file that is gone was put back already, or the file was never
  // changed: either way the installed one is the old.
  void PutBack(const JournalRecord& r) {
    const platform::String kept = toW(KeptPathOf(r.path));
    if (!platform::FileExists(kept) || !SameFolder(r.path)) return;
    if (!platform::PutBackFile(kept, toW(r.path), r.mode)) Fail(r.path, LastErrorLine());
  }

  void RemoveCreatedFile(const QString& path) {
    const platform::String file = toW(path);
    if (!platform::FileExists(file) || !SameFolder(path)) return;
    platform::SetFileAttributes(file, platform::kAttributeNormal);
    if (!platform::DeleteFile(file)) Fail(path, LastErrorLine());
  }

  void RemoveCreatedFolder(const QString& path) {
    const platform::String folder = toW(path);
    if (!platform::DirectoryExists(folder) || !SameFolder(path)) return;
    if (!platform::RemoveDirectory(folder)) Fail(path, LastErrorLine());
  }

  void RestoreValue(const JournalRecord& r) {
    const QString what = RootName(r.root) + QStringLiteral("\\") + r.key + QStringLiteral(" : ") +
                         (r.name.isEmpty() ? QStringLiteral("(par défaut)") : r.name);
    platform::RegistryKey key;
    uint32_t code = platform::kErrorSuccess;
    if (r.existed) {
      code = platform::RegCreateKey(RootOf(r.root), toW(r.key), platform::kKeyAllAccess, &key);
      if (code == platform::kErrorSuccess) code = platform::RegSetValue(key, toW(r.name), r.type, r.data);
    } else {
      code = platform::RegOpenKey(RootOf(r.root), toW(r.key), platform::kKeyAllAccess, &key);
      if (code == platform::kErrorSuccess) code = platform::RegDeleteValue(key, toW(r.name));
      if (code == platform::kErrorFileNotFound) code = platform::kErrorSuccess;
    }
    if (code != platform::kErrorSuccess) Fail(what, SystemErrorText(code).simplified());
  }

  RestoreOutcome* outcome_;
  std::map<QString, std::string> hosts_;  // recorded folder, upper case -> host path
};

// The journal gone, durably, and its folder with it when nothing else is
// there.
void RemoveJournal() {
  platform::DeleteFile(toW(JournalPath()));
  const QString folder = JournalFolder().chopped(1);
  if (!platform::RemoveDirectory(toW(folder))) platform::FlushFolder(toW(JournalFolder()));
  platform::FlushFolder(toW(ExtractFilePath(folder)));
}

// Plays the journal on disk backwards and removes it when that went through.
RestoreOutcome PlayJournal() {
  RestoreOutcome outcome;
  const platform::String path = toW(JournalPath());
  std::string text;
  if (!platform::FileExists(path)) return outcome;
  if (!platform::ReadFileContents(path, &text)) {
    outcome.found = true;
    outcome.complete = false;
    outcome.failures.append(JournalPath() + QStringLiteral(" : ") + LastErrorLine());
    return outcome;
  }
  Playback(&outcome).Run(ReadJournal(text));
  if (outcome.complete) RemoveJournal();
  return outcome;
}

}  // namespace

void StubJournalForBenchmarks(bool stubbed) { gJournalStubbed = stubbed; }

void FailChangeForTests(int n) {
  gFailAt = n;
  gChanges = 0;
}

bool WorkstationUnit::Record(const JournalRecord& record) {
  if (!begun_) {
    JournalRecord begin;
    begin.kind = JournalRecord::Begin;
    if (!AppendToJournal(begin)) return false;
    begun_ = true;
  }
  return AppendToJournal(record);
}

bool WorkstationUnit::RecordFolder(const QString& folder) {
  if (folders_.contains(folder.toUpper())) return true;
  JournalRecord record;
  record.kind = JournalRecord::Folder;
  record.path = folder;
  record.host = ResolvedHostFolder(folder);
  if (record.host.empty()) {
    platform::SetLastError(platform::kErrorPathNotFound);
    return false;
  }
  if (!Record(record)) return false;
  folders_.append(folder.toUpper());
  return true;
}

bool WorkstationUnit::Touched(const QString& path) const { return touched_.contains(path.toUpper()); }

bool WorkstationUnit::WriteFile(const QString& target, const QString& source, const std::function<bool()>& write) {
  const WorkstationAction action = FileWriteAction(target, source, platform::FileExists(toW(target)), target);
  if (!gJournalStubbed && !Touched(target)) {
    if (!RecordFolder(ExtractFilePath(target))) return false;
    JournalRecord record;
    record.path = target;
    if (platform::FileExists(toW(target))) {
      // Kept before the record that names it: a record never names a kept
      // file that was not made.
      record.kind = JournalRecord::Replace;
      if (!platform::KeepFile(toW(target), toW(KeptPathOf(target)), &record.mode)) return false;
      kept_.append(KeptPathOf(target));
    } else {
      record.kind = JournalRecord::Create;
    }
    if (!Record(record)) return false;
    touched_.append(target.toUpper());
  }
  if (!ChangeAllowed()) return false;
  if (!write()) {
    NoteFileInUse(target);
    return false;
  }
  actions_.Add(action);
  return true;
}

// A write refused because another program holds the file open: said among
// the actions, as a plan says it.
void WorkstationUnit::NoteFileInUse(const QString& target) {
  const uint32_t error = platform::GetLastError();
  if (error != platform::kErrorSharingViolation) return;
  actions_.Add(InUseAction(target, error));
  platform::SetLastError(error);
}

// Each missing level of folder, the outermost first, recorded before it is
// made, so that undoing removes exactly the folders this unit made.
bool WorkstationUnit::RecordCreatedFolders(const QString& folder) {
  QString path = folder;
  if (!path.endsWith(QLatin1Char('\\'))) path += QLatin1Char('\\');
  QStringList missing;
  for (QString level = path; level.size() > 3 && !platform::DirectoryExists(toW(level));
       level = ExtractFilePath(level.left(level.size() - 1))) {
    missing.prepend(level);
  }
  for (const QString& level : missing) {
    const QString bare = level.left(level.size() - 1);
    if (!RecordFolder(ExtractFilePath(bare))) return false;
    JournalRecord record;
    record.kind = JournalRecord::MakeFolder;
    record.path = bare;
    if (!Record(record) || !ChangeAllowed() || !platform::CreateDirectoryTree(toW(bare))) return false;
  }
  return true;
}

bool WorkstationUnit::CreateFolder(const QString& folder) {
  if (platform::DirectoryExists(toW(folder))) return true;
  const bool made = gJournalStubbed ? platform::CreateDirectoryTree(toW(folder))
                                    : RecordCreatedFolders(folder) && platform::DirectoryExists(toW(folder));
  if (made) actions_.Add(FolderAction(folder));
  return made;
}

bool WorkstationUnit::SetRegistryValue(int root, const QString& key, const QString& name, const QString& data,
                                       const std::function<bool()>& write) {
  const WorkstationAction action = ValueAction(root, key, name, RegistryValueText(root, key, name), data);
  const QString id = QString::number(root) + QStringLiteral("|") + key + QStringLiteral("|") + name;
  if (!gJournalStubbed && !Touched(id)) {
    JournalRecord record;
    record.kind = JournalRecord::Value;
    record.root = root;
    record.key = key;
    record.name = name;
    platform::RegistryKey opened;
    platform::RegistryValue old;
    record.existed = platform::RegOpenKey(RootOf(root), toW(key), platform::kKeyRead, &opened) ==
                         platform::kErrorSuccess &&
                     platform::RegQueryValue(opened, toW(name), &old) == platform::kErrorSuccess;
    record.type = old.type;
    record.data = old.data;
    if (!Record(record)) return false;
    touched_.append(id.toUpper());
  }
  if (!ChangeAllowed() || !write()) return false;
  actions_.Add(action);
  return true;
}

PrintListStore WorkstationUnit::StorePrintList(const QString& company, const QString& key,
                                               const std::function<PrintListStore()>&,
                                               const std::function<PrintListStore()>& store) {
  const PrintListStore done = store();
  actions_.Add(ListAction(company, key, done));
  return done;
}

void WorkstationUnit::KeepChanges() {
  if (!begun_ || closed_) return;
  closed_ = true;
  // The "keep" record is the moment the changes stand: a stop after it
  // leaves only the kept files to remove, which the next start does. Where
  // it cannot be written, removing the journal first makes them stand all
  // the same (a kept file left then is a spare name the next keep replaces).
  JournalRecord keep;
  keep.kind = JournalRecord::Keep;
  if (!AppendToJournal(keep)) RemoveJournal();
  for (const QString& kept : kept_) platform::DeleteFile(toW(kept));
  RemoveJournal();
}

RestoreOutcome WorkstationUnit::Undo() {
  if (!begun_ || closed_) return {};
  closed_ = true;
  return PlayJournal();
}

RestoreOutcome RestoreUnfinishedUnit() { return PlayJournal(); }

int UnfinishedChanges() {
  const platform::String path = toW(JournalPath());
  std::string text;
  if (!platform::FileExists(path)) return 0;
  if (!platform::ReadFileContents(path, &text)) return 1;
  int changes = 0;
  for (const JournalRecord& r : ReadJournal(text)) {
    // The changes stood already: only spare names are left to remove.
    if (r.kind == JournalRecord::Keep) return 0;
    if (r.kind != JournalRecord::Begin && r.kind != JournalRecord::Folder) ++changes;
  }
  return changes;
}

QString RestoreReport(const RestoreOutcome& outcome, bool atStart) {
  if (!outcome.found && outcome.complete) return {};
  const QString crlf = QStringLiteral("\r\n");
  QString text;
  if (outcome.complete) {
    text = atStart ? QStringLiteral("Une mise à jour précédente a été interrompue : les fichiers et le registre ont été "
                                    "remis dans l'état où ils étaient avant elle.")
                   : QStringLiteral("Les fichiers et le registre ont été remis dans l'état où ils étaient avant la mise "
                                    "à jour.");
    return text;
  }
  text = atStart ? QStringLiteral("Une mise à jour précédente a été interrompue et n'a pas pu être entièrement "
                                  "défaite :")
                 : QStringLiteral("Les fichiers et le registre n'ont pas pu être entièrement remis dans l'état où ils "
                                  "étaient avant la mise à jour :");
  for (const QString& failure : outcome.failures) text += crlf + QStringLiteral("Non rétabli : ") + failure;
  return text;
}

}  // namespace kelvaro
