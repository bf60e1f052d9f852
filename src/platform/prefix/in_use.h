// Whether another process holds a file open or mapped: the host's stand-in
// for the sharing modes Windows enforces.
//
// The kernel is asked first, through a write lease that it grants only on a
// file nothing else has open or mapped: one open, and the answer for the
// usual free file. When it cannot say "free", every process of /proc is
// looked at: its open descriptors (the targets of
// /proc/<pid>/fd) and its mappings (/proc/<pid>/maps), compared by device and
// inode so that a hard link or a renamed path is still recognised. The
// calling process is left out: Windows would also refuse an exclusive open
// while this process holds another handle, but a process cannot tell its own
// descriptors apart cheaply here, and this program only opens files for the
// length of one call. Processes whose /proc entries cannot be read (another
// user's, without privileges) cannot be seen and count as not holding it.
#pragma once

#include <sys/types.h>

#include <string>

namespace platform::prefix {

// The file at hostPath, which stat gave as device and inode: the kernel is
// asked first, and every process is looked at only when it cannot say the
// file is free.
bool IsHeldByAnotherProcess(const std::string& hostPath, dev_t device, ino_t inode);
// Looking at every process, whatever the kernel could say.
bool IsHeldByAnotherProcess(dev_t device, ino_t inode);
// Same, by host path; false when the path does not exist.
bool IsFileInUse(const std::string& hostPath);

}  // namespace platform::prefix
