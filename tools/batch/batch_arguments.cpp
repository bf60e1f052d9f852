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

}  // namespace batch
