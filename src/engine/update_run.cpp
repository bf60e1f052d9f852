#include "engine/update_run.h"

#include <exception>
#include <utility>

#include "engine/update_common.h"
#include "engine/workstation_actions.h"
#include "engine/workstation_plan.h"
#include "engine/workstation_unit.h"
#include "platform/system.h"
#include "support/errors.h"
#include "support/user_seam.h"

namespace kelvaro {
namespace {

// Every table name followed by CR LF: a line is accepted when it occurs in
// this text, with exact case, so a line holding only the start of a name
// passes here and is skipped at run time.
QString KnownProductNames() {
  QString known;
  for (int row = 1; row < kProductCount; ++row) known += QString::fromLatin1(ProductTable[row]) + QStringLiteral("\r\n");
  return known;
}

}  // namespace

ProductListStatus SelectProductNames(const QStringList& lines, const std::function<bool()>& clientGate,
                                     QStringList* names) {
  names->clear();
  const QString known = KnownProductNames();
  for (const QString& line : lines) {
    if (line.isEmpty() || !known.contains(line, Qt::CaseSensitive)) continue;
    if (names->contains(line, Qt::CaseInsensitive)) continue;
    if (ProductFromName(line) == antWKS && clientGate && !clientGate()) {
      names->clear();
      return ProductListStatus::ClientRefused;
    }
    names->append(line);
  }
  return ProductListStatus::Loaded;
}

ProductListStatus LoadProductList(TdmUpdateCommon& engine, const std::function<bool()>& clientGate,
                                  QStringList* names) {
  QStringList lines;
  if (engine.LoadResourceFileList(QStringLiteral("Updates.txt"), lines) == 0) {
    names->clear();
    return ProductListStatus::Missing;
  }
  return SelectProductNames(lines, clientGate, names);
}

QString UpdateTitleLine(const QString& title, const QDateTime& when) {
  return QStringLiteral("Mise à jour : %1 ").arg(title) + QStringLiteral(" ") +
         when.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")) + QStringLiteral("\r\n");
}

QString OutcomeMessage(TUpdateResultType result) {
  switch (result) {
    case urtOk: return QStringLiteral("La mise à jour est terminée avec succès.");
    case urtKo: return QStringLiteral("La mise à jour a échouée !");
    case urtNot: return QStringLiteral("La mise à jour n'a pas été effectuée.");
    case urtWarning: return QStringLiteral("La mise à jour a été effectuée mais avec des avertissements !");
    case urtUnknown: break;
  }
  return {};
}

TUpdateResultType RunProductRoutine(TdmUpdateCommon& engine, TAppNameType type) {
  engine.SetAppNameType(type);
  switch (type) {
    case antWKS:
    case antWKR: return engine.UpdateSorbano();
    case antTorvida: return engine.UpdateTorvida();
    case antPastrel: return engine.UpdatePastrel();
    case antNimbaro: return engine.UpdateNimbaro();
    case antBrevani: return engine.UpdateBrevani();
    case antSolmira:
    case antFinance: return engine.UpdateSolmiraFinance(type);
    case antQRV: return engine.UpdateQRV();
    case antCommon: return engine.UpdateCommon();
    case antImagora: return engine.UpdateImagora();
    case antUnknown:
    case antPDFDLL:
    case antFerrolune:
    case antZRT:
    case antBureaulin: break;
  }
  return urtUnknown;
}

namespace {

// Re-enables the window's actions however the routine ends.
class ActionsDisabled {
 public:
  explicit ActionsDisabled(const RunUpdateHooks& hooks) : hooks_(hooks) {
    if (hooks_.setActionsEnabled) hooks_.setActionsEnabled(false);
  }
  ~ActionsDisabled() {
    if (hooks_.setActionsEnabled) hooks_.setActionsEnabled(true);
  }
  ActionsDisabled(const ActionsDisabled&) = delete;
  ActionsDisabled& operator=(const ActionsDisabled&) = delete;

