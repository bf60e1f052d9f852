// The least a reader of a registry file can do and still see every key:
// map the prefix's system.reg as the registry layer maps it, find the lines
// that start with '[', and end. No Qt, no libraries of the project, no
// names read: what this costs a fresh process beyond the same run on a tiny
// file is what any reader that reads every key line from the file pays at
// start, and the registry benchmark prints it beside the tool's own figure.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (!prefix) return 2;
  const std::string path = std::string(prefix) + "/system.reg";
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || st.st_size == 0) return 1;
  const auto size = static_cast<size_t>(st.st_size);
  void* at = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
  if (at == MAP_FAILED) return 1;
  const char* p = static_cast<const char*>(at);
  const char* const end = p + size;
  size_t keyLines = 0;
  while (const void* bracket = std::memchr(p, '[', static_cast<size_t>(end - p))) {
    const char* b = static_cast<const char*>(bracket);
    if (b == static_cast<const char*>(at) || b[-1] == '\n') ++keyLines;
    p = b + 1;
  }
  std::printf("%zu\n", keyLines);
  return 0;
}
