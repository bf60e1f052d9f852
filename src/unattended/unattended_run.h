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
#pragma once

#include <QString>
#include <QStringList>

namespace unattended {

// Exit codes.
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
  kExitUsage = 64,       // bad arguments, an update that cannot be opened or
                         // carries nothing, or no drive C: (no prefix)
};

struct Options {
  QString update;       // host path of the update executable
  bool answer = false;  // the answer to every question
  QString json;         // host path of the JSON document, empty for none
  QString trust;        // public key file: run only what this key signed
};

// Runs the update; returns the exit code.
int RunUnattended(const Options& options);

}  // namespace unattended
