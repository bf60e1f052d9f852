// The overview's installation section: where each registered product's
// program is, the products' common root, and the company list, as the
// updater would find them. Nothing is changed: the company file is located
// without the clean-up of the obsolete machine key that an update does.
#include "command_registry.h"
#include "printlists/company_list.h"
#include "products/product_paths.h"
#include "products/product_table.h"
#include "support/errors.h"

namespace inspect {
namespace {

using namespace kelvaro;

QString OrNone(const QString& text) { return text.isEmpty() ? QStringLiteral("(aucun)") : text; }

void ShowPrograms() {
  for (int row = 1; row < kProductCount; ++row) {
    const QString name = ProductName(TAppNameType(row));
    try {
      const QString path = GetProductProgramPath(name, true);
      if (!path.isEmpty()) Out(QStringLiteral("Program %1\t%2").arg(name, path));
    } catch (const Error& error) {
      Out(QStringLiteral("Program %1\t? (%2)").arg(name, error.message()));
    }
  }
}

void ShowRoot() {
  try {
    Out(QStringLiteral("Products root\t") + OrNone(GetProductsRootFolder()));
  } catch (const Error& error) {
    Out(QStringLiteral("Products root\t? (%1)").arg(error.message()));
  }
}

int ShowCompanies() {
  QString file;
  try {
    file = TFMultiSte::LocateMultisteFile();
  } catch (const Error& error) {
    Out(QStringLiteral("Company file\t? (%1)").arg(error.message()));
    return 1;
  }
  Out(QStringLiteral("Company file\t") + OrNone(file));
  if (file.isEmpty()) {
    Out(QStringLiteral("Company\tDefault (no company file)"));
    return 0;
  }
  try {
    const QStringList companies = TFMultiSte::ReadCompanies(file);
    for (const QString& company : companies) {
      Out(QStringLiteral("Company\t") + (company.isEmpty() ? QStringLiteral("Default (empty line)") : company));
    }
    if (companies.isEmpty()) Out(QStringLiteral("Company\tDefault (empty company file)"));
  } catch (const Error& error) {
    Out(QStringLiteral("Company\t? (%1)").arg(QString(error.message()).replace(QStringLiteral("\r\n"), QStringLiteral(" "))));
    return 1;
  }
  return 0;
}

int ShowInstallation(const QStringList&) {
  ShowPrograms();
  ShowRoot();
  return ShowCompanies();
}

const InspectCommand kInstallation("", "", "the products' programs, their common root and the company list",
                                    ShowInstallation, 10);

}  // namespace
}  // namespace inspect
