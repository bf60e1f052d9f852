#include "version_block.h"

#include <charconv>

namespace kelvaro {
namespace {

constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kFixedInfoStructVersion = 0x00010000;
constexpr uint32_t kFileFlagsMask = 0x3F;
constexpr uint32_t kWindowsNt32 = 0x00040004;  // VOS_NT_WINDOWS32
constexpr uint32_t kApplication = 1;           // VFT_APP
constexpr uint16_t kBinaryValue = 0;
constexpr uint16_t kTextValue = 1;

void Put16(std::vector<uint8_t>* out, uint16_t value) {
  out->push_back(uint8_t(value));
  out->push_back(uint8_t(value >> 8));
}

void Put32(std::vector<uint8_t>* out, uint32_t value) {
  Put16(out, uint16_t(value));
  Put16(out, uint16_t(value >> 16));
}

void PutText(std::vector<uint8_t>* out, const std::u16string& text) {
  for (char16_t c : text) Put16(out, c);
  Put16(out, 0);
}

void Align(std::vector<uint8_t>* out) {
  while (out->size() % 4) out->push_back(0);
}

// One node: wLength, wValueLength, wType, the key, the value and the
// children, each part starting on a 32-bit boundary. wLength covers the node
// from its first byte to the end of its last part.
class Node {
 public:
  Node(std::vector<uint8_t>* out, const std::u16string& key, uint16_t type) : out_(out), start_(out->size()) {
    Put16(out_, 0);  // wLength, set by end()
    Put16(out_, 0);  // wValueLength, set by a value
    Put16(out_, type);
    PutText(out_, key);
    Align(out_);
  }

  void binaryValue(const std::vector<uint8_t>& bytes) {
    setValueLength(uint16_t(bytes.size()));
    out_->insert(out_->end(), bytes.begin(), bytes.end());
  }

  void textValue(const std::u16string& text) {
    setValueLength(uint16_t(text.size() + 1));  // characters, terminator included
    PutText(out_, text);
  }

  // Closes the node; the next sibling starts on a 32-bit boundary.
  void end() {
    const size_t length = out_->size() - start_;
    (*out_)[start_] = uint8_t(length);
    (*out_)[start_ + 1] = uint8_t(length >> 8);
    Align(out_);
  }

 private:
  void setValueLength(uint16_t length) {
    (*out_)[start_ + 2] = uint8_t(length);
    (*out_)[start_ + 3] = uint8_t(length >> 8);
  }

  std::vector<uint8_t>* out_;
  size_t start_;
};

std::vector<uint8_t> FixedFileInfo(const VersionBlockContent& content) {
  const auto high = [](const std::array<uint16_t, 4>& v) { return uint32_t(v[0]) << 16 | v[1]; };
  const auto low = [](const std::array<uint16_t, 4>& v) { return uint32_t(v[2]) << 16 | v[3]; };
  std::vector<uint8_t> info;
  for (uint32_t word : {kFixedInfoSignature, kFixedInfoStructVersion, high(content.fileVersion),
                        low(content.fileVersion), high(content.productVersion), low(content.productVersion),
                        kFileFlagsMask, 0u, kWindowsNt32, kApplication, 0u, 0u, 0u}) {
    Put32(&info, word);
  }
  return info;
}

std::u16string Hex4(uint16_t value) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string text;
  for (int shift = 12; shift >= 0; shift -= 4) text.push_back(kDigits[(value >> shift) & 0xF]);
  return text;
}

}  // namespace

std::vector<uint8_t> WriteVersionBlock(const VersionBlockContent& content) {
  std::vector<uint8_t> out;
  Node root(&out, u"VS_VERSION_INFO", kBinaryValue);
  root.binaryValue(FixedFileInfo(content));
  Align(&out);

  Node fileInfo(&out, u"StringFileInfo", kTextValue);
  Node table(&out, Hex4(content.language) + Hex4(content.codePage), kTextValue);
  for (const auto& [name, value] : content.strings) {
    Node entry(&out, name, kTextValue);
    entry.textValue(value);
    entry.end();
  }
  table.end();
  fileInfo.end();

  Node varInfo(&out, u"VarFileInfo", kTextValue);
  Node translation(&out, u"Translation", kBinaryValue);
  std::vector<uint8_t> pair;
  Put16(&pair, content.language);
  Put16(&pair, content.codePage);
  translation.binaryValue(pair);
  translation.end();
  varInfo.end();

  root.end();
  return out;
}

bool ParseVersionWords(const std::string& text, std::array<uint16_t, 4>* words) {
  std::array<uint16_t, 4> parsed{};
  const char* p = text.data();
  const char* end = p + text.size();
  for (size_t i = 0; i < parsed.size(); ++i) {
    const auto [next, error] = std::from_chars(p, end, parsed[i]);
    if (error != std::errc() || next == p) return false;
    p = next;
    if (p == end) {
      *words = parsed;
      return true;
    }
    if (*p != '.') return false;
    ++p;
  }
  return false;  // a fifth number, or a dot at the end
}

}  // namespace kelvaro
