#include "platform/prefix/wine_settings.h"

namespace platform::prefix {
namespace {

bool ReadValue(RegistryRoot root, const String& key, const String& name, RegistryValue* value) {
  RegistryKey opened;
  return RegOpenKey(root, key, kKeyRead, &opened) == kErrorSuccess &&
         RegQueryValue(opened, name, value) == kErrorSuccess;
}

}  // namespace

bool ReadSettingString(RegistryRoot root, const String& key, const String& name, String* value) {
  RegistryValue stored;
  if (!ReadValue(root, key, name, &stored) || (stored.type != kRegSz && stored.type != kRegExpandSz)) return false;
  *value = RegistryDataString(stored.data);
  return true;
}

bool ReadSettingDword(RegistryRoot root, const String& key, const String& name, uint32_t* value) {
  RegistryValue stored;
  if (!ReadValue(root, key, name, &stored) || stored.type != kRegDword || stored.data.size() != 4) return false;
  *value = RegistryDataDword(stored.data);
  return true;
}

}  // namespace platform::prefix
