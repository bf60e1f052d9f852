// The Windows registry: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE.
//
// The functions mirror the Reg* family: they return a Win32 error code
// (kErrorSuccess, kErrorFileNotFound for a missing key or value,
// kErrorAccessDenied for a refused access) and leave the last error alone.
// Key paths are relative to the root, "\" between levels, letter case ignored
// (accented capitals too). Empty components are read as Wine's server reads
// them: repeated backslashes count as one ("A\\B" names A\B) and a trailing
// one is ignored; a leading backslash fails with kErrorBadPathname and
// creates nothing (the conformance suite pins this on Windows too).
//
// Access: a key opened without KEY_QUERY_VALUE refuses reads, one without
// KEY_SET_VALUE refuses changes, with kErrorAccessDenied. Asking write access
// (KEY_SET_VALUE, KEY_CREATE_SUB_KEY, DELETE, ...) to a key whose registry
// the caller may not change fails at the open with kErrorAccessDenied, as it
// does for a non-administrator opening HKEY_LOCAL_MACHINE on Windows; read
// access still opens. A key deleted behind an open handle answers
// kErrorKeyDeleted.
//
// Guarantees when things go wrong (Wine prefix implementation):
// - Every write replaces the registry file atomically (temporary file, flush,
//   rename) under a lock, so a crash leaves the old or the new file, never a
//   mix; every key, value, option line and timestamp the program did not
//   touch is written back unchanged.
// - A registry file written keeps its owner, group and permissions, and the
//   lock file beside it belongs to the prefix's owner, so that Wine run by
//   that user can still save it after a write made as root.
// - While a wineserver runs for the prefix it owns the files and would
//   overwrite any change made to them. A write first waits a few seconds for
//   a server that only lingers after its last program; a server still alive
//   gets the change through Wine's own registry tool, and reads through the
//   layer in this process see the new value at once (another process sees it
//   in the file once Wine has saved it, at the latest when the server ends). Only where Wine is missing or refuses is
//   the write refused, with kErrorAccessDenied and RegistryRefusalReason().
// - Writes where the file or the prefix folder is not writable (no write
//   permission or no write bit: the read-only attribute) are refused with
//   kErrorAccessDenied.
// - A missing prefix has no keys: opens fail with kErrorFileNotFound and
//   creating a key fails with kErrorPathNotFound without making a prefix.
// - A read sees another process's write at the next open of a key, and
//   through a key already open within a few milliseconds (the file's identity
//   is checked at most every 2 ms between opens).
// - A registry file that cannot be parsed is never written: reads and writes
//   of that root fail with kErrorRegistryCorrupt and RegistryFileError() names
//   the file and line.
#pragma once

#include <cstdint>
#include <functional>
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

// Why the last change was refused when a running Wine could not take it, in
// French ("Wine est en cours d'exécution dans ce préfixe et ..."); empty when
// the last change went through or failed for another reason.
String RegistryRefusalReason();
// Whether another program owns the registry files now (over a Wine prefix:
// a live wineserver, *where naming its folder). Always false on Windows.
bool RegistryServerRunning(String* where);
// Told true before a write waits for such a program to end, false after.
void SetRegistryWaitObserver(std::function<void(bool waiting)> observer);

// Where the last kErrorRegistryCorrupt came from: "<file>, ligne <n> : <why>".
String RegistryFileError();

}  // namespace platform
