#include "printlists/table_manager.h"

#include "db/database_manager.h"
#include "db/ib_components.h"
#include "printlists/table_definition.h"
#include "support/errors.h"

namespace kelvaro {

TTableManager::TTableManager() = default;
TTableManager::~TTableManager() = default;

void TTableManager::BuildSQL4Insert(QStringList& lines) const {
  lines = kelvaro::BuildSQL4Insert(TableName, FieldDefs);
}

void TTableManager::BuildFindPKQuery() {
  if (!DatabaseManager || !DatabaseManager->Database()) throw Error(QStringLiteral("no database! (3)"));
  // Half-built, the query is dropped so that the next call starts again.
  auto query = std::make_unique<db::IbQuery>();
  query->setDatabase(DatabaseManager->Database());
  query->setTransaction(DatabaseManager->Transaction());
  int count = 0;
  query->setSql(kelvaro::BuildFindPKQuery(TableName, FieldDefs, &count));
  DatabaseManager->RegisterDataset(query.get());
  FPKCount = count;
  FQueryFindPK = std::move(query);
}

bool TTableManager::FindPK(const QVariantList& values) {
  if (!FQueryFindPK) BuildFindPKQuery();
  if (FQueryFindPK->active()) throw Error(QStringLiteral("Query FPK is active"));
  if (values.size() != FPKCount) throw Error(QStringLiteral("FindPK : count mismatch"));
  FQueryFindPK->clearParams();
  for (int i = 0; i < values.size(); ++i) FQueryFindPK->setParam(i, values[i]);
  FQueryFindPK->open();
  const bool found = !FQueryFindPK->eof();
  FQueryFindPK->close();
  return found;
}

}  // namespace kelvaro
