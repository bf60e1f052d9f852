// Holds a file open without sharing, as a running program holds its DLL, so
// that a script can ask both implementations whether the file is in use.
// Usage: file_holder PATH SECONDS; prints "held" once the file is open.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: file_holder PATH SECONDS\n");
    return 2;
  }
  const std::string path = argv[1];
  const std::wstring wide(path.begin(), path.end());  // ASCII paths
  HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "cannot open %s: error %lu\n", argv[1], ::GetLastError());
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  ::Sleep(DWORD(std::atoi(argv[2])) * 1000);
  ::CloseHandle(file);
  return 0;
}
