// Writing a version resource block (VS_VERSIONINFO): the fixed file info,
// the strings of one translation and the translation table, laid out as
// Windows' version functions read it. The wizard is built with one, so that
// it can show its own version where the system keeps no version resources.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kelvaro {

struct VersionBlockContent {
  std::array<uint16_t, 4> fileVersion{};     // 1.0.0.0 is {1, 0, 0, 0}
  std::array<uint16_t, 4> productVersion{};
  uint16_t language = 0x040C;  // French (France)
  uint16_t codePage = 0x04E4;  // Windows-1252
  std::vector<std::pair<std::u16string, std::u16string>> strings;  // name, value, in order
};

// The block, ready to be carried as the program's version resource.
std::vector<uint8_t> WriteVersionBlock(const VersionBlockContent& content);

// "1.0" or "1.2.3.4" as four version words, missing ones 0. False for text
// that is not one to four numbers of 0 to 65535 separated by dots.
bool ParseVersionWords(const std::string& text, std::array<uint16_t, 4>* words);

}  // namespace kelvaro
