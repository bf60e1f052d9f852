// Named data resources (RT_RCDATA) of an executable and version resources of
// any PE file.
//
// On Windows these are the module's own resources. On Linux the packager
// appends named blobs to the executable, with an index at the end of the
// file, so that a resource is found by name without reading any other
// resource's data.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace platform {

// One resource's bytes, read in pieces so that a large resource never needs
// to sit in memory whole.
class ResourceData {
 public:
  virtual ~ResourceData() = default;
  virtual uint64_t size() const = 0;
  // Copies up to count bytes from offset; returns the number copied, 0 at the
  // end, and -1 with last error set on a read failure.
  virtual int64_t Read(uint64_t offset, void* buffer, size_t count) = 0;
};

// The module whose resources FindDataResource reads: the running executable
// unless set (the batch runner reads the update executable it is given).
// Accepts a Windows path or, on Linux, a host path.
bool SetResourceModule(const String& path);

// FindResourceW(NULL, name, RT_RCDATA) with SizeofResource/LoadResource/
// LockResource: the resource stored under name, ASCII case ignored. Null with
// kErrorResourceNameNotFound when there is none, or another error when the
// module cannot be read.
std::unique_ptr<ResourceData> FindDataResource(const String& name);

// Names of every data resource of the module, as stored (upper case).
std::vector<String> ListDataResources();

// --- Version resources --------------------------------------------------------

// GetFileVersionInfoSizeW: 0 with last error set when the file has no
// version resource or cannot be read.
uint32_t GetFileVersionInfoSize(const String& path);
// GetFileVersionInfoW: the version block, at most size bytes.
bool GetFileVersionInfo(const String& path, uint32_t size, std::vector<uint8_t>* block);
// VerQueryValueW on a block from GetFileVersionInfo: "\" (the fixed file
// info), "\VarFileInfo\Translation", "\StringFileInfo\<lang><cp>\<name>"
// (names compared ignoring case). pointer and length describe the answer
// inside block: for strings the length counts UTF-16 characters including the
// terminator, otherwise bytes.
bool VerQueryValue(const std::vector<uint8_t>& block, const String& subBlock,
                   const void** pointer, uint32_t* length);
// VerLanguageNameW: the language's name ("Français (France)"), or
// "Langue inconnue" for an unknown code.
String VerLanguageName(uint32_t languageId);

}  // namespace platform
