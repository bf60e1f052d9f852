// The command line of kelvaro-update-batch: UPDATE [--answer yes|no].
#pragma once

#include <QString>
#include <QStringList>

#include "unattended/unattended_run.h"

namespace batch {

// Parses the words after the program name; false with a message in error.
bool ParseArguments(const QStringList& args, unattended::Options* options, QString* error);

}  // namespace batch
