// Named data resources (RT_RCDATA) of an executable and version resources of
// any PE file.
//
// On Windows these are the module's own resources. On Linux the packager
// appends named blobs to the executable, with an index at the end of the
// file, so that a resource is found by name without reading any other
// resource's data.
#pragma once

#include <array>
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
// module cannot be read (on Linux, kErrorInvalidData when the index of the
// appended resources is damaged).
std::unique_ptr<ResourceData> FindDataResource(const String& name);

// Names of every data resource of the module, as stored (upper case).
std::vector<String> ListDataResources();

// What the packager stored to prove the data resources whole: a SHA-256
// digest of each resource's stored bytes and, when the update was signed, a
// signature over the index that holds those digests. The platform only hands
// the bytes over; checking them is the engine's business.
using ResourceDigest = std::array<uint8_t, 32>;

struct ResourceSeal {
  struct Resource {
    String name;  // as stored (upper case)
    ResourceDigest digest{};
  };
  bool hasDigests = false;  // false for updates packed before digests
  std::vector<Resource> resources;
  std::string signedBytes;  // the bytes a signature covers
  std::string signature;    // empty when not signed
};

// The module's seal. False with the last error set when the module cannot
// be read or its container is damaged. A module without resources, or whose
// resources carry no digests (Windows resources, older updates), gives
// hasDigests false and no signature.
bool ReadResourceSeal(ResourceSeal* seal);

// --- Version resources --------------------------------------------------------
//
// The version resource (VS_VERSIONINFO) of a PE file, 32- or 64-bit. Nothing
// is cached: every call reads the file again. A damaged file is never trusted:
// its resource is "not found", never a read outside the file or the block.

// GetFileVersionInfoSizeW: the size of buffer GetFileVersionInfo needs
// (Windows answers twice the resource and four bytes), or 0 with last error
// set: kErrorFileNotFound / kErrorPathNotFound for a missing file,
// kErrorAccessDenied for a folder, kErrorBadExeFormat for a file that is not a
// PE image, kErrorResourceDataNotFound for an image without resources,
// kErrorResourceTypeNotFound without a version resource, kErrorBadFormat for
// damaged resources. (Wine gives kErrorResourceDataNotFound for all of these
// but the first two.) A bare file name ("gds32.dll") is looked for where a
// library of that name is loaded from: the folder of the running program, the
// system folder, the Windows folder.
uint32_t GetFileVersionInfoSize(const String& path);
// GetFileVersionInfoW: block becomes size bytes holding the version block (as
// much of it as fits), zero-filled after it. False with last error set as for
// GetFileVersionInfoSize, or kErrorInvalidData when size is 0.
bool GetFileVersionInfo(const String& path, uint32_t size, std::vector<uint8_t>* block);
// VerQueryValueW on a block from GetFileVersionInfo: "\" (the fixed file
// info, VS_FIXEDFILEINFO), "\VarFileInfo\Translation",
// "\StringFileInfo\<lang><cp>\<name>" (keys compared ignoring case). pointer
// and length describe the answer inside block: for strings the length counts
// UTF-16 characters including the terminator, otherwise bytes. False with
// kErrorResourceTypeNotFound (and length 0) when the path is not there.
// Windows does not check the fixed file info's signature: callers do.
bool VerQueryValue(const std::vector<uint8_t>& block, const String& subBlock,
                   const void** pointer, uint32_t* length);
// VerLanguageNameW: the language's name as a French Windows gives it
// ("Français (France)", "Langue neutre" for 0), or "Langue inconnue" for an
// unknown code. (Wine gives English names.)
String VerLanguageName(uint32_t languageId);

}  // namespace platform
