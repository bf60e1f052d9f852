// Whether a wineserver runs for a prefix. While one does, it owns the
// registry files: it has them in memory and writes them back over any change
// made beside it, so the registry layer refuses to write.
//
// The server keeps its socket and a lock file in
// <root>/server-<dev>-<inode>/ (device and inode of the prefix folder, in
// hex) and holds an fcntl write lock on "lock" as long as it runs. <root> is
// /tmp/.wine-<uid> for Wine as its makers ship it; Debian's Wine makes a
// private $TMPDIR/wine-XXXXXX instead (/tmp without TMPDIR) and writes its
// name, without the folder, into the prefix's "wineserver" file. Both
// places are checked.
// A folder left behind by a server that died has an unlocked lock file and a
// socket nobody accepts on: that counts as not running.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace platform::prefix {

// Folders where Wine's server for this prefix would keep its socket, the
// usual one first; empty when the prefix folder does not exist.
std::vector<std::string> WineserverFolders(const std::string& prefixRoot);
std::string WineserverFolder(const std::string& prefixRoot);

// The folder under which Wine as its makers ship it keeps .wine-<uid>, and
// where a bare name in the prefix's "wineserver" file lives: /tmp, shared by
// every Wine session of the machine. A test points it at a folder of its
// own, so that it never touches a real session's; empty puts /tmp back.
void SetWineserverTempFolder(const std::string& folder);

bool WineserverRunning(const std::string& prefixRoot);
// The folder of the server that answers (its lock held, or its socket
// accepting); empty when none does.
std::string LiveWineserverFolder(const std::string& prefixRoot);
// The same, with the server's process id in *process (-1 when the server
// answers but its process is not told, 0 when none answers).
std::string LiveWineserver(const std::string& prefixRoot, long* process);

// Wine keeps its server three seconds after the last program ends: a
// registry write first waits up to kWineserverWait for such a lingering
// server to go. True when no server runs (any more). A server that outlives
// a whole wait was started to stay (wineserver -p, a program left open) and
// is not waited for again; a new server (another process) is.
inline constexpr std::chrono::milliseconds kWineserverWait{5000};
bool WaitForWineserverEnd(const std::string& prefixRoot);
// Shortens the wait (tests); zero or less puts kWineserverWait back.
void SetWineserverWait(std::chrono::milliseconds wait);
// Told true before a wait starts and false when it ends, so that the program
// can show that it waits.
void SetWineserverWaitObserver(std::function<void(bool waiting)> observer);

}  // namespace platform::prefix
