// The registry on the Windows API.
#include "platform/win32/windows_api.h"

#include "platform/registry.h"
#include "platform/win32/wide.h"

namespace platform {

using win32::U;
using win32::W;

struct RegistryKey::Impl {
  HKEY key = nullptr;
  ~Impl() {
    if (key) ::RegCloseKey(key);
  }
};

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;
RegistryKey::RegistryKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
bool RegistryKey::isOpen() const { return impl_ && impl_->key; }
void RegistryKey::Close() { impl_.reset(); }

namespace {

HKEY RootHandle(RegistryRoot root) {
  return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

HKEY Handle(const RegistryKey& key) { return key.impl() ? key.impl()->key : nullptr; }

uint32_t Adopt(LONG status, HKEY handle, RegistryKey* key) {
  if (status != ERROR_SUCCESS) return uint32_t(status);
  auto impl = std::make_unique<RegistryKey::Impl>();
  impl->key = handle;
  *key = RegistryKey(std::move(impl));
  return kErrorSuccess;
}

}  // namespace

uint32_t RegOpenKey(RegistryRoot root, const String& subKey, uint32_t access, RegistryKey* key) {
  HKEY handle = nullptr;
  const LONG status = ::RegOpenKeyExW(RootHandle(root), W(subKey).c_str(), 0, access, &handle);
  return Adopt(status, handle, key);
}

uint32_t RegCreateKey(RegistryRoot root, const String& subKey, uint32_t access, RegistryKey* key) {
  HKEY handle = nullptr;
  const LONG status = ::RegCreateKeyExW(RootHandle(root), W(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        access, nullptr, &handle, nullptr);
  return Adopt(status, handle, key);
}

uint32_t RegQueryValue(const RegistryKey& key, const String& name, RegistryValue* value) {
  const std::wstring wideName = W(name);
  DWORD type = 0, size = 0;
  LONG status = ::RegQueryValueExW(Handle(key), wideName.c_str(), nullptr, &type, nullptr, &size);
  if (status != ERROR_SUCCESS) return uint32_t(status);
  std::string data(size, '\0');
  status = ::RegQueryValueExW(Handle(key), wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  if (status != ERROR_SUCCESS) return uint32_t(status);
  data.resize(size);
  value->type = type;
  value->data = std::move(data);
  return kErrorSuccess;
}

uint32_t RegSetValue(const RegistryKey& key, const String& name, uint32_t type, const std::string& data) {
  return uint32_t(::RegSetValueExW(Handle(key), W(name).c_str(), 0, type,
                                   reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size())));
}

uint32_t RegDeleteValue(const RegistryKey& key, const String& name) {
  return uint32_t(::RegDeleteValueW(Handle(key), W(name).c_str()));
}

uint32_t RegEnumKey(const RegistryKey& key, uint32_t index, String* name) {
  wchar_t buffer[256];
  DWORD length = 256;
  const LONG status = ::RegEnumKeyExW(Handle(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
  if (status == ERROR_SUCCESS) *name = String(buffer, buffer + length);
  return uint32_t(status);
}

uint32_t RegDeleteKey(const RegistryKey& parent, const String& subKey) {
  return uint32_t(::RegDeleteKeyW(Handle(parent), W(subKey).c_str()));
}

uint32_t RegEnumValueNames(const RegistryKey& key, std::vector<String>* names) {
  names->clear();
  for (DWORD index = 0;; ++index) {
    wchar_t buffer[16384];
    DWORD length = 16384;
    const LONG status = ::RegEnumValueW(Handle(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return kErrorSuccess;
    if (status != ERROR_SUCCESS) return uint32_t(status);
    names->push_back(String(buffer, buffer + length));
  }
}

// Windows keeps its hives itself: there is no file to point at.
String RegistryFileError() { return {}; }

// Windows' registry has no second owner to hand a change to.
String RegistryRefusalReason() { return {}; }
bool RegistryServerRunning(String*) { return false; }
void SetRegistryWaitObserver(std::function<void(bool)>) {}

}  // namespace platform
