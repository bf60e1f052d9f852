// Encoders and decoders of registry data as RegQueryValueExW hands it out.
// Portable: the same bytes travel through the prefix and the Win32 layers.
#include "platform/registry.h"

namespace platform {

std::string RegistryStringData(const String& text) {
  std::string data;
  data.reserve((text.size() + 1) * 2);
  for (char16_t c : text) {
    data.push_back(static_cast<char>(c & 0xFF));
    data.push_back(static_cast<char>(c >> 8));
  }
  data.append(2, '\0');
  return data;
}

std::string RegistryDwordData(uint32_t value) {
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return data;
}

String RegistryDataString(const std::string& data) {
  String text;
  text.reserve(data.size() / 2);
  // An odd trailing byte cannot hold a character: Windows ignores it too.
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t c = static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                       (static_cast<unsigned char>(data[i + 1]) << 8));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

uint32_t RegistryDataDword(const std::string& data) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4 && i < data.size(); ++i) value |= uint32_t(static_cast<unsigned char>(data[i])) << (8 * i);
  return value;
}

}  // namespace platform
