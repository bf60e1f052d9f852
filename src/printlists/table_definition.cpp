#include "printlists/table_definition.h"

namespace kelvaro {
namespace {

bool TakeMarker(QString* text, QChar marker) {
  const qsizetype at = text->indexOf(marker);
  if (at < 0) return false;
  text->remove(at, 1);
  return true;
}

std::vector<FieldDef> ParseAll(const QStringList& fieldDefs) {
  std::vector<FieldDef> fields;
  for (const QString& line : fieldDefs) fields.push_back(ParseFieldDef(line));
  return fields;
}

}  // namespace

FieldDef ParseFieldDef(const QString& line) {
  FieldDef field;
  QString text = line.trimmed();
  field.primaryKey = TakeMarker(&text, QLatin1Char('*'));
  field.excludedFromInsert = TakeMarker(&text, QLatin1Char('#'));
  const qsizetype space = text.indexOf(QLatin1Char(' '));
  field.name = space < 0 ? text : text.left(space);
  field.definition = space < 0 ? QString() : text.mid(space + 1).trimmed();
  return field;
}

QStringList BuildSQL4Insert(const QString& tableName, const QStringList& fieldDefs) {
  QStringList statement{QStringLiteral("INSERT INTO ") + tableName + QLatin1Char('(')};
  QStringList parameters;
  for (const FieldDef& field : ParseAll(fieldDefs)) {
    if (field.excludedFromInsert) continue;
    if (!parameters.isEmpty()) statement.last() += QLatin1Char(',');
    statement << field.name;
    parameters << QLatin1Char(':') + field.name;
  }
  statement.last() += QLatin1Char(')');
  statement << QStringLiteral("VALUES (") + parameters.join(QStringLiteral(", ")) + QLatin1Char(')');
  return statement;
}

QStringList BuildFindPKQuery(const QString& tableName, const QStringList& fieldDefs, int* pkCount) {
  QStringList query{QStringLiteral("SELECT 'T' FROM RDB$DATABASE WHERE EXISTS"), QStringLiteral("("),
                    QStringLiteral("SELECT 'T' FROM ") + tableName + QStringLiteral(" WHERE")};
  int count = 0;
  for (const FieldDef& field : ParseAll(fieldDefs)) {
    if (!field.primaryKey) continue;
    query << (count == 0 ? QString() : QStringLiteral("AND ")) + field.name + QStringLiteral(" = :p") +
                 QString::number(count);
    ++count;
  }
  query << QStringLiteral(")");
  *pkCount = count;
  return query;
}

}  // namespace kelvaro
