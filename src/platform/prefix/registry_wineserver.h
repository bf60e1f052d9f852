// Whether a wineserver runs for a prefix. While one does, it owns the
// registry files: it has them in memory and writes them back over any change
// made beside it, so the registry layer refuses to write.
//
// The server keeps its socket and a lock file in
// /tmp/.wine-<uid>/server-<dev>-<inode>/ (device and inode of the prefix
// folder, in hex) and holds an fcntl write lock on "lock" as long as it runs.
// A folder left behind by a server that died has an unlocked lock file and a
// socket nobody accepts on: that counts as not running.
#pragma once

#include <string>

namespace platform::prefix {

// Folder where Wine's server for this prefix would keep its socket; empty
// when the prefix folder does not exist.
std::string WineserverFolder(const std::string& prefixRoot);

bool WineserverRunning(const std::string& prefixRoot);

}  // namespace platform::prefix
