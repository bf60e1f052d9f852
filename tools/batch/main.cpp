// kelvaro-update-batch UPDATE [--answer yes|no]: runs the update carried by
// the update executable UPDATE in the current WINEPREFIX, without windows.
// The report goes to standard output line by line, message boxes to standard
// error; the exit code tells the outcome (unattended/unattended_run.h).
#include <QCoreApplication>
#include <cstdio>

#include "batch_arguments.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  unattended::Options options;
  QString error;
  if (!batch::ParseArguments(app.arguments().mid(1), &options, &error)) {
    std::fprintf(stderr, "kelvaro-update-batch: %s\nusage: kelvaro-update-batch UPDATE [--answer yes|no]\n",
                 error.toUtf8().constData());
    return unattended::kExitUsage;
  }
  return unattended::RunUnattended(options);
}
