// kelvaro-update-batch UPDATE [--answer yes|no] [--trust KEYFILE]: runs the
// update carried by the update executable UPDATE in the current WINEPREFIX,
// without windows; with --trust, only when the key in KEYFILE (NAME.public
// of kelvaro-pack --new-key) signed it.
// The report goes to standard output line by line, message boxes to standard
// error; the exit code tells the outcome (batch_run.h).
#include <QCoreApplication>
#include <cstdio>

#include "batch_run.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  batch::Options options;
  QString error;
  if (!batch::ParseArguments(app.arguments().mid(1), &options, &error)) {
    std::fprintf(stderr, "kelvaro-update-batch: %s\nusage: kelvaro-update-batch UPDATE [--answer yes|no] [--trust KEYFILE]\n",
                 error.toUtf8().constData());
    return batch::kExitUsage;
  }
  return batch::RunBatch(options);
}
