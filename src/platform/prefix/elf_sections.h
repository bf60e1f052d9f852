// The named sections of an ELF file (64-bit, little-endian: the programs
// built here), for the one where a program keeps its version resource.
//
// Linux programs have no PE resources. The wizard is built with its
// VS_VERSIONINFO block in a section of its own (kVersionSection), and the
// version functions of the prefix read a program's block there, so that the
// wizard can show its own version as it does on Windows.
//
// What this promises on bad input: as pe_image.h, every offset, size and
// count taken from the file is checked against the file's size in 64-bit
// arithmetic before it is used; a file that is not such an ELF file, or a
// damaged one, gives "not found", never a read outside the data.
#pragma once

#include <string_view>

#include "platform/prefix/pe_image.h"
#include "platform/prefix/pe_resources.h"

namespace platform::elf {

inline constexpr char kVersionSection[] = ".kelvaro.version";

// Finds the section called name that has bytes in the file: true with where
// they are and how many.
bool FindSection(const pe::ByteSource& source, std::string_view name, pe::ResourceLocation* location);

}  // namespace platform::elf
