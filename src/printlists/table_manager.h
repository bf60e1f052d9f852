// TTableManager: the statements of one table built from its textual
// description (FieldDefs, one column per line), run on the database and main
// transaction of a TDatabaseManager.
//
// What it promises when things go wrong: FindPK raises kelvaro::Error without
// touching the database when there is no database, when the existence query
// is still open or when the number of key values is wrong; a database failure
// raises kelvaro::DatabaseError and leaves the query closed. It never starts,
// commits or rolls back a transaction: the caller's bracket does.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <memory>

namespace kelvaro {

namespace db {
class TDatabaseManager;
class IbQuery;
}  // namespace db

class TTableManager {
 public:
  TTableManager();
  ~TTableManager();
  TTableManager(const TTableManager&) = delete;
  TTableManager& operator=(const TTableManager&) = delete;

  QString TableName;
  QStringList FieldDefs;
  db::TDatabaseManager* DatabaseManager = nullptr;

  // Fills lines with the INSERT statement of the table.
  void BuildSQL4Insert(QStringList& lines) const;
  // Whether a row with these primary-key values (one per key column, in the
  // order of FieldDefs) exists.
  bool FindPK(const QVariantList& values);

 private:
  void BuildFindPKQuery();

  int FPKCount = 0;
  // Built at the first existence test and kept: it follows the manager's
  // database component from one connection to the next.
  std::unique_ptr<db::IbQuery> FQueryFindPK;
};

}  // namespace kelvaro
