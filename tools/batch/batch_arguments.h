// The command line of kelvaro-update-batch: UPDATE [--answer yes|no]
// [--json FILE], and the help that explains it.
#pragma once

#include <QString>
#include <QStringList>

#include "unattended/unattended_run.h"

namespace batch {

// Parses the words after the program name; false with a message in error.
bool ParseArguments(const QStringList& args, unattended::Options* options, QString* error);

// The help --help prints: usage, options and exit codes.
QString HelpText();

}  // namespace batch
