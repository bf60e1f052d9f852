// kelvaro-update-batch UPDATE [--answer yes|no] [--trust KEYFILE] [--json FILE] [--dry-run]:
// runs the update carried by the update executable UPDATE in the current
// WINEPREFIX, without windows; with --trust, only when the key in KEYFILE
// (NAME.public of kelvaro-pack --new-key) signed it. The report goes to standard output line by line, message boxes to
// standard error; the exit code tells the outcome (unattended/unattended_run.h,
// --help).
#include <QCoreApplication>
#include <cstdio>

#include "batch_arguments.h"
#include "standard_options.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  if (const auto code = tools::AnswerStandardOption(args, QStringLiteral("kelvaro-update-batch"), batch::HelpText()))
    return *code;
  unattended::Options options;
  QString error;
  if (!batch::ParseArguments(args, &options, &error)) {
    std::fprintf(stderr,
                 "kelvaro-update-batch: %s\nusage: kelvaro-update-batch UPDATE [--answer yes|no] [--trust KEYFILE] [--json FILE] "
                 "[--dry-run]\n"
                 "(kelvaro-update-batch --help tells more)\n",
                 error.toUtf8().constData());
    return unattended::kExitUsage;
  }
  return unattended::RunUnattended(options);
}
