#include "batch_run.h"

#include <QFileInfo>
#include <memory>

#include "db/client_gate.h"
#include "engine/update_common.h"
#include "engine/update_run.h"
#include "platform/files.h"
#include "platform/module_resources.h"
#include "platform/system.h"
#include "support/console_user.h"
#include "support/errors.h"
#include "support/one_instance.h"
#include "support/text.h"
#include "support/user_seam.h"

namespace batch {
namespace {

using namespace kelvaro;

void Err(const QString& text) {
  const QByteArray bytes = (text + QLatin1Char('\n')).toUtf8();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

int ExitCodeOf(const RunUpdateOutcome& outcome) {
  if (outcome.failed) return kExitFailed;
  switch (outcome.result) {
    case urtOk: return kExitOk;
    case urtKo: return kExitFailed;
    case urtNot: return kExitDeclined;
    case urtWarning: return kExitWarning;
    case urtUnknown: break;
  }
  return kExitNothingDone;
}

// The wizard's title line shows the first line of "AppInfo1.txt".
QString UpdateTitle(TdmUpdateCommon& engine) {
  QStringList lines;
  if (engine.LoadResourceFileList(QStringLiteral("AppInfo1.txt"), lines) > 0) return lines.first();
  return {};
}

// Restores the previous user when the run ends.
class InstalledUser {
 public:
  explicit InstalledUser(UserSeam* user) { SetUser(user); }
  ~InstalledUser() { SetUser(nullptr); }
  InstalledUser(const InstalledUser&) = delete;
  InstalledUser& operator=(const InstalledUser&) = delete;
};

}  // namespace

bool ParseArguments(const QStringList& args, Options* options, QString* error) {
  *options = Options();
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (arg == QStringLiteral("--answer")) {
      const QString value = i + 1 < args.size() ? args[++i] : QString();
      if (value != QStringLiteral("yes") && value != QStringLiteral("no")) {
        *error = QStringLiteral("--answer takes yes or no");
        return false;
      }
      options->answer = value == QStringLiteral("yes");
    } else if (arg == QStringLiteral("--trust") && i + 1 < args.size()) {
      options->trust = args[++i];
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

int RunBatch(const Options& options) {
  UpdateTrust trust;
  if (!options.trust.isEmpty()) {
    try {
      trust.trustedKey = ReadPublicKey(options.trust);
    } catch (const Error& error) {
      Err(error.message());
      return kExitUsage;
    }
    trust.reportSignature = true;
  }
  const QFileInfo update(options.update);
  if (!update.isFile() || !update.isReadable()) {
    Err(QStringLiteral("cannot read the update executable: ") + options.update);
    return kExitUsage;
  }
  const QString hostPath = update.absoluteFilePath();
  if (!platform::SetResourceModule(toW(hostPath))) {
    Err(QStringLiteral("cannot open the update executable: ") + options.update + QStringLiteral(": ") +
        toQ(platform::FormatSystemMessage(platform::GetLastError())).trimmed());
    return kExitUsage;
  }
  // The same lock the wizard takes when started as this update, so a batch
  // run and an interactive one never update the same workstation together.
  const std::unique_ptr<platform::InstanceLock> lock = platform::CreateInstanceLock(toW(ApplicationTitle(hostPath)));
  if (lock && lock->alreadyExists()) {
    Err(QStringLiteral("another copy of %1 is running").arg(ApplicationTitle(hostPath)));
    return kExitNothingDone;
  }

  ConsoleUser console(options.answer);
  InstalledUser installed(&console);
  // Its drive tells whether the update runs from a CD-ROM.
  SetUpdaterExecutable(toQ(platform::FromNativePath(hostPath.toStdString())));

  TdmUpdateCommon engine;
  engine.InitLog(&console);
  // Before anything else is read from the update, so that a damaged one
  // ends here, with its report line.
  if (!CheckUpdateBeforeRun(engine, &trust)) return kExitFailed;
  const QString title = UpdateTitle(engine);
  QStringList productNames;
  if (LoadProductList(engine, [] { return db::CheckClientLibraryVersion(); }, &productNames) ==
      ProductListStatus::ClientRefused) {
    return kExitNothingDone;
  }
  return ExitCodeOf(RunUpdate(engine, productNames, title, {}, trust));
}

}  // namespace batch
