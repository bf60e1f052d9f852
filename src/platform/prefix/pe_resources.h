// The resource directory of a PE image: the three-level tree (type, name,
// language) that ends in the data entry of one resource.
//
// What this promises on bad input: the walk takes exactly three steps from
// the root, each reading one directory whose entries are checked against the
// section that holds them, so a directory that points back at itself or at an
// ancestor cannot make it loop; it only meets the wrong kind of entry (a
// directory where the data entry should be), which is reported as
// kErrorBadFormat. Offsets outside the section or the file, and data that does
// not fit in the file, are kErrorBadFormat too. Nothing here writes.
#pragma once

#include <cstdint>
#include <span>

#include "platform/prefix/pe_image.h"

namespace platform::pe {

inline constexpr uint16_t kResourceTypeVersion = 16;  // RT_VERSION

// Where one resource's bytes are in the file.
struct ResourceLocation {
  uint64_t fileOffset = 0;
  uint32_t size = 0;
};

// Finds the resource of numeric type and numeric name. The language is the
// first of languages that the resource has, else its first language.
// kErrorSuccess with the location, or:
// - kErrorResourceDataNotFound: the image has no resource directory;
// - kErrorResourceTypeNotFound: no resource of that type;
// - kErrorResourceNameNotFound: none of that name, or no language at all;
// - kErrorBadFormat: the directory or the data entry is damaged.
uint32_t FindResource(const PeImage& image, uint16_t type, uint16_t name, std::span<const uint16_t> languages,
                      ResourceLocation* location);

}  // namespace platform::pe
