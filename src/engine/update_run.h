// The run of an update without its window: which product the carried
// "Updates.txt" names, the title line, the product routine, and the closing
// line of the report. The wizard and kelvaro-update-batch both run an update
// through these functions; each supplies only what its screen does around
// them (disabling buttons, showing the report page).
//
// What this promises when things go wrong: any exception that leaves the
// product routine, of the program's own error type or not, is shown once with
// ShowErrorMessage and written to the report followed by "La mise à jour a
// échouée !"; it never escapes RunUpdate (the silent abort ends the run
// without a message). The
// client-library gate stops the run before any file is touched.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "engine/update_check.h"
#include "products/product_table.h"
#include "support/change_seam.h"

namespace kelvaro {

class TdmUpdateCommon;

// What LoadProductList found.
enum class ProductListStatus {
  Loaded,          // names holds the accepted product names (possibly none)
  Missing,         // "Updates.txt" is not carried or is empty
  ClientRefused,   // the client-library gate refused: the program must end
};

// The product names of "Updates.txt" that are table names (exact case, as a
// substring of the table's names), in file order, without duplicates
// (ignoring case). A line naming product row 1 runs clientGate first
// (CheckClientLibraryVersion, which shows its own warning); a refusal ends
// the load with ClientRefused.
ProductListStatus LoadProductList(TdmUpdateCommon& engine, const std::function<bool()>& clientGate,
                                  QStringList* names);

// The same selection over lines already read.
ProductListStatus SelectProductNames(const QStringList& lines, const std::function<bool()>& clientGate,
                                     QStringList* names);

// "Mise à jour : <title>  dd.mm.yyyy hh:nn:ss" followed by CR LF.
QString UpdateTitleLine(const QString& title, const QDateTime& when);

// The closing message of an outcome; empty for urtUnknown.
QString OutcomeMessage(TUpdateResultType result);

// Runs the routine of type on engine (FAppNameType is set first); a type
// without a routine gives urtUnknown and runs nothing.
TUpdateResultType RunProductRoutine(TdmUpdateCommon& engine, TAppNameType type);

// What the window does around the run. Every hook may be empty.
struct RunUpdateHooks {
  // Disables (false) the wizard's actions before the routine and enables
  // them again (true) afterwards, also when the routine raised.
  std::function<void(bool enabled)> setActionsEnabled;
  // Shows the report page again, before the closing line is written.
  std::function<void()> showEndStep;
  // After the closing line: scroll the report into view.
  std::function<void()> afterOutcome;
};

struct RunUpdateOutcome {
  TUpdateResultType result = urtUnknown;
  bool productRun = false;  // a name mapped to a product and its step ran
  bool failed = false;      // an error reached the handler
  QString errorMessage;
  // After a failure, the workstation's changes were undone: all of them
  // (undone), or all but notRestored ("<what> : <why>" each).
  bool undone = false;
  QStringList notRestored;
  // The unit an interrupted earlier run left was undone before this run.
  bool restoredEarlierRun = false;
  // What the routine did (or, planned, would do), in order, with what it
  // noted on the way (change_seam.h).
  std::vector<WorkstationAction> actions;
};

// How RunUpdate treats the workstation: Apply changes it as one unit; Plan
// runs the routine through a plan (workstation_plan.h) and changes nothing:
// no file, registry value or database row, and no undo of an earlier run
// (the plan lists it first instead).
enum class RunMode { Apply, Plan };

// How a run checks its update (update_check.h) before the routine changes
// anything.
struct UpdateTrust {
  std::optional<PublicKey> trustedKey;  // refuse what this key did not sign
  bool reportSignature = false;         // write the signature's state
  // Set by CheckUpdateBeforeRun: the run then checks nothing again.
  std::shared_ptr<const UpdateCheck> checked;
};

// The run: for the first name that maps to a product, the title line (font
// size 10), the undoing of what an interrupted earlier run left (with its
// lines; a run that cannot undo it whole goes no further), Delay(100), the
// check of every carried file and of the signature (with its line when trust
// asks for it), its routine as one unit of changes (workstation_unit.h);
// then the closing line (CR LF + message, font size 10). Errors, a failed
// check among them, end in the handler described above; a routine that
// failed has its changes undone first, and the report says so after its
// failure lines.
RunUpdateOutcome RunUpdate(TdmUpdateCommon& engine, const QStringList& productNames, const QString& title,
                           const RunUpdateHooks& hooks = {}, const UpdateTrust& trust = {},
                           RunMode mode = RunMode::Apply);

// Undoes what an interrupted earlier run left, for a program that changes
// the installation, at its start (under its single-instance lock), before it
// shows anything; the next RunUpdate writes what was done into its report.
void RestoreEarlierRunAtStart();

// The check alone, for a runner that makes it before it reads anything else
// from the update: false after a fault, which is then shown and written to
// the report with the closing line, as the run's handler does; true with
// trust->checked set, so the run writes the signature's line in its place.
bool CheckUpdateBeforeRun(TdmUpdateCommon& engine, UpdateTrust* trust);

// The updater's executable as a Windows path: the program itself, unless a
// runner that reads another update executable's carried files names it
// (kelvaro-update-batch). GetSourceDriveType looks at its drive.
void SetUpdaterExecutable(const QString& windowsPath);
QString UpdaterExecutablePath();

}  // namespace kelvaro
