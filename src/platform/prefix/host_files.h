// Small pieces shared by the file functions: a Windows path resolved and
// looked at, attributes and times as Windows shows them.
#pragma once

#include <sys/stat.h>

#include <string>

#include "platform/win_types.h"

namespace platform::prefix {

// Resolves path and stats what it names (following links); false with the
// Win32 error set when the path is invalid or nothing is there.
bool ResolveExisting(const String& path, std::string* hostPath, struct stat* status);
// Same for a folder whose entries are wanted: a missing folder is a missing
// path (3), and a file in its place too.
bool ResolveFolder(const String& path, std::string* hostPath);

// Read-only, as Wine shows it: nobody may write (no write permission bit).
bool IsReadOnlyMode(mode_t mode);
// Attributes as Wine shows them: folders are directories, files archives;
// read-only from the permission bits; names starting with a dot hidden.
uint32_t AttributesOf(const struct stat& status, const std::string& name);

FileTime FileTimeOf(const struct timespec& time);
struct timespec TimespecOf(FileTime time);

// Writes all of bytes to fd, going on after interrupted and short writes;
// false with errno set when the system refuses.
bool WriteAll(int fd, const std::string& bytes);

// Last component of a host path.
std::string NameOf(const std::string& hostPath);
std::string FolderOf(const std::string& hostPath);

}  // namespace platform::prefix
