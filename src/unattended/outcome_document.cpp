#include "unattended/outcome_document.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSaveFile>

#include "unattended/unattended_run.h"

namespace unattended {
namespace {

QString OutcomeName(int exitCode) {
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
  return QJsonDocument(QJsonObject{{QStringLiteral("update"), record.update},
                                   {QStringLiteral("outcome"), OutcomeName(record.exitCode)},
                                   {QStringLiteral("exitCode"), record.exitCode},
                                   {QStringLiteral("report"), QJsonArray::fromStringList(record.reportLines)},
                                   {QStringLiteral("messages"), messages},
                                   {QStringLiteral("companies"), companies},
                                   {QStringLiteral("workstation"), workstation}});
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
