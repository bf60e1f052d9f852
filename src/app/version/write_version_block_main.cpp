// kelvaro-write-version-block OUT.cpp VERSION: writes the wizard's version
// resource (VS_VERSIONINFO, French, Windows-1252) as C++ source that puts
// the block in the program's ELF section of that name, where the version
// functions of the prefix look for a program's own version. VERSION is the
// project's version ("1.0" is 1.0.0.0). The file is written beside its place
// and renamed over it, so an interrupted build never leaves half a block to
// compile.
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/prefix/elf_sections.h"
#include "version_block.h"

namespace {

std::u16string Dotted(const std::array<uint16_t, 4>& words) {
  std::string text;
  for (uint16_t word : words) text += (text.empty() ? "" : ".") + std::to_string(word);
  return std::u16string(text.begin(), text.end());
}

kelvaro::VersionBlockContent ProgramVersion(const std::array<uint16_t, 4>& version) {
  kelvaro::VersionBlockContent content;
  content.fileVersion = version;
  content.productVersion = version;
  content.strings = {
      {u"CompanyName", u"Kelvaro"},
      {u"FileDescription", u"Mise \u00e0 jour Kelvaro"},
      {u"FileVersion", Dotted(version)},
      {u"InternalName", u"kelvaro-update"},
      {u"OriginalFileName", u"kelvaro-update"},
      {u"ProductName", u"Kelvaro"},
      {u"ProductVersion", Dotted(version)},
  };
  return content;
}

bool WriteSource(const std::vector<uint8_t>& block, const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "// Written by kelvaro-write-version-block when the wizard is built: the\n"
         "// program's version resource, in the ELF section the version functions\n"
         "// read.\n\n"
         "extern \"C\" __attribute__((used, aligned(4), section(\""
      << platform::elf::kVersionSection << "\")))\nconst unsigned char kelvaro_program_version[] = {\n";
  for (size_t i = 0; i < block.size(); ++i) out << int(block[i]) << ((i % 24 == 23) ? ",\n" : ",");
  out << "\n};\n";
  out.close();
  return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
  std::array<uint16_t, 4> version{};
  if (argc != 3 || !kelvaro::ParseVersionWords(argv[2], &version)) {
    std::fprintf(stderr, "usage: kelvaro-write-version-block OUT.cpp VERSION (1 to 4 numbers: 1.0, 1.2.3.4)\n");
    return 64;
  }
  const std::string target = argv[1];
  const std::string temporary = target + ".part";
  if (!WriteSource(kelvaro::WriteVersionBlock(ProgramVersion(version)), temporary) ||
      std::rename(temporary.c_str(), target.c_str()) != 0) {
    std::remove(temporary.c_str());
    std::fprintf(stderr, "kelvaro-write-version-block: cannot write %s\n", target.c_str());
    return 1;
  }
  return 0;
}
