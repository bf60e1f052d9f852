#include "printlists/structure_printing.h"

#include <exception>

#include "db/db_connection.h"
#include "platform/files.h"
#include "printlists/list_definition.h"
#include "support/errors.h"
#include "support/text.h"
#include "support/change_seam.h"

namespace kelvaro {

namespace {

const QStringList kPrintParamsFields{
    QStringLiteral("pname VARCHAR(60) NOT NULL *"),
    QStringLiteral("d_text VARCHAR(90)"),
    QStringLiteral("f_text VARCHAR(90)"),
    QStringLiteral("i_text VARCHAR(90)"),
    QStringLiteral("compat VARCHAR(30)"),
    QStringLiteral("print_params BLOB SUB_TYPE 1 SEGMENT SIZE 80"),
};

const QStringList kPrintImagesFields{
    QStringLiteral("image_name VARCHAR(30) NOT NULL *"),
    QStringLiteral("image_data BLOB SUB_TYPE 0 SEGMENT SIZE 1024"),
};

}  // namespace

QString PrintParamsText(const QStringList& lines) {
  QString text;
  for (const QString& line : lines) text += line + QStringLiteral("\r\n");
  return text;
}

TdmStructurePrinting::TdmStructurePrinting(QObject* owner, const QString& folder,
                                           db::TdmDBConnection* connection)
    : QObject(owner), QueryPrint(new db::IbQuery(this)), IBSQL1(new db::IbQuery(this)),
      FConnection(connection), FFolder(folder) {
  if (!FFolder.isEmpty()) Changes().CreateFolder(FFolder);
  AssignConnection();
  DefineTables();
}

TdmStructurePrinting::~TdmStructurePrinting() = default;

void TdmStructurePrinting::AssignConnection() {
  if (!FConnection)
    throw Error(QStringLiteral(
        "FConnection = NIL (Common\\Impression\\dmStructure_Printing_Unit.pas, line 668)"));
  for (db::IbQuery* query : {QueryPrint, IBSQL1}) {
    if (!query->database()) query->setDatabase(FConnection->IBDatabase);
    if (!query->transaction()) query->setTransaction(FConnection->GlobalTransaction);
  }
  for (TTableManager* manager : {&ManagerPrintParams, &ManagerPrintImages}) {
    if (!manager->DatabaseManager) manager->DatabaseManager = FConnection->DatabaseManager;
  }
}

void TdmStructurePrinting::DefineTables() {
  ManagerPrintParams.TableName = QStringLiteral("PRT_Params");
  ManagerPrintParams.FieldDefs = kPrintParamsFields;
  ManagerPrintImages.TableName = QStringLiteral("PRT_Images");
  ManagerPrintImages.FieldDefs = kPrintImagesFields;
}

bool TdmStructurePrinting::PrintParamsExists(const QString& key) {
  FConnection->DoStartTransaction();
  try {
    const bool found = ManagerPrintParams.FindPK({key});
    FConnection->DoCommit();
    return found;
  } catch (const std::exception& error) {
    FConnection->DoRollback(error);
  }
}

std::optional<QString> TdmStructurePrinting::StoredPrintParams(const QString& key) {
  FConnection->DoStartTransaction();
  try {
    QueryPrint->close();
    QueryPrint->setSql(QStringLiteral("SELECT print_params FROM PRT_Params WHERE pname=:p0"));
    QueryPrint->clearParams();
    QueryPrint->setParam(0, key);
    QueryPrint->open();
    std::optional<QString> stored;
    if (!QueryPrint->eof()) stored = QueryPrint->field(0).toString();
    QueryPrint->close();
    FConnection->DoCommit();
    return stored;
  } catch (const std::exception& error) {
    QueryPrint->close();
    FConnection->DoRollback(error);
  }
}

void TdmStructurePrinting::UpdatePrintParams(const QString& key, const QStringList& lines) {
  FConnection->DoStartTransaction();
  try {
    QueryPrint->close();
    QueryPrint->setSql(QStringLiteral("UPDATE PRT_Params SET print_params=:p0 WHERE pname=:p1"));
    QueryPrint->clearParams();
    QueryPrint->setParam(0, PrintParamsText(lines));
    QueryPrint->setParam(1, key);
    QueryPrint->execQuery();
    QueryPrint->close();
    FConnection->DoCommit();
  } catch (const std::exception& error) {
    QueryPrint->close();
    FConnection->DoRollback(error);
  }
}

QString TdmStructurePrinting::InsertPrintParams(const QString& key, const QStringList& lines) {
  const ListHeader header = ReadListHeader(lines, key);
  FConnection->DoStartTransaction();
  try {
    QueryPrint->close();
    QStringList statement;
    ManagerPrintParams.BuildSQL4Insert(statement);
    QueryPrint->setSql(statement);
    QueryPrint->clearParams();
    QueryPrint->setParam(0, key);
    QueryPrint->setParam(1, header.dTitle);
    QueryPrint->setParam(2, header.fTitle);
    QueryPrint->setParam(3, header.iTitle);
    QueryPrint->setParam(4, header.compat);
    QueryPrint->setParam(5, PrintParamsText(lines));
    QueryPrint->execQuery();
    QueryPrint->close();
    FConnection->DoCommit();
  } catch (const std::exception& error) {
    QueryPrint->close();
    FConnection->DoRollback(error);
  }
  return header.fTitle;
}

}  // namespace kelvaro
