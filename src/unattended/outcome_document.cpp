#include "unattended/outcome_document.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSaveFile>

#include "unattended/unattended_run.h"

namespace unattended {
namespace {

QString OutcomeName(int exitCode, bool dryRun) {
  if (dryRun) {
    switch (exitCode) {
      case kExitOk: return QStringLiteral("no-change");
      case kExitWouldChange: return QStringLiteral("would-change");
      case kExitWouldFail: return QStringLiteral("would-fail");
      default: break;
    }
  }
  switch (exitCode) {
    case kExitOk: return QStringLiteral("ok");
    case kExitFailed: return QStringLiteral("failed");
    case kExitDeclined: return QStringLiteral("declined");
    case kExitWarning: return QStringLiteral("warning");
    case kExitNothingDone: return QStringLiteral("nothing-done");
    case kExitUsage: return QStringLiteral("not-run");
  }
  return QStringLiteral("failed");
}

QJsonObject CompanyObject(const kelvaro::CompanyListsOutcome& company) {
  return {{QStringLiteral("company"), company.company},
          {QStringLiteral("added"), QJsonArray::fromStringList(company.added)},
          {QStringLiteral("updated"), QJsonArray::fromStringList(company.updated)},
          {QStringLiteral("failures"), QJsonArray::fromStringList(company.failures)}};
}

QJsonObject ActionObject(const kelvaro::WorkstationAction& action) {
  QJsonObject object{{QStringLiteral("action"), kelvaro::ActionKindName(action.kind)},
                     {QStringLiteral("target"), action.target},
                     {QStringLiteral("change"), action.changes()}};
  if (!action.company.isEmpty()) object.insert(QStringLiteral("company"), action.company);
  if (action.kind == kelvaro::WorkstationAction::Kind::SetValue || !action.before.isEmpty())
    object.insert(QStringLiteral("before"), action.before.isNull() ? QJsonValue() : QJsonValue(action.before));
  if (!action.after.isEmpty()) object.insert(QStringLiteral("after"), action.after);
  if (!action.detail.isEmpty()) object.insert(QStringLiteral("detail"), action.detail);
  if (action.kind == kelvaro::WorkstationAction::Kind::UpdateList)
    object.insert(QStringLiteral("sameText"), action.sameText);
  return object;
}

}  // namespace

QJsonDocument OutcomeDocument(const RunRecord& record) {
  QJsonArray messages;
  for (const ShownMessage& message : record.messages)
    messages.append(QJsonObject{{QStringLiteral("kind"), message.kind}, {QStringLiteral("text"), message.text}});
  QJsonArray companies;
  for (const kelvaro::CompanyListsOutcome& company : record.companies) companies.append(CompanyObject(company));
  const QJsonObject workstation{{QStringLiteral("undone"), record.undone},
                                {QStringLiteral("notRestored"), QJsonArray::fromStringList(record.notRestored)},
                                {QStringLiteral("earlierRunUndone"), record.earlierRunUndone}};
  QJsonArray actions;
  for (const kelvaro::WorkstationAction& action : record.actions) actions.append(ActionObject(action));
  QJsonObject document{{QStringLiteral("update"), record.update},
                       {QStringLiteral("outcome"), OutcomeName(record.exitCode, record.dryRun)},
                       {QStringLiteral("exitCode"), record.exitCode},
                       {QStringLiteral("report"), QJsonArray::fromStringList(record.reportLines)},
                       {QStringLiteral("messages"), messages},
                       {QStringLiteral("companies"), companies},
                       {QStringLiteral("workstation"), workstation},
                       {QStringLiteral("actions"), actions},
                       {QStringLiteral("dryRun"), record.dryRun}};
  if (record.dryRun) document.insert(QStringLiteral("plannedOutcome"), OutcomeName(record.plannedExitCode, false));
  return QJsonDocument(document);
}

bool WriteOutcomeDocument(const QString& path, const RunRecord& record, QString* error) {
  QSaveFile file(path);
  const QByteArray bytes = OutcomeDocument(record).toJson(QJsonDocument::Indented);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    *error = file.errorString();
    return false;
  }
  return true;
}

}  // namespace unattended
