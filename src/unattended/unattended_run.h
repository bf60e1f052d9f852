// An unattended update: the update executable's carried files, the same
// start, product list, client gate, routine and report as the wizard, with
// the console for a user. kelvaro-update-batch runs it on the update it is
// given, an update executable on itself when asked to run unattended.
//
// What this promises when things go wrong: nothing is changed before the
// update executable has been opened, found to carry files, the workstation's
// drive C: found, the prefix found to belong to the user this runs as, the
// instance lock taken and every carried file checked (and, with a trusted
// key, the signature); every question gets the configured answer (No
// unless told otherwise), every dialog is cancelled, and the outcome is the
// exit code. Asked for a JSON document, a run writes it whatever its outcome.
// A dry run goes through the same checks, then plans the routine instead of
// running it (engine/workstation_plan.h): it prints the plan, changes no
// file (the carried files it compares go to a temporary folder of its own
// outside the installation, removed at the end), no registry value and no
// database row, and the exit code tells whether the run would change
// anything.
#pragma once

#include <QString>
#include <QStringList>

namespace unattended {

// Exit codes. A dry run ends with kExitOk, kExitWouldChange or
// kExitWouldFail once it has planned a product's routine; before that, with
// the code the run would end with (the same checks fail it the same way).
enum ExitCode : int {
  kExitOk = 0,           // urtOk
  kExitFailed = 1,       // urtKo, or an error reached the run's handler
  kExitDeclined = 2,     // urtNot: a question was answered No
  kExitWarning = 3,      // urtWarning
  kExitNothingDone = 4,  // no product was updated (none named, none with a
                         // routine, client library refused, another copy
                         // running)
  kExitForeignPrefix = 5,  // the prefix belongs to another user: nothing
                           // changed (kelvaro::kExitForeignInstallation)
  kExitWouldChange = 10,  // dry run: the run would change the workstation
                          // or a company's print lists
  kExitWouldFail = 11,    // dry run: the run would fail
  kExitUsage = 64,       // bad arguments, an update that cannot be opened or
                         // carries nothing, or no drive C: (no prefix)
};

struct Options {
  QString update;       // host path of the update executable
  bool answer = false;  // the answer to every question
  QString json;         // host path of the JSON document, empty for none,
                        // "-" for standard output (instead of the report)
  QString trust;        // public key file: run only what this key signed
  bool dryRun = false;  // plan the run and change nothing
};

// Runs the update; returns the exit code.
int RunUnattended(const Options& options);

}  // namespace unattended
