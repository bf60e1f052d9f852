// kelvaro-inspect compare INSTALLED CARRIED: the updater's decision between
// an installed file and the one it carries (Windows paths): 1 when CARRIED is
// newer, 0 when the same, -1 when INSTALLED is newer. A missing CARRIED file
// is reported on standard error with exit code 1.
#include "command_registry.h"
#include "engine/windows_installer.h"
#include "support/errors.h"

namespace inspect {
namespace {

int CompareFiles(const QStringList& args) {
  if (args.size() != 2) {
    Err(QStringLiteral("usage: kelvaro-inspect compare INSTALLED CARRIED"));
    return 2;
  }
  try {
    Out(QString::number(kelvaro::TWindowsInstaller(QString()).CompareFileVersion(args.at(0), args.at(1))));
    return 0;
  } catch (const kelvaro::Error& e) {
    Err(e.message());
    return 1;
  }
}

const InspectCommand kCompare("compare", "compare INSTALLED CARRIED",
                              "the updater's decision between two files' versions: 1 when CARRIED is newer, "
                              "0 when the same, -1 when INSTALLED is newer",
                              CompareFiles);

}  // namespace
}  // namespace inspect
