// Registry text shaped like what `wineboot -i` writes into a new prefix, made
// up here so that the benchmarks can measure a prefix of real size without
// Wine installed: many class and interface registrations with one or a few
// values each, file extensions, keys under Windows' CurrentVersion, one
// fonts key with many values, time zones with binary data, services, and in
// user.reg and userdef.reg control-panel and per-program settings. Only the
// shape (key count per megabyte, values per key, value kinds, accented
// names) follows a real prefix; every name and value is invented.
#pragma once

#include <cstddef>
#include <string>

namespace bench {

// The first lines of a system.reg, up to its first key.
extern const char kSystemRegHeader[];

// Appends the i-th class registration (a key with a few values, some binary
// data, accented names) to a system.reg text; returns the key's path.
std::string AppendClassKey(std::string* text, unsigned i);

// Bytes of registry text per file of a prefix.
struct RegistrySizes {
  size_t system = 0;
  size_t user = 0;
  size_t userdef = 0;
};

// The sizes `wineboot -i` gives a new prefix (Wine 8).
inline constexpr RegistrySizes kWinebootSizes{1700000, 24000, 4000};

// Appends generated keys to the prefix's system.reg, user.reg and userdef.reg
// (written with their header when missing): about extra.system,
// extra.user and extra.userdef bytes of text, never less. system.reg always
// gets the key HKLM\Software\Wine, so that even with nothing extra a query
// of that key finds it. Returns the size of system.reg afterwards. Throws
// std::runtime_error when a file cannot be written.
size_t AppendWinebootShapedKeys(const std::string& prefixRoot, RegistrySizes extra);

}  // namespace bench
