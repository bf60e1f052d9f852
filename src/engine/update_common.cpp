// Creation and destruction of the update engine.
#include "engine/update_common.h"

#include "db/db_connection.h"
#include "engine/windows_installer.h"
#include "printlists/company_list.h"
#include "printlists/structure_printing.h"
#include "support/errors.h"
#include "support/user_seam.h"

namespace kelvaro {

TdmUpdateCommon* dmUpdateCommon = nullptr;

TdmUpdateCommon::TdmUpdateCommon() {
  // A company file or registry value that cannot be read must not leave the
  // engine half-built: the error is shown, the list stays empty (the default
  // company alone) and creation goes on.
  try {
    FMultiSte().ChargeFichier();
  } catch (const Error& error) {
    ShowErrorMessage(error.message());
  }
  mInstaller = std::make_unique<TWindowsInstaller>(QString());
  mDbConnection = std::make_unique<db::TdmDBConnection>();
  mStructurePrinting = std::make_unique<TdmStructurePrinting>(nullptr, QString(), mDbConnection.get());
}

TdmUpdateCommon::~TdmUpdateCommon() {
  mStructurePrinting.reset();
  mDbConnection.reset();
  // Every temporary file of this run, and any an earlier run left behind.
  ClearTempPath(QStringLiteral("Update*.tmp"));
  mInstaller.reset();
}

}  // namespace kelvaro
