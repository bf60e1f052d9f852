// An unattended update: the update executable's carried files, the same
// start, product list, client gate, routine and report as the wizard, with
// the console for a user.
//
// What this promises when things go wrong: nothing is changed before the
// update executable has been opened, the instance lock taken and every
// carried file checked (and, with a trusted key, the signature); every
// question gets the configured answer (No unless told otherwise), every
// dialog is cancelled, and the outcome is the exit code.
#pragma once

#include <QString>
#include <QStringList>

namespace batch {

// Exit codes.
enum ExitCode : int {
  kExitOk = 0,           // urtOk
  kExitFailed = 1,       // urtKo, or an error reached the run's handler
  kExitDeclined = 2,     // urtNot: a question was answered No
  kExitWarning = 3,      // urtWarning
  kExitNothingDone = 4,  // no product was updated (none named, none with a
                         // routine, client library refused, another copy
                         // running)
  kExitUsage = 64,       // bad arguments, or the update cannot be opened
};

struct Options {
  QString update;       // host path of the update executable
  bool answer = false;  // the answer to every question
  QString trust;        // public key file: run only what this key signed
};

// Parses the words after the program name; false with a message in error.
bool ParseArguments(const QStringList& args, Options* options, QString* error);

// Runs the update; returns the exit code.
int RunBatch(const Options& options);

}  // namespace batch
