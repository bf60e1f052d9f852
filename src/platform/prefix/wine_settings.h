// Reading what Wine keeps in the prefix's registry (Windows version,
// computer and user names, TEMP, drive types), through the registry
// interface; absence is an ordinary answer, never an error.
#pragma once

#include <cstdint>

#include "platform/registry.h"
#include "platform/win_types.h"

namespace platform::prefix {

// A REG_SZ or REG_EXPAND_SZ value as stored (not expanded); false when the
// key or the value is absent or of another type.
bool ReadSettingString(RegistryRoot root, const String& key, const String& name, String* value);
// A REG_DWORD value; false when absent or of another type.
bool ReadSettingDword(RegistryRoot root, const String& key, const String& name, uint32_t* value);

}  // namespace platform::prefix
