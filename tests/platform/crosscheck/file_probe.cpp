// Asks the platform layer about one file and prints the Win32 code it
// answers, so that a shell script can put the same question to both
// implementations over one Wine prefix. Usage:
//   file_probe exclusive PATH     TryOpenExclusive
//   file_probe write PATH         WriteFileContents (a few bytes)
//   file_probe copy SOURCE TARGET CopyFile over an existing target
// PATH is a Windows path ("C:\...").
#include <cstdio>
#include <string>

#include "platform/files.h"

namespace {

// The paths given are ASCII Windows paths.
platform::String Windows(const char* path) {
  platform::String out;
  for (const char* p = path; *p; ++p) out.push_back(char16_t(static_cast<unsigned char>(*p)));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: file_probe exclusive|write PATH | copy SOURCE TARGET\n");
    return 2;
  }
  const std::string mode = argv[1];
  uint32_t code = 0;
  if (mode == "exclusive") {
    code = platform::TryOpenExclusive(Windows(argv[2]));
  } else if (mode == "write") {
    code = platform::WriteFileContents(Windows(argv[2]), "probe") ? 0 : platform::GetLastError();
  } else if (mode == "copy" && argc == 4) {
    code = platform::CopyFile(Windows(argv[2]), Windows(argv[3]), false) ? 0 : platform::GetLastError();
  } else {
    std::fprintf(stderr, "unknown mode %s\n", argv[1]);
    return 2;
  }
  std::printf("%u\n", code);
  return 0;
}
