// The version resource of a PE file (VS_VERSIONINFO) and the queries Windows
// answers on it, over any byte source, so that the same code serves files,
// tests and the fuzzer.
//
// The resource is taken as Windows' GetFileVersionInfoW takes it: type
// RT_VERSION, name 1 (VS_VERSION_INFO), and among its languages the neutral
// one, then French, then English (United States), else the first; this is the
// order a French Windows tries.
//
// What this promises on bad input: the block is a tree of nodes
// (wLength, wValueLength, wType, key, value, children) and every node, key
// and value is checked against its parent and the block before it is read, so
// a truncated block, a length that points past the end, a key without its
// terminator or a node of length zero gives "not found", never a read outside
// the block. A value that claims more than its node holds is reported with
// the length that fits. Nothing here writes or allocates more than the size
// the caller asks for.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/prefix/pe_image.h"
#include "platform/prefix/pe_resources.h"

namespace platform::pe {

// A version resource is a block whose lengths are 16-bit, so anything much
// larger is damage, not data; refusing it keeps a forged size from asking for
// gigabytes.
inline constexpr uint32_t kMaxVersionResourceSize = 1u << 20;

// Finds the version resource of the image in source: kErrorSuccess with its
// location, or the error GetFileVersionInfoSizeW gives: kErrorBadExeFormat for
// data that is not a PE image, kErrorResourceDataNotFound for an image without
// resources, kErrorResourceTypeNotFound without a version resource,
// kErrorResourceNameNotFound when it is not named 1, kErrorBadFormat when the
// resources are damaged or the resource is larger than
// kMaxVersionResourceSize.
uint32_t FindVersionResource(const ByteSource& source, ResourceLocation* location);

// What GetFileVersionInfoSizeW answers for a resource of resourceSize bytes:
// twice the resource and four bytes, the room Windows keeps for the ANSI copy
// of the strings and its "FE2X" signature.
uint32_t VersionInfoSizeFor(uint32_t resourceSize);

// GetFileVersionInfoW's block: size bytes, zero-filled, holding the first
// min(size, resource size) bytes of the resource, then "FE2X" right after the
// version block when there is room for it. False when the bytes cannot be
// read.
bool CopyVersionBlock(const ByteSource& source, const ResourceLocation& location, uint32_t size,
                      std::vector<uint8_t>* block);

// One answer of VerQueryValueW: where the value starts in the block and its
// length as the block gives it (UTF-16 characters for text values, bytes
// otherwise), cut to what the node holds. A caller cannot tell the unit from
// the path alone: a damaged block may put a binary value where text belongs.
struct VersionValue {
  size_t offset = 0;
  uint32_t length = 0;
  size_t bytes = 0;  // the extent of the value: length in bytes, whatever its unit
};

// VerQueryValueW: subBlock is a path of keys separated by backslashes
// ("\" for the fixed file info, "\VarFileInfo\Translation",
// "\StringFileInfo\040C04E4\FileVersion"); keys are compared ignoring case,
// empty components are skipped and an empty path means "\". kErrorSuccess
// with the value, kErrorResourceTypeNotFound when a key is missing, or
// kErrorInvalidData when the block is not a 32-bit version block.
uint32_t QueryVersionValue(std::span<const uint8_t> block, std::u16string_view subBlock, VersionValue* value);

}  // namespace platform::pe
