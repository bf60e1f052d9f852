// Data and version resources on the Windows API.
#include "platform/win32/windows_api.h"

#include <cstring>

#include "platform/module_resources.h"
#include "platform/win32/wide.h"

namespace platform {

using win32::U;
using win32::W;

namespace {

HMODULE gModule = nullptr;  // null: the running executable

// A resource of a loaded module: its bytes stay mapped while the module is.
class MappedResource : public ResourceData {
 public:
  MappedResource(const uint8_t* data, uint64_t size) : data_(data), size_(size) {}
  uint64_t size() const override { return size_; }
  int64_t Read(uint64_t offset, void* buffer, size_t count) override {
    if (offset >= size_) return 0;
    const uint64_t n = std::min<uint64_t>(count, size_ - offset);
    std::memcpy(buffer, data_ + offset, size_t(n));
    return int64_t(n);
  }

 private:
  const uint8_t* data_;
  uint64_t size_;
};

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) {
  if (!IS_INTRESOURCE(name)) reinterpret_cast<std::vector<String>*>(list)->push_back(U(name));
  return TRUE;
}

}  // namespace

bool SetResourceModule(const String& path) {
  // An empty path goes back to the running executable.
  HMODULE module = nullptr;
  if (!path.empty()) {
    module = ::LoadLibraryExW(W(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return false;
  }
  if (gModule) ::FreeLibrary(gModule);
  gModule = module;
  return true;
}

std::unique_ptr<ResourceData> FindDataResource(const String& name) {
  HRSRC found = ::FindResourceW(gModule, W(name).c_str(), MAKEINTRESOURCEW(10));
  if (!found) return nullptr;
  const DWORD size = ::SizeofResource(gModule, found);
  if (size == 0) return std::make_unique<MappedResource>(nullptr, 0);
  HGLOBAL loaded = ::LoadResource(gModule, found);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data) {
    if (::GetLastError() == ERROR_SUCCESS) ::SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  return std::make_unique<MappedResource>(static_cast<const uint8_t*>(data), size);
}

std::vector<String> ListDataResources() {
  std::vector<String> names;
  ::EnumResourceNamesW(gModule, MAKEINTRESOURCEW(10), CollectName, reinterpret_cast<LONG_PTR>(&names));
  return names;
}

// The Windows resources the conformance suite builds carry no seal: the
// digests and signature live in the index of the Linux container only.
bool ReadResourceSeal(ResourceSeal* seal) {
  *seal = ResourceSeal();
  for (const String& name : ListDataResources()) seal->resources.push_back({name, {}});
  return true;
}

uint32_t GetFileVersionInfoSize(const String& path) {
  DWORD handle = 0;
  return ::GetFileVersionInfoSizeW(W(path).c_str(), &handle);
}

bool GetFileVersionInfo(const String& path, uint32_t size, std::vector<uint8_t>* block) {
  block->assign(size, 0);
  return ::GetFileVersionInfoW(W(path).c_str(), 0, size, block->data()) != 0;
}

bool VerQueryValue(const std::vector<uint8_t>& block, const String& subBlock, const void** pointer, uint32_t* length) {
  void* found = nullptr;
  UINT size = 0;
  if (!::VerQueryValueW(block.data(), W(subBlock).c_str(), &found, &size)) {
    *length = 0;
    return false;
  }
  *pointer = found;
  *length = size;
  return true;
}

String VerLanguageName(uint32_t languageId) {
  wchar_t buffer[256];
  const DWORD length = ::VerLanguageNameW(languageId, buffer, 256);
  return String(buffer, buffer + length);
}

}  // namespace platform
