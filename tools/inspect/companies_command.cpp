// The overview's company-database section: for every registered product that
// keeps company databases, each company of the company list with the
// database name the updater would connect to. Reads the registry and the
// company file only.
#include "command_registry.h"
#include "engine/company_connection.h"
#include "printlists/company_list.h"
#include "products/product_paths.h"
#include "products/product_table.h"
#include "support/errors.h"

namespace inspect {
namespace {

using namespace kelvaro;

constexpr TAppNameType kProductsWithDatabases[] = {antWKS,  antWKR,       antTorvida, antNimbaro,
                                                   antSolmira, antQRV, antFerrolune, antZRT};

bool Registered(const QString& product) {
  try {
    return !GetProductProgramPath(product, true).isEmpty();
  } catch (const Error&) {
    return false;
  }
}

// The companies as the installation walks them: an empty line or an absent
// file is the default company.
QStringList Companies() {
  QStringList companies;
  try {
    const QString file = TFMultiSte::LocateMultisteFile();
    if (!file.isEmpty()) companies = TFMultiSte::ReadCompanies(file);
  } catch (const Error&) {
    // The installation section already tells why the file cannot be read.
  }
  if (companies.isEmpty()) companies << QString();
  for (QString& company : companies) {
    if (company.isEmpty()) company = QStringLiteral("Default");
  }
  return companies;
}

int ShowCompanyDatabases(const QStringList&) {
  const QStringList companies = Companies();
  int status = 0;
  for (TAppNameType row : kProductsWithDatabases) {
    const QString product = ProductName(row);
    if (!Registered(product)) continue;
    for (const QString& company : companies) {
      try {
        const QString name = CompanyDatabaseName(product, company);
        Out(QStringLiteral("Database %1\t%2\t%3")
                .arg(product, company, name.isEmpty() ? QStringLiteral("(aucune)") : name));
      } catch (const Error& error) {
        Out(QStringLiteral("Database %1\t%2\t? (%3)").arg(product, company, error.message()));
        status = 1;
      }
    }
  }
  return status;
}

const InspectCommand kCompanyDatabases("", "", "each company's database, as the updater would open it",
                                        ShowCompanyDatabases, 20);

}  // namespace
}  // namespace inspect
