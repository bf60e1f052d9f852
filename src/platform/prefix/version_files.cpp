// GetFileVersionInfoSize, GetFileVersionInfo and VerQueryValue over the
// prefix: the file is found and opened through the file services, then read
// piece by piece by the PE reader (or, for a program built here for Linux,
// from its version section); nothing is cached, so every call sees the file
// as it is now.
#include <memory>

#include "platform/files.h"
#include "platform/module_resources.h"
#include "platform/prefix/elf_sections.h"
#include "platform/prefix/version_resource.h"

namespace platform {
namespace {

bool IsBareName(const String& path) { return path.find_first_of(u"\\/:") == String::npos; }

String FolderOf(const String& path) {
  const size_t slash = path.find_last_of(u'\\');
  return slash == String::npos ? String() : path.substr(0, slash + 1);
}

// A bare library name is looked for where Windows loads a library from: the
// folder of the running program, the system folder, the Windows folder.
String LocateLibrary(const String& name) {
  std::vector<String> folders;
  if (const String program = GetModuleFileName(); !program.empty()) folders.push_back(FolderOf(program));
  if (const String windows = GetWindowsDirectory(); !windows.empty()) {
    folders.push_back(windows + u"\\system32\\");
    folders.push_back(windows + u"\\");
  }
  for (const String& folder : folders) {
    if (!folder.empty() && FileExists(folder + name)) return folder + name;
  }
  return String();
}

// Opens the file named by path for reading: kErrorSuccess, or the error
// CreateFileW would give (a folder cannot be opened as a file).
uint32_t OpenFile(const String& path, pe::FileSource* source) {
  if (path.empty()) return kErrorBadPathname;
  String resolved = path;
  if (IsBareName(path)) {
    resolved = LocateLibrary(path);
    if (resolved.empty()) return kErrorFileNotFound;
  }
  const uint32_t attributes = GetFileAttributes(resolved);
  if (attributes == kInvalidFileAttributes) {
    const uint32_t error = GetLastError();
    return error != kErrorSuccess ? error : kErrorFileNotFound;
  }
  if (attributes & kAttributeDirectory) return kErrorAccessDenied;
  const std::string host = ToNativePath(resolved);
  if (host.empty() || !source->open(host)) return kErrorAccessDenied;
  return kErrorSuccess;
}

uint32_t LocateVersion(const String& path, pe::FileSource* source, pe::ResourceLocation* location) {
  if (const uint32_t error = OpenFile(path, source)) return error;
  const uint32_t error = pe::FindVersionResource(*source, location);
  // Not a PE file: a program built here for Linux keeps its block in a
  // section of its own.
  if (error == kErrorBadExeFormat && elf::FindSection(*source, elf::kVersionSection, location) &&
      location->size > 0) {
    return location->size <= pe::kMaxVersionResourceSize ? kErrorSuccess : kErrorBadFormat;
  }
  return error;
}

}  // namespace

uint32_t GetFileVersionInfoSize(const String& path) {
  pe::FileSource source;
  pe::ResourceLocation location;
  if (const uint32_t error = LocateVersion(path, &source, &location)) {
    SetLastError(error);
    return 0;
  }
  SetLastError(kErrorSuccess);
  return pe::VersionInfoSizeFor(location.size);
}

bool GetFileVersionInfo(const String& path, uint32_t size, std::vector<uint8_t>* block) {
  if (size == 0) {
    SetLastError(kErrorInvalidData);
    return false;
  }
  pe::FileSource source;
  pe::ResourceLocation location;
  if (const uint32_t error = LocateVersion(path, &source, &location)) {
    SetLastError(error);
    return false;
  }
  if (!pe::CopyVersionBlock(source, location, size, block)) {
    SetLastError(kErrorReadFault);
    return false;
  }
  SetLastError(kErrorSuccess);
  return true;
}

bool VerQueryValue(const std::vector<uint8_t>& block, const String& subBlock, const void** pointer,
                   uint32_t* length) {
  pe::VersionValue value;
  if (const uint32_t error = pe::QueryVersionValue(block, subBlock, &value)) {
    *length = 0;
    SetLastError(error);
    return false;
  }
  *pointer = block.data() + value.offset;
  *length = value.length;
  return true;
}

}  // namespace platform
