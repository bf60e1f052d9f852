// The textual description of a table that TTableManager builds its
// statements from: one column per line, "name SQL-definition", with "*"
// marking a primary-key column and "#" a column left out of INSERT.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace kelvaro {

struct FieldDef {
  QString name;
  QString definition;  // the SQL type and constraints after the name
  bool primaryKey = false;
  bool excludedFromInsert = false;
};

// Trims the line, removes the first "*" and the first "#" (each marks the
// column), and splits the name from its definition at the first space.
FieldDef ParseFieldDef(const QString& line);

// The INSERT statement of a table, one line per column name, as the
// products' table manager writes it: "INSERT INTO T(", "a,", "b)",
// "VALUES (:a, :b)".
QStringList BuildSQL4Insert(const QString& tableName, const QStringList& fieldDefs);

// The primary-key existence query: one ":p<i>" parameter per key column.
QStringList BuildFindPKQuery(const QString& tableName, const QStringList& fieldDefs, int* pkCount);

}  // namespace kelvaro
