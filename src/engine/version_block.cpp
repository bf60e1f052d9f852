#include "engine/version_block.h"

#include <algorithm>
#include <cstring>

#include "platform/module_resources.h"
#include "support/text.h"

namespace kelvaro {
namespace {

constexpr size_t kFixedFileInfoSize = 52;  // VS_FIXEDFILEINFO
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

uint32_t Read32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace

std::optional<VersionBlock> VersionBlock::Read(const QString& FileName) {
  const platform::String path = toW(FileName);
  const uint32_t size = platform::GetFileVersionInfoSize(path);
  if (size == 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  if (!platform::GetFileVersionInfo(path, size, &bytes)) return std::nullopt;
  return VersionBlock(std::move(bytes));
}

size_t VersionBlock::bytesAfter(const void* pointer) const {
  const auto* p = static_cast<const uint8_t*>(pointer);
  const uint8_t* begin = bytes_.data();
  const uint8_t* end = begin + bytes_.size();
  // Compared as addresses so that an answer outside the block counts as empty.
  const auto address = reinterpret_cast<uintptr_t>(p);
  if (address < reinterpret_cast<uintptr_t>(begin) || address > reinterpret_cast<uintptr_t>(end)) return 0;
  return size_t(end - p);
}

bool VersionBlock::query(const QString& subBlock, const uint8_t** pointer, uint32_t* length) const {
  const void* found = nullptr;
  uint32_t foundLength = 0;
  if (!platform::VerQueryValue(bytes_, toW(subBlock), &found, &foundLength) || !found) return false;
  *pointer = static_cast<const uint8_t*>(found);
  *length = foundLength;
  return true;
}

QString VersionBlock::translationKey() const {
  const uint8_t* pointer = nullptr;
  uint32_t length = 0;
  if (!query(QStringLiteral("\\VarFileInfo\\Translation"), &pointer, &length)) return QString();
  if (length < 4 || bytesAfter(pointer) < 4) return QString();
  const uint32_t entry = Read32(pointer);
  const auto hex4 = [](uint32_t half) { return QString::number(half, 16).rightJustified(4, QLatin1Char('0')); };
  return (hex4(entry & 0xFFFF) + hex4(entry >> 16)).toUpper();
}

std::optional<QString> VersionBlock::string(const QString& subBlock) const {
  const uint8_t* pointer = nullptr;
  uint32_t length = 0;
  if (!query(subBlock, &pointer, &length)) return std::nullopt;
  const size_t characters = std::min<size_t>(length, bytesAfter(pointer) / 2);
  std::u16string text(characters, u'\0');
  if (characters != 0) std::memcpy(text.data(), pointer, characters * 2);
  text.resize(std::min(text.size(), text.find(u'\0')));
  return QString::fromStdU16String(text);
}

std::optional<FixedFileVersion> VersionBlock::fixedFileVersion() const {
  const uint8_t* pointer = nullptr;
  uint32_t length = 0;
  if (!query(QStringLiteral("\\"), &pointer, &length)) return std::nullopt;
  if (length < kFixedFileInfoSize || bytesAfter(pointer) < kFixedFileInfoSize) return std::nullopt;
  if (Read32(pointer) != kFixedFileInfoSignature) return std::nullopt;
  return FixedFileVersion{Read32(pointer + 8), Read32(pointer + 12)};
}

}  // namespace kelvaro
