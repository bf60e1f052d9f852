// The Windows registry: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE.
//
// The functions mirror the Reg* family: they return a Win32 error code
// (kErrorSuccess, kErrorFileNotFound for a missing key or value,
// kErrorAccessDenied for a refused access) and leave the last error alone.
// Key paths are relative to the root, "\" between levels, letter case ignored.
// A path with an empty component (two backslashes in a row) is refused with the code Windows
// gives for it (the conformance suite pins it); nothing is created.
//
// Guarantees when things go wrong (Wine prefix implementation):
// - Every write replaces the registry file atomically (temporary file, flush,
//   rename) under a lock, so a crash leaves the old or the new file, never a
//   mix; every key, value, option line and timestamp the program did not
//   touch is written back unchanged.
// - While a wineserver runs for the prefix it owns the files and would
//   overwrite any change: writes are refused with kErrorAccessDenied.
// - A registry file that cannot be parsed is never written: reads and writes
//   of that root fail with kErrorRegistryCorrupt and RegistryFileError() names
//   the file and line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace platform {

enum class RegistryRoot { CurrentUser, LocalMachine };

// Access masks (KEY_*).
inline constexpr uint32_t kKeyQueryValue = 0x0001;
inline constexpr uint32_t kKeySetValue = 0x0002;
inline constexpr uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeyWrite = 0x20006;
inline constexpr uint32_t kKeyAllAccess = 0xF003F;

// Value types (REG_*).
enum RegistryType : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegDwordBigEndian = 5,
  kRegLink = 6,
  kRegMultiSz = 7,
  kRegQword = 11,
};

// A value's type and its data as RegQueryValueExW hands them out: strings as
// UTF-16LE bytes including the terminating NUL, a DWORD as 4 little-endian
// bytes.
struct RegistryValue {
  uint32_t type = kRegNone;
  std::string data;
};

// An open key; closing is the destructor's job.
class RegistryKey {
 public:
  RegistryKey();
  ~RegistryKey();
  RegistryKey(RegistryKey&&) noexcept;
  RegistryKey& operator=(RegistryKey&&) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  bool isOpen() const;
  void Close();

  struct Impl;
  Impl* impl() const { return impl_.get(); }
  explicit RegistryKey(std::unique_ptr<Impl> impl);

 private:
  std::unique_ptr<Impl> impl_;
};

uint32_t RegOpenKey(RegistryRoot root, const String& subKey, uint32_t access, RegistryKey* key);
// Opens the key, creating it and its missing parents.
uint32_t RegCreateKey(RegistryRoot root, const String& subKey, uint32_t access, RegistryKey* key);
// name empty: the key's default value.
uint32_t RegQueryValue(const RegistryKey& key, const String& name, RegistryValue* value);
uint32_t RegSetValue(const RegistryKey& key, const String& name, uint32_t type, const std::string& data);
uint32_t RegDeleteValue(const RegistryKey& key, const String& name);
// Name of the index-th subkey; kErrorNoMoreItems past the last.
uint32_t RegEnumKey(const RegistryKey& key, uint32_t index, String* name);
// Deletes a subkey that has no subkeys of its own.
uint32_t RegDeleteKey(const RegistryKey& parent, const String& subKey);
// Names of the key's values, in stored order.
uint32_t RegEnumValueNames(const RegistryKey& key, std::vector<String>* names);

// Convenience encoders for RegSetValue.
std::string RegistryStringData(const String& text);  // UTF-16LE + NUL
std::string RegistryDwordData(uint32_t value);
// Decoders: text up to the first NUL; the DWORD of 4 bytes.
String RegistryDataString(const std::string& data);
uint32_t RegistryDataDword(const std::string& data);

// Where the last kErrorRegistryCorrupt came from: "<file>, ligne <n> : <why>".
String RegistryFileError();

}  // namespace platform
