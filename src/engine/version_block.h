// A file's version block, read once through the platform's version services
// and queried safely.
//
// What this promises on bad input: the answers of VerQueryValue are used only
// within the block: a string is cut at its terminator and at the end of the
// block, the translation table needs its four bytes, and the fixed file info
// needs its full 52 bytes and its signature. A file that cannot be read or has
// no version resource is simply "no block". Nothing here writes.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace kelvaro {

struct FixedFileVersion {
  uint32_t fileVersionMS = 0;
  uint32_t fileVersionLS = 0;
};

class VersionBlock {
 public:
  // The version block of FileName (size query, then read), or nothing when
  // the size is 0 or the read fails.
  static std::optional<VersionBlock> Read(const QString& FileName);

  // The translation key of the first entry of "\VarFileInfo\Translation":
  // language then code page, each as 4 upper-case hexadecimal digits
  // ("040C04E4"); empty when there is no table.
  QString translationKey() const;
  // The string at subBlock; nothing when it is absent.
  std::optional<QString> string(const QString& subBlock) const;
  // The file-version words of the fixed file info ("\"); nothing when it is
  // absent, shorter than the structure, or without its signature.
  std::optional<FixedFileVersion> fixedFileVersion() const;

 private:
  explicit VersionBlock(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  // Bytes from pointer to the end of the block (0 when it lies outside).
  size_t bytesAfter(const void* pointer) const;
  bool query(const QString& subBlock, const uint8_t** pointer, uint32_t* length) const;

  std::vector<uint8_t> bytes_;
};

}  // namespace kelvaro
