#include "platform/prefix/version_resource.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace platform::pe {
namespace {

constexpr uint16_t kVersionInfoName = 1;  // VS_VERSION_INFO
constexpr uint16_t kNodeHeaderSize = 6;   // wLength, wValueLength, wType
constexpr char kAnsiSignature[4] = {'F', 'E', '2', 'X'};

// The languages a French Windows tries first, before taking the first one the
// resource has: neutral, French (France), French (neutral sublanguage),
// English (United States).
constexpr std::array<uint16_t, 4> kLanguagePreference = {0x0000, 0x040C, 0x000C, 0x0409};

size_t AlignFrom(size_t base, size_t position) { return base + ((position - base + 3) & ~size_t(3)); }

// One node of the block, with every position checked to lie in [start, end).
struct Node {
  size_t start = 0;
  size_t end = 0;        // start + wLength, cut to the parent's end
  size_t advance = 0;    // wLength rounded up to 4: where the next sibling starts
  size_t keyStart = 0;
  size_t keyLength = 0;  // UTF-16 units, terminator excluded
  size_t valueStart = 0;
  uint32_t valueLength = 0;  // as declared, cut to what the node holds
  size_t valueBytes = 0;     // valueLength in bytes
  size_t childrenStart = 0;
};

std::optional<Node> ReadNode(std::span<const uint8_t> block, size_t start, size_t limit) {
  if (start >= limit || limit - start < kNodeHeaderSize) return std::nullopt;
  const uint16_t length = ReadU16(block.data() + start);
  const uint16_t declaredValue = ReadU16(block.data() + start + 2);
  const uint16_t type = ReadU16(block.data() + start + 4);
  if (length < kNodeHeaderSize) return std::nullopt;

  Node node;
  node.start = start;
  node.end = std::min(start + length, limit);
  node.advance = (size_t(length) + 3) & ~size_t(3);
  node.keyStart = start + kNodeHeaderSize;
  size_t position = node.keyStart;
  while (true) {
    if (node.end - position < 2) return std::nullopt;  // no terminator inside the node
    if (ReadU16(block.data() + position) == 0) break;
    position += 2;
  }
  node.keyLength = (position - node.keyStart) / 2;

  // Text values count UTF-16 characters, binary ones bytes.
  const size_t unit = type != 0 ? 2 : 1;
  const size_t declaredBytes = size_t(declaredValue) * unit;
  node.valueStart = std::min(AlignFrom(start, position + 2), node.end);
  node.valueLength = uint32_t(std::min(declaredBytes, node.end - node.valueStart) / unit);
  node.valueBytes = node.valueLength * unit;
  node.childrenStart = AlignFrom(start, node.valueStart + declaredBytes);
  return node;
}

char16_t Fold(char16_t c) {
  if (c >= u'a' && c <= u'z') return char16_t(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 0x20);
  return c;
}

bool KeyEquals(std::span<const uint8_t> block, const Node& node, std::u16string_view key) {
  if (node.keyLength != key.size()) return false;
  for (size_t i = 0; i < key.size(); ++i) {
    if (Fold(char16_t(ReadU16(block.data() + node.keyStart + 2 * i))) != Fold(key[i])) return false;
  }
  return true;
}

std::optional<Node> FindChild(std::span<const uint8_t> block, const Node& parent, std::u16string_view key) {
  // Every sibling advances by at least 8 bytes (a node is at least 6 long),
  // so the walk ends within the parent.
  for (size_t position = parent.childrenStart; position < parent.end;) {
    const auto child = ReadNode(block, position, parent.end);
    if (!child) return std::nullopt;
    if (KeyEquals(block, *child, key)) return child;
    position += child->advance;
  }
  return std::nullopt;
}

}  // namespace

uint32_t FindVersionResource(const ByteSource& source, ResourceLocation* location) {
  PeImage image;
  if (const uint32_t error = image.open(source)) return error;
  if (const uint32_t error = FindResource(image, kResourceTypeVersion, kVersionInfoName, kLanguagePreference, location)) {
    return error;
  }
  if (location->size > kMaxVersionResourceSize) return kErrorBadFormat;
  return kErrorSuccess;
}

uint32_t VersionInfoSizeFor(uint32_t resourceSize) { return resourceSize * 2 + sizeof kAnsiSignature; }

bool CopyVersionBlock(const ByteSource& source, const ResourceLocation& location, uint32_t size,
                      std::vector<uint8_t>* block) {
  block->assign(size, 0);
  const uint32_t copied = std::min(size, location.size);
  if (!source.read(location.fileOffset, block->data(), copied)) return false;
  if (copied >= 2) {
    const size_t versionLength = ReadU16(block->data());
    if (size >= versionLength + sizeof kAnsiSignature) {
      std::memcpy(block->data() + versionLength, kAnsiSignature, sizeof kAnsiSignature);
    }
  }
  return true;
}

uint32_t QueryVersionValue(std::span<const uint8_t> block, std::u16string_view subBlock, VersionValue* value) {
  // A 16-bit block (from NE files) has its key where a 32-bit one has wType.
  if (block.size() < kNodeHeaderSize || block[4] >= 0x20) return kErrorInvalidData;
  auto node = ReadNode(block, 0, block.size());
  if (!node) return kErrorInvalidData;

  size_t position = 0;
  while (position < subBlock.size()) {
    const size_t next = std::min(subBlock.find(u'\\', position), subBlock.size());
    if (next > position) {
      node = FindChild(block, *node, subBlock.substr(position, next - position));
      if (!node) return kErrorResourceTypeNotFound;
    }
    position = next + 1;
  }
  value->offset = node->valueStart;
  value->length = node->valueLength;
  value->bytes = node->valueBytes;
  return kErrorSuccess;
}

}  // namespace platform::pe
