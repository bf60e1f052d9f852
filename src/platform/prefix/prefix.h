// Where the Wine prefix lives and how Windows paths map onto it.
//
// WINEPREFIX names the prefix (default ~/.wine), read at every call so that a
// process (or a test) that changes it is served from the new prefix at once.
// Nothing here creates a prefix: a missing one makes every drive absent.
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

namespace platform::prefix {

// Host folder of the prefix, without trailing slash.
std::string Root();

// Host path of a Windows path, resolved component by component ignoring
// letter case; components that do not exist keep the case given. Sets
// kErrorPathNotFound and returns false when the drive is absent or its link
// dangles, or kErrorInvalidName for a path that is not absolute on a drive.
bool ResolvePath(const String& windowsPath, std::string* hostPath);

// Host folder behind a drive letter ('C'), empty when absent or dangling.
std::string DriveFolder(char16_t letter);

struct Drive {
  char16_t letter;     // 'A' to 'Z'
  std::string folder;  // as DriveFolder gives it
};

// Every drive whose folder exists, in letter order. The dosdevices folder is
// read once and only the letters it holds are resolved: resolving a link
// costs a look at each folder on its way, and a prefix has two or three
// drives of twenty-six.
std::vector<Drive> Drives();

}  // namespace platform::prefix
