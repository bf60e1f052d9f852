#include "unattended/unattended_run.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <optional>

#include "db/client_gate.h"
#include "engine/plan_report.h"
#include "engine/update_common.h"
#include "engine/update_run.h"
#include "engine/windows_installer.h"
#include "platform/files.h"
#include "platform/module_resources.h"
#include "platform/system.h"
#include "support/errors.h"
#include "support/installation_owner.h"
#include "support/one_instance.h"
#include "support/report_sink.h"
#include "support/text.h"
#include "support/user_seam.h"
#include "unattended/outcome_document.h"
#include "unattended/unattended_console.h"

namespace unattended {
namespace {

using namespace kelvaro;

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

// Makes the update executable the module whose carried files are read; an
// empty message when it is one that carries files.
QString OpenUpdate(const QString& path) {
  const QFileInfo update(path);
  if (!update.isFile() || !update.isReadable()) return QStringLiteral("cannot read the update executable: ") + path;
  if (!platform::SetResourceModule(toW(update.absoluteFilePath()))) {
    return QStringLiteral("cannot open the update executable: ") + path + QStringLiteral(": ") +
           toQ(platform::FormatSystemMessage(platform::GetLastError())).trimmed();
  }
  // Any file opens as a module; one that carries nothing is not an update
  // (a copy of the wrong file), which must not pass for a workstation with
  // nothing to update. An update whose index cannot be read (a cut or
  // damaged copy) goes on: the check before the run reports it in French,
  // as a failed update.
  platform::SetLastError(platform::kErrorSuccess);
  if (platform::ListDataResources().empty() && platform::GetLastError() == platform::kErrorSuccess)
    return path + QStringLiteral(" is not an update: it carries no files");
  return {};
}

// Every workstation has a drive C:; without one, WINEPREFIX names a folder
// that is missing or is not a prefix.
QString CheckWorkstation() {
  if (platform::GetDriveType(u"C:\\") != platform::kDriveNoRootDir) return {};
  const QString prefix = qEnvironmentVariable("WINEPREFIX", QStringLiteral("~/.wine"));
  return QStringLiteral("this workstation has no drive C: the Wine prefix %1 does not exist or is not a prefix")
      .arg(prefix);
}

// The report lines a planned routine writes: they say what it did, which a
// plan did not, so they are kept from the console.
class SetAsideLines final : public ReportSink {
 public:
  void AppendLine(const QString&, int, const QString&) override {}
};

// The Windows path of a fresh host folder for the carried files a dry run
// compares: the user's temporary folder is part of the installation, which
// a dry run leaves as it is. Empty when none can be made.
QString PlanTemporaryFolder(std::optional<QTemporaryDir>* folder) {
  folder->emplace(QDir::tempPath() + QStringLiteral("/kelvaro-plan-XXXXXX"));
  if (!(*folder)->isValid()) return {};
  const platform::String windows = platform::FromNativePath(QDir::toNativeSeparators((*folder)->path()).toStdString());
  return windows.empty() ? QString() : toQ(windows) + QLatin1Char('\\');
}

// The routine planned and its plan printed; the dry run's exit code.
int PlanRun(TdmUpdateCommon& engine, const QStringList& productNames, const QString& title, const UpdateTrust& trust,
            UnattendedConsole& console, RunRecord* record) {
  SetAsideLines routineLines;
  engine.InitLog(&routineLines);
  const RunUpdateOutcome planned = RunUpdate(engine, productNames, title, {}, trust, RunMode::Plan);
  engine.InitLog(&console);
  record->companies = engine.listOutcomes();
  record->actions = planned.actions;
  record->plannedExitCode = ExitCodeOf(planned);
  if (!planned.productRun) return record->plannedExitCode;
  const PlanVerdict verdict = VerdictOf(planned);
  engine.AddToLog(PlanTitleLine(title, QDateTime::currentDateTime()), 10);
  for (const QString& line : PlanLines(planned.actions)) engine.AddToLog(line);
  engine.AddToLog(QStringLiteral("\r\n") + PlanClosingLine(verdict, CountChanges(planned.actions)), 10);
  switch (verdict) {
    case PlanVerdict::NoChange: return kExitOk;
    case PlanVerdict::WouldChange: return kExitWouldChange;
    case PlanVerdict::WouldFail: break;
  }
  return kExitWouldFail;
}

int RunUpdateFile(const Options& options, UnattendedConsole& console, RunRecord* record) {
  UpdateTrust trust;
  if (!options.trust.isEmpty()) {
    try {
      trust.trustedKey = ReadPublicKey(options.trust);
    } catch (const Error& error) {
      console.ShowRunnerError(error.message());
      return kExitUsage;
    }
    trust.reportSignature = true;
  }
  if (QString error = OpenUpdate(options.update); !error.isEmpty()) {
    console.ShowRunnerError(error);
    return kExitUsage;
  }
  if (QString error = CheckWorkstation(); !error.isEmpty()) {
    console.ShowRunnerError(error);
    return kExitUsage;
  }
  // Run as root on a workstation user's prefix, the update would leave files
  // that user can no longer write.
  if (const QString refusal = ForeignInstallationRefusal(); !refusal.isEmpty()) {
    console.ShowRunnerError(refusal);
    return kExitForeignPrefix;
  }
  const QString hostPath = QFileInfo(options.update).absoluteFilePath();
  // The same lock the wizard takes when started as this update, so a batch
  // run and an interactive one never update the same workstation together.
  const std::unique_ptr<platform::InstanceLock> lock = platform::CreateInstanceLock(toW(ApplicationTitle(hostPath)));
  if (lock && lock->alreadyExists()) {
    console.ShowRunnerError(QStringLiteral("another copy of %1 is running").arg(ApplicationTitle(hostPath)));
    return kExitNothingDone;
  }

  // Its drive tells whether the update runs from a CD-ROM.
  SetUpdaterExecutable(toQ(platform::FromNativePath(hostPath.toStdString())));

  // Outlives the engine, which empties it of its files when it goes.
  std::optional<QTemporaryDir> planFolder;
  QString planTemp;
  if (options.dryRun && (planTemp = PlanTemporaryFolder(&planFolder)).isEmpty()) {
    console.ShowRunnerError(QStringLiteral("cannot make a temporary folder for the plan in ") + QDir::tempPath());
    return kExitUsage;
  }
  TdmUpdateCommon engine;
  if (options.dryRun) engine.installer().UseTempPath(planTemp);
  engine.InitLog(&console);
  engine.SetCompanyProgress(
      [&console](int number, int count, const QString& company) { console.ShowCompany(number, count, company); });
  // Before anything else is read from the update, so that a damaged one
  // ends here, with its report line.
  if (!CheckUpdateBeforeRun(engine, &trust)) return kExitFailed;
  const QString title = UpdateTitle(engine);
  QStringList productNames;
  if (LoadProductList(engine, [] { return db::CheckClientLibraryVersion(); }, &productNames) ==
      ProductListStatus::ClientRefused) {
    return kExitNothingDone;
  }
  if (options.dryRun) return PlanRun(engine, productNames, title, trust, console, record);
  const RunUpdateOutcome outcome = RunUpdate(engine, productNames, title, {}, trust);
  record->companies = engine.listOutcomes();
  record->actions = outcome.actions;
  record->undone = outcome.undone;
  record->notRestored = outcome.notRestored;
  record->earlierRunUndone = outcome.restoredEarlierRun;
  return ExitCodeOf(outcome);
}

}  // namespace

int RunUnattended(const Options& options) {
  const bool jsonOnOutput = options.json == QStringLiteral("-");
  UnattendedConsole console(options.answer, platform::StandardErrorIsConsole(), !jsonOnOutput);
  InstalledUser installed(&console);
  RunRecord record;
  record.update = options.update;
  record.dryRun = options.dryRun;
  record.exitCode = RunUpdateFile(options, console, &record);
  console.ClearStatus();
  if (options.json.isEmpty()) return record.exitCode;

  record.reportLines = console.reportLines();
  record.messages = console.messages();
  if (jsonOnOutput) {
    const QByteArray bytes = OutcomeDocument(record).toJson(QJsonDocument::Indented);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
    return record.exitCode;
  }
  // A document that cannot be written leaves the outcome as it is: the
  // update ran, and the missing document is reported where the run's
  // caller sees it.
  if (QString error; !WriteOutcomeDocument(options.json, record, &error))
    console.ShowRunnerError(QStringLiteral("cannot write %1: %2").arg(options.json, error));
  return record.exitCode;
}

}  // namespace unattended
