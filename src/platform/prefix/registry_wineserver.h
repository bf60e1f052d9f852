// Whether a wineserver runs for a prefix. While one does, it owns the
// registry files: it has them in memory and writes them back over any change
// made beside it, so the registry layer refuses to write.
//
// The server keeps its socket and a lock file in
// <root>/server-<dev>-<inode>/ (device and inode of the prefix folder, in
// hex) and holds an fcntl write lock on "lock" as long as it runs. <root> is
// /tmp/.wine-<uid> for Wine as its makers ship it; Debian's Wine makes a
// private /tmp/wine-XXXXXX instead and writes that name into the prefix's
// "wineserver" file. Both places are checked.
// A folder left behind by a server that died has an unlocked lock file and a
// socket nobody accepts on: that counts as not running.
#pragma once

#include <string>
#include <vector>

namespace platform::prefix {

// Folders where Wine's server for this prefix would keep its socket, the
// usual one first; empty when the prefix folder does not exist.
std::vector<std::string> WineserverFolders(const std::string& prefixRoot);
std::string WineserverFolder(const std::string& prefixRoot);

bool WineserverRunning(const std::string& prefixRoot);

}  // namespace platform::prefix
