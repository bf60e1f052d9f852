#include "batch_arguments.h"

namespace batch {

bool ParseArguments(const QStringList& args, unattended::Options* options, QString* error) {
  *options = unattended::Options();
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (arg == QStringLiteral("--answer")) {
      const QString value = i + 1 < args.size() ? args[++i] : QString();
      if (value != QStringLiteral("yes") && value != QStringLiteral("no")) {
        *error = QStringLiteral("--answer takes yes or no");
        return false;
      }
      options->answer = value == QStringLiteral("yes");
    } else if (arg == QStringLiteral("--json")) {
      options->json = i + 1 < args.size() ? args[++i] : QString();
      if (options->json.isEmpty()) {
        *error = QStringLiteral("--json takes a file name");
        return false;
      }
    } else if (arg == QStringLiteral("--dry-run")) {
      options->dryRun = true;
    } else if (arg == QStringLiteral("--trust")) {
      options->trust = i + 1 < args.size() ? args[++i] : QString();
      if (options->trust.isEmpty()) {
        *error = QStringLiteral("--trust takes a public key file");
        return false;
      }
    } else if (arg.startsWith(QStringLiteral("--")) || !options->update.isEmpty()) {
      *error = QStringLiteral("unexpected argument: ") + arg;
      return false;
    } else {
      options->update = arg;
    }
  }
  if (options->update.isEmpty()) {
    *error = QStringLiteral("no update executable given");
    return false;
  }
  return true;
}

QString HelpText() {
  return QStringLiteral(
      "usage: kelvaro-update-batch UPDATE [--answer yes|no] [--trust KEYFILE] [--json FILE] [--dry-run]\n"
      "\n"
      "Runs the update that the update executable UPDATE carries (made by\n"
      "kelvaro-pack), without any window, on the workstation of the Wine prefix\n"
      "named by WINEPREFIX (default ~/.wine). The report goes to standard output,\n"
      "message boxes to standard error as \"<kind>: <text>\". When standard error is\n"
      "a terminal, one line shows which company the run is on.\n"
      "\n"
      "Options:\n"
      "  --answer yes|no  the answer to every question the update asks, such as\n"
      "                   replacing a library that is not older (default: no)\n"
      "  --trust KEYFILE  run the update only if the key in KEYFILE (NAME.public\n"
      "                   of kelvaro-pack --new-key) signed it\n"
      "  --json FILE      also write the outcome, the exit code, the report, the\n"
      "                   messages, per company the print lists added and updated\n"
      "                   and the failures, and the list of actions (what the run\n"
      "                   did, or would do), as one JSON document; FILE - writes\n"
      "                   it on standard output instead of the report\n"
      "  --dry-run        change nothing: make the same checks, then print what the\n"
      "                   update would do (files replaced or kept with their\n"
      "                   versions, questions and their answers, registry values,\n"
      "                   companies reached, print lists added or updated) and\n"
      "                   how it would end; exit codes 0, 10 and 11 below\n"
      "  --help           show this help and exit\n"
      "  --version        show the version and exit\n"
      "\n"
      "Exit codes:\n"
      "  0   the update is done\n"
      "  1   the update failed (the report says where), or the update is damaged\n"
      "      or, with --trust, not signed by that key: nothing was changed\n"
      "  2   the update was not done: a question was answered no\n"
      "  3   the update is done with warnings: lists of some companies were not\n"
      "      installed (a database that cannot be reached, for example)\n"
      "  4   nothing to do here: the update names no product this tool updates,\n"
      "      the Firebird client was refused, or another copy is running\n"
      "  5   the Wine prefix belongs to another user: nothing was changed\n"
      "  64  bad arguments (a key file that cannot be read), an update that cannot\n"
      "      be read or carries no files,\n"
      "      or no Wine prefix at WINEPREFIX\n"
      "\n"
      "With --dry-run, once the update's routine is planned (nothing was changed):\n"
      "  0   the update would change nothing here (up to date, a question answered\n"
      "      no)\n"
      "  10  the update would change this workstation or a company's print lists\n"
      "  11  the update would fail (the plan says where)\n"
      "and before that, the codes above, as the update itself would end: 1 (a\n"
      "damaged update, or one not signed by the --trust key), 4, 5 or 64: no plan\n"
      "was made.\n");
}

}  // namespace batch