 private:
  const RunUpdateHooks& hooks_;
};

// Raises the report's line when the update fails its check.
void CheckBeforeRoutine(TdmUpdateCommon& engine, const UpdateTrust& trust) {
  const UpdateCheck check = trust.checked ? *trust.checked : VerifyUpdate(trust.trustedKey);
  if (trust.reportSignature) engine.AddToLog(SignatureLine(check) + QStringLiteral("\r\n"));
}

// What the run's handler does with an error that reached it: said once,
// written to the report with the failed outcome; undoneLines (the undo's
// report) between the two.
void ReportFailure(TdmUpdateCommon& engine, const QString& message, RunUpdateOutcome* outcome,
                   const QString& undoneLines = QString()) {
  outcome->failed = true;
  outcome->result = urtKo;
  outcome->errorMessage = message;
  outcome->actions.push_back(FailureAction(QString(), message));
  ShowErrorMessage(message);
  const QString gap = QStringLiteral("\r\n\r\n");
  engine.AddToLog(message + gap + (undoneLines.isEmpty() ? QString() : undoneLines + gap) + OutcomeMessage(urtKo));
}

// What the program's start undid, until the run reports it.
RestoreOutcome& PendingEarlierRun() {
  static RestoreOutcome pending;
  return pending;
}

// Undoes what an interrupted earlier run left, before this run changes
// anything; false when that could not be done whole: the installation is
// then neither the old nor the new, and this run must not build on it.
bool RestoreEarlierRun(TdmUpdateCommon& engine, RunUpdateOutcome* outcome) {
  RestoreOutcome earlier = RestoreUnfinishedUnit();
  // Nothing (left) to undo now: what the start undid, if anything, is
  // what this run reports.
  if (!earlier.found && earlier.complete) earlier = std::exchange(PendingEarlierRun(), RestoreOutcome{});
  const QString lines = RestoreReport(earlier, true);
  if (!lines.isEmpty()) engine.AddToLog(lines);
  outcome->restoredEarlierRun = earlier.found && earlier.complete;
  if (earlier.complete) return true;
  outcome->notRestored = earlier.failures;
  outcome->failed = true;
  outcome->result = urtKo;
  engine.AddToLog(QStringLiteral("La mise à jour n'est pas lancée tant que l'installation n'est pas remise dans son "
                                 "état d'avant la mise à jour interrompue."));
  return false;
}

// The routine failed: every change of its unit undone; the report's lines
// for it.
QString UndoAfterFailure(WorkstationUnit& unit, RunUpdateOutcome* outcome) {
  const RestoreOutcome undone = unit.Undo();
  if (!undone.found && undone.complete) return {};
  outcome->undone = undone.complete;
  outcome->notRestored = undone.failures;
  return RestoreReport(undone, false);
}

// An error that leaves the routine, with the report's lines of the undo
// that followed it.
struct RoutineFailure {
  std::exception_ptr error;
  QString undoneLines;
};

// The routine as one unit of changes: undone when it fails.
void ApplyRoutine(TdmUpdateCommon& engine, TAppNameType type, RunUpdateOutcome* outcome) {
  WorkstationUnit unit;
  ScopedChanges door(&unit);
  try {
    outcome->result = RunProductRoutine(engine, type);
  } catch (...) {
    const QString lines = UndoAfterFailure(unit, outcome);
    outcome->actions = unit.TakeActions();
    throw RoutineFailure{std::current_exception(), lines};
  }
  if (outcome->result == urtKo) {
    const QString lines = UndoAfterFailure(unit, outcome);
    if (!lines.isEmpty()) engine.AddToLog(lines);
  } else {
    unit.KeepChanges();
  }
  outcome->actions = unit.TakeActions();
}

// The routine through a plan; what an interrupted earlier run left is
// listed first, as the run would undo it before anything else.
void PlanRoutine(TdmUpdateCommon& engine, TAppNameType type, RunUpdateOutcome* outcome) {
  WorkstationPlan plan;
  if (const int earlier = UnfinishedChanges(); earlier > 0) {
    WorkstationAction undo;
    undo.kind = WorkstationAction::Kind::UndoEarlierRun;
    undo.target = JournalPath();
    undo.detail = QString::number(earlier);
    plan.Note(undo);
  }
  ScopedChanges door(&plan);
  try {
    outcome->result = RunProductRoutine(engine, type);
  } catch (...) {
    outcome->actions = plan.TakeActions();
    throw RoutineFailure{std::current_exception(), QString()};
  }
  outcome->actions = plan.TakeActions();
}

void RunSteps(TdmUpdateCommon& engine, const QStringList& productNames, const QString& title,
              const RunUpdateHooks& hooks, const UpdateTrust& trust, RunMode mode, RunUpdateOutcome* outcome) {
  for (const QString& name : productNames) {
    const TAppNameType type = ProductFromName(name);
    if (type == antUnknown) continue;
    engine.SetAppNameType(type);
    engine.AddToLog(UpdateTitleLine(title, QDateTime::currentDateTime()), 10);
    outcome->productRun = true;
    const std::unique_ptr<platform::InstanceLock> journalLock = platform::CreateInstanceLock(kJournalLockName);
    if (journalLock && journalLock->alreadyExists()) {
      throw Error(QStringLiteral("Le journal des modifications de cette installation est en cours d'utilisation par un "
                                 "autre programme."));
    }
    if (mode == RunMode::Apply && !RestoreEarlierRun(engine, outcome)) break;
    {
      ActionsDisabled disabled(hooks);
      Delay(100);  // lets the window repaint before the routine starts
      CheckBeforeRoutine(engine, trust);
      if (mode == RunMode::Apply) ApplyRoutine(engine, type, outcome);
      else PlanRoutine(engine, type, outcome);
    }
    break;  // only the first product named is updated
  }
  if (hooks.showEndStep) hooks.showEndStep();
  const QString message = OutcomeMessage(outcome->result);
  if (!message.isEmpty()) engine.AddToLog(QStringLiteral("\r\n") + message, 10);
  if (hooks.afterOutcome) hooks.afterOutcome();
}

}  // namespace

RunUpdateOutcome RunUpdate(TdmUpdateCommon& engine, const QStringList& productNames, const QString& title,
                           const RunUpdateHooks& hooks, const UpdateTrust& trust, RunMode mode) {
  RunUpdateOutcome outcome;
  // Whatever leaves the routine is the run's failure. An exception of
  // another kind than the program's own (from a library, or a lack of
  // memory) is no exception to that.
  QString undoneLines;
  const auto fail = [&](const QString& message) { ReportFailure(engine, message, &outcome, undoneLines); };
  try {
    try {
      RunSteps(engine, productNames, title, hooks, trust, mode, &outcome);
    } catch (const RoutineFailure& failure) {
      // The routine's changes are undone already: the error itself is
      // handled below, its report followed by the undo's lines.
      undoneLines = failure.undoneLines;
      std::rethrow_exception(failure.error);
    }
  } catch (const SilentAbort&) {
    // The silent abort ends the run without a message.
    outcome.failed = true;
    outcome.result = urtKo;
    if (!undoneLines.isEmpty()) engine.AddToLog(undoneLines);
  } catch (const Error& error) {
    fail(error.message());
  } catch (const std::exception& error) {
    fail(QString::fromLocal8Bit(error.what()));
  } catch (...) {
    fail(QStringLiteral("Erreur inconnue"));
  }
  return outcome;
}

void RestoreEarlierRunAtStart() {
  const std::unique_ptr<platform::InstanceLock> lock = platform::CreateInstanceLock(kJournalLockName);
  // Another program works on the journal: the run tries again later.
  if (lock && lock->alreadyExists()) return;
  PendingEarlierRun() = RestoreUnfinishedUnit();
}

bool CheckUpdateBeforeRun(TdmUpdateCommon& engine, UpdateTrust* trust) {
  try {
    trust->checked = std::make_shared<const UpdateCheck>(VerifyUpdate(trust->trustedKey));
  } catch (const Error& error) {
    RunUpdateOutcome ignored;
    ReportFailure(engine, error.message(), &ignored);
    return false;
  }
  return true;
}

}  // namespace kelvaro
