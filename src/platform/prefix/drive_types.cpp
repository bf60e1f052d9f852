// Drive types: what Wine's mount manager reads from HKLM\Software\Wine\Drives.
#include "platform/files.h"
#include "platform/prefix/host_text.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/win32_errors.h"
#include "platform/prefix/wine_settings.h"

namespace platform {

using namespace prefix;

namespace {

struct NamedType {
  const char16_t* name;
  uint32_t type;
};

constexpr NamedType kWineDriveTypes[] = {
    {u"HD", kDriveFixed},          {u"NETWORK", kDriveRemote},  {u"CDROM", kDriveCdrom},
    {u"FLOPPY", kDriveRemovable},  {u"RAMDISK", kDriveRamdisk},
};

// "C:\", "c:\" and "C:" name a drive root; anything longer does not.
bool ParseRoot(const String& root, char16_t* letter) {
  if (root.size() < 2 || root.size() > 3 || root[1] != u':') return false;
  if (root.size() == 3 && root[2] != u'\\' && root[2] != u'/') return false;
  const char16_t c = root[0] & ~0x20;
  if (c < u'A' || c > u'Z') return false;
  *letter = c;
  return true;
}

}  // namespace

uint32_t GetDriveType(const String& root) {
  char16_t letter = 0;
  if (!ParseRoot(root, &letter) || DriveFolder(letter).empty()) return kDriveNoRootDir;
  String configured;
  const String valueName = String(1, char16_t(letter | 0x20)) + u":";
  if (!ReadSettingString(RegistryRoot::LocalMachine, u"Software\\Wine\\Drives", valueName, &configured)) {
    return kDriveFixed;
  }
  const String wanted = UpperCaseName(configured);
  for (const NamedType& known : kWineDriveTypes) {
    if (wanted == known.name) return known.type;
  }
  return kDriveFixed;
}

}  // namespace platform
