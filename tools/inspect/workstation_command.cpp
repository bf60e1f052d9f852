// The overview's first section: what the program sees of this workstation.
#include "command_registry.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "support/text.h"

namespace inspect {
namespace {

QString DriveTypeName(uint32_t type) {
  switch (type) {
    case platform::kDriveRemovable: return QStringLiteral("removable");
    case platform::kDriveFixed: return QStringLiteral("fixed");
    case platform::kDriveRemote: return QStringLiteral("network");
    case platform::kDriveCdrom: return QStringLiteral("cdrom");
    case platform::kDriveRamdisk: return QStringLiteral("ramdisk");
    case platform::kDriveNoRootDir: return QStringLiteral("absent");
    default: return QStringLiteral("unknown");
  }
}

QString OrUnknown(bool ok, const platform::String& text) {
  return ok ? kelvaro::toQ(text) : QStringLiteral("? (erreur %1)").arg(platform::GetLastError());
}

int ShowWorkstation(const QStringList&) {
  for (const platform::String& root : platform::GetLogicalDriveStrings()) {
    Out(QStringLiteral("Drive %1\t%2\t%3")
            .arg(kelvaro::toQ(root), DriveTypeName(platform::GetDriveType(root)),
                 QString::fromStdString(platform::ToNativePath(root))));
  }
  Out(QStringLiteral("Windows folder\t") + kelvaro::toQ(platform::GetWindowsDirectory()));
  Out(QStringLiteral("Temporary folder\t") + kelvaro::toQ(platform::GetTempPath()));
  const platform::WindowsVersion version = platform::GetWindowsVersion();
  Out(QStringLiteral("Windows version\t%1.%2.%3")
          .arg(QString::number(version.major), QString::number(version.minor), QString::number(version.build)));
  platform::String name;
  const bool hasComputer = platform::GetComputerName(&name);
  Out(QStringLiteral("Computer name\t") + OrUnknown(hasComputer, name));
  const bool hasUser = platform::GetUserName(&name);
  Out(QStringLiteral("User name\t") + OrUnknown(hasUser, name));
  platform::String server;
  Out(QStringLiteral("Wineserver\t") +
      (platform::RegistryServerRunning(&server)
           ? QStringLiteral("en cours (%1) : les écritures du registre passent par Wine").arg(kelvaro::toQ(server))
           : QStringLiteral("aucun")));
  return 0;
}

const InspectCommand kWorkstation("", "", "drives, the Windows and temporary folders, the Windows version, "
                                   "the computer and user names",
                                   ShowWorkstation, 0);

}  // namespace
}  // namespace inspect
