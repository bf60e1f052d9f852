// libFuzzer target of the PE version reader: the input is taken both as a
// whole file (headers, sections, resource directory, then the block found;
// or, for an ELF file, its version section) and as a version block on its
// own, and every query the updater makes is asked of the block. AddressSanitizer reports any read outside the input or
// the block.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/prefix/elf_sections.h"
#include "platform/prefix/version_resource.h"

namespace {

constexpr std::u16string_view kQueries[] = {
    u"\\",
    u"\\VarFileInfo\\Translation",
    u"\\StringFileInfo\\040C04E4\\FileVersion",
    u"\\StringFileInfo\\040904B0\\CompanyName",
    u"\\\\StringFileInfo\\\\000004B0\\LegalTradeMark\\",
};

// Touches every byte of each answer so that a range that leaves the block is
// caught where it is read.
void QueryAll(std::span<const uint8_t> block) {
  volatile uint8_t sink = 0;
  for (std::u16string_view query : kQueries) {
    platform::pe::VersionValue value;
    if (platform::pe::QueryVersionValue(block, query, &value) != platform::kErrorSuccess) continue;
    for (size_t i = 0; i < value.bytes; ++i) sink = sink ^ block[value.offset + i];
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  QueryAll(input);

  const platform::pe::MemorySource source(input);
  platform::pe::ResourceLocation location;
  if (platform::pe::FindVersionResource(source, &location) != platform::kErrorSuccess) {
    // What the version functions take from an ELF file: a section inside it.
    if (!platform::elf::FindSection(source, platform::elf::kVersionSection, &location)) return 0;
    if (location.fileOffset > size || location.size > size - location.fileOffset) __builtin_trap();
    location.size = std::min<uint32_t>(location.size, platform::pe::kMaxVersionResourceSize);
  }
  std::vector<uint8_t> block;
  if (!platform::pe::CopyVersionBlock(source, location, platform::pe::VersionInfoSizeFor(location.size), &block)) {
    return 0;
  }
  QueryAll(block);
  return 0;
}
