// TdmStructurePrinting: the print lists stored in a company database (table
// PRT_Params, and the pictures of PRT_Images, which the updater never writes).
// It works on whatever database the connection module has open at the time.
//
// What it promises when things go wrong: every operation is one transaction
// bracket of the connection module; any error inside it (no connection, a
// missing table, a value longer than its column, a lost connection) rolls
// the bracket back and raises again, so a list is either stored whole or not
// touched. Nothing is reported or shown from here.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

#include "printlists/table_manager.h"

namespace kelvaro {

namespace db {
class TdmDBConnection;
class IbQuery;
}  // namespace db

class TdmStructurePrinting : public QObject {
  Q_OBJECT
 public:
  // folder: a working folder, created with its parents when not empty.
  TdmStructurePrinting(QObject* owner, const QString& folder, db::TdmDBConnection* connection);
  ~TdmStructurePrinting() override;

  bool PrintParamsExists(const QString& key);
  // The stored text of the list key; nothing when it is not stored.
  std::optional<QString> StoredPrintParams(const QString& key);
  // Replaces the stored text only; titles and compatibility tag stay.
  void UpdatePrintParams(const QString& key, const QStringList& lines);
  // Inserts the list with the titles of its header; returns its F title.
  QString InsertPrintParams(const QString& key, const QStringList& lines);

  TTableManager ManagerPrintParams;
  TTableManager ManagerPrintImages;
  db::IbQuery* QueryPrint;
  db::IbQuery* IBSQL1;

 private:
  void AssignConnection();
  void DefineTables();

  db::TdmDBConnection* FConnection;
  QString FFolder;
};

// The stored form of a definition: every line followed by CR LF.
QString PrintParamsText(const QStringList& lines);

}  // namespace kelvaro
