// kelvaro-inspect journal [restore]: the changes an interrupted update left
// recorded in the installation's journal, and their undoing on request (as
// the next update would do before it starts).
#include <memory>

#include "command_registry.h"
#include "engine/change_journal.h"
#include "engine/workstation_unit.h"
#include "platform/files.h"
#include "platform/system.h"
#include "support/installation_owner.h"
#include "support/text.h"

namespace inspect {
namespace {

using kelvaro::JournalRecord;

bool ReadRecords(std::vector<JournalRecord>* records) {
  std::string text;
  if (!platform::ReadFileContents(kelvaro::toW(kelvaro::JournalPath()), &text)) return false;
  *records = kelvaro::ReadJournal(text);
  return true;
}

QString Describe(const JournalRecord& r) {
  const QString root = r.root == 1 ? QStringLiteral("HKEY_LOCAL_MACHINE\\") : QStringLiteral("HKEY_CURRENT_USER\\");
  switch (r.kind) {
    case JournalRecord::Replace: return QStringLiteral("remplacé\t") + r.path;
    case JournalRecord::Create: return QStringLiteral("créé\t") + r.path;
    case JournalRecord::MakeFolder: return QStringLiteral("dossier créé\t") + r.path;
    case JournalRecord::Value:
      return QStringLiteral("valeur %1\t").arg(r.existed ? QStringLiteral("modifiée") : QStringLiteral("ajoutée")) +
             root + r.key + QStringLiteral(" : ") + r.name;
    case JournalRecord::Damaged: return QStringLiteral("illisible\t") + r.problem;
    case JournalRecord::Keep: return QStringLiteral("conservé\tles modifications sont acquises");
    case JournalRecord::Begin:
    case JournalRecord::Folder: break;
  }
  return {};
}

int ChangeCount(const std::vector<JournalRecord>& records) {
  int count = 0;
  for (const JournalRecord& r : records) count += r.kind != JournalRecord::Keep && !Describe(r).isEmpty() ? 1 : 0;
  return count;
}

int ShowSummary(const QStringList&) {
  std::vector<JournalRecord> records;
  if (!platform::FileExists(kelvaro::toW(kelvaro::JournalPath())) || !ReadRecords(&records)) {
    Out(QStringLiteral("Journal des modifications\taucun"));
    return 0;
  }
  Out(QStringLiteral("Journal des modifications\tune mise à jour interrompue a laissé %1 modification(s) à défaire "
                     "(kelvaro-inspect journal)")
          .arg(ChangeCount(records)));
  return 0;
}

int Restore() {
  if (const QString refusal = kelvaro::ForeignInstallationRefusal(); !refusal.isEmpty()) {
    Err(QStringLiteral("ERREUR : ") + refusal);
    return kelvaro::kExitForeignInstallation;
  }
  const std::unique_ptr<platform::InstanceLock> lock = platform::CreateInstanceLock(kelvaro::kJournalLockName);
  if (lock && lock->alreadyExists()) {
    Err(QStringLiteral("ERREUR : une mise à jour est en cours dans cette installation."));
    return 1;
  }
  const kelvaro::RestoreOutcome outcome = kelvaro::RestoreUnfinishedUnit();
  const QString report = kelvaro::RestoreReport(outcome, true);
  Out(report.isEmpty() ? QStringLiteral("Aucune mise à jour interrompue à défaire.") : report);
  return outcome.complete ? 0 : 1;
}

int Journal(const QStringList& args) {
  if (args == QStringList{QStringLiteral("restore")}) return Restore();
  if (!args.isEmpty()) {
    Err(QStringLiteral("usage: kelvaro-inspect journal [restore]"));
    return 2;
  }
  std::vector<JournalRecord> records;
  if (!platform::FileExists(kelvaro::toW(kelvaro::JournalPath()))) {
    Out(QStringLiteral("Aucune mise à jour interrompue : pas de journal des modifications."));
    return 0;
  }
  if (!ReadRecords(&records)) {
    Err(QStringLiteral("ERREUR : ") + kelvaro::JournalPath() + QStringLiteral(" est illisible."));
    return 1;
  }
  Out(QStringLiteral("Journal\t") + kelvaro::JournalPath());
  // The last change first, as undoing goes.
  for (auto r = records.rbegin(); r != records.rend(); ++r) {
    if (const QString line = Describe(*r); !line.isEmpty()) Out(line);
  }
  return 0;
}

const InspectCommand kJournalSection("", "", "whether an interrupted update left changes to undo", ShowSummary, 10);
const InspectCommand kJournal("journal", "journal [restore]",
                              "the changes an interrupted update left recorded, the last first; with restore, "
                              "undoes them as the next update would before it starts",
                              Journal);

}  // namespace
}  // namespace inspect
