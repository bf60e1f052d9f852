// Files, folders and drives, by Windows path.
//
// Paths are Windows paths ("C:\WKelvaro\Torvida\Programs\WKTorvida2.dll");
// letter case is ignored when a path is resolved, and a new file keeps the
// case it is given. Every function that returns bool leaves the Win32 error in
// GetLastError() on failure.
//
// Guarantees when things go wrong:
// - A file that another process holds open or mapped is "in use": it is never
//   opened exclusively, copied over, moved over or deleted; those calls fail
//   with kErrorSharingViolation (32) and the file is left as it was.
// - CopyFile and MoveFileReplace never leave a torn destination: the bytes go
//   to a temporary file in the destination folder, which is flushed and then
//   renamed over the destination in one step. A failure part-way (disk full,
//   I/O error, the process killed) leaves the destination exactly as it was
//   and removes the temporary file (a killed process can leave it behind;
//   its name starts with "~kvtmp", and the next replacement in that folder
//   removes it once its writer is gone).
// - WriteFileContents and FileWriter replace a file the same way, keeping its
//   permissions; CopyFile gives a new target the source's, and a read-only
//   source makes the target read-only, as CopyFileW copies the attributes.
// - A file that replaces another keeps its owner and group and, unless the
//   source is read-only, its permissions; a new file or folder gets the
//   owner and group of its folder. So a run by root never leaves an entry
//   the owner of the prefix cannot write (a process that may not give files
//   away writes them as its own, as on Windows).
// - A call that finds the folder missing, the drive absent or its link
//   dangling fails with kErrorPathNotFound (3); a missing file in an existing
//   folder gives kErrorFileNotFound (2). Nothing is created on the way.
//
// On Linux, over a Wine prefix:
// - Read-only means that nobody may write: no write permission bit at all,
//   as Wine shows it. A read-only file is refused (5) even to a process that
//   the host would let write it (root).
// - "In use" is told from /proc (descriptors and mappings of every other
//   process). This process's own descriptors do not count: it cannot tell
//   them from the handle it is about to open, and it holds files only for the
//   length of one call.
// - The check for "in use" and the rename that follows are two steps: a
//   process that opens the file between them is not seen (Windows closes
//   that window; a host without mandatory locks cannot).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace platform {

// File attributes (FILE_ATTRIBUTE_*).
inline constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFF;
inline constexpr uint32_t kAttributeReadOnly = 0x01;
inline constexpr uint32_t kAttributeHidden = 0x02;
inline constexpr uint32_t kAttributeSystem = 0x04;
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeArchive = 0x20;
inline constexpr uint32_t kAttributeNormal = 0x80;

// Drive types (DRIVE_*), as GetDriveTypeW answers them.
enum DriveType : uint32_t {
  kDriveUnknown = 0,
  kDriveNoRootDir = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdrom = 5,
  kDriveRamdisk = 6,
};

// --- Drives and well-known folders ------------------------------------------

// "A:\", "C:\", ... for every drive that exists, in letter order.
std::vector<String> GetLogicalDriveStrings();
// Type of the drive whose root is given ("C:\"); kDriveNoRootDir when the
// drive does not exist or its link dangles.
uint32_t GetDriveType(const String& root);
// The Windows folder without trailing backslash ("C:\windows"); empty and
// last error set when it cannot be told.
String GetWindowsDirectory();
// The user's temporary folder with a trailing backslash; created when absent.
String GetTempPath();
// Windows path of the running executable.
String GetModuleFileName();

// --- Files -------------------------------------------------------------------

uint32_t GetFileAttributes(const String& path);  // kInvalidFileAttributes on failure
bool SetFileAttributes(const String& path, uint32_t attributes);
bool FileExists(const String& path);       // an existing file, not a folder
bool DirectoryExists(const String& path);  // an existing folder

// Copies source over target. With failIfExists an existing target gives
// kErrorFileExists. An existing read-only target gives kErrorAccessDenied.
// The target keeps the source's last-write time, as CopyFileW does.
bool CopyFile(const String& source, const String& target, bool failIfExists);
// Renames source to target, replacing target when it exists (in the same
// folder or across folders of one drive).
bool MoveFileReplace(const String& source, const String& target);
bool DeleteFile(const String& path);
// Deletes every file of folder that matches mask ('*' and '?', case ignored),
// as the shell's delete of "folder\mask" does silently. Files that cannot be
// deleted stay; false when at least one could not be deleted.
bool DeleteFilesByMask(const String& folder, const String& mask);
// Creates the folder and every missing parent; true when it exists afterwards.
bool CreateDirectoryTree(const String& path);
bool RemoveDirectory(const String& path);  // empty folders only

// Names (without folder) of the entries of folder that match mask, with their
// attributes, as FindFirstFileW/FindNextFileW list them ("." and ".." left out).
struct FindData {
  String name;
  uint32_t attributes = 0;
  uint64_t size = 0;
  FileTime lastWriteTime = 0;
};
std::vector<FindData> FindFiles(const String& folder, const String& mask);

// Last-write time from the directory entry, without opening the file.
bool GetFileLastWriteTime(const String& path, FileTime* time);
// Sets the last-write time of an existing file (others times unchanged).
bool SetFileLastWriteTime(const String& path, FileTime time);

// Opens the file for reading and writing with no sharing and closes it again:
// kErrorSuccess when that works, otherwise the error CreateFileW would give
// (kErrorSharingViolation when in use, kErrorAccessDenied when read-only,
// kErrorFileNotFound when absent).
uint32_t TryOpenExclusive(const String& path);

// What undoing a change needs from the system: a file kept under a second
// name in its own folder (the same file, never a copy: no second copy of a
// large library, and the same file system by construction), put back in one
// step, and writes made durable before the change they describe.
//
// Keeps the file at path also as kept, a new name in the same folder, and
// makes that durable; *mode receives what PutBackFile needs to give the file
// back its permissions (the permission bits over a prefix, the attributes on
// Windows), as they are now.
bool KeepFile(const String& path, const String& kept, uint32_t* mode);
// Renames kept over path in one step, whether path is in use or read-only,
// gives it mode and makes that durable.
bool PutBackFile(const String& kept, const String& path, uint32_t mode);
// Appends bytes to the file at path, created when missing, and makes them
// (and a new file's name) durable before returning.
bool AppendFileDurably(const String& path, const std::string& bytes);
// Makes the names in folder (files created, renamed or deleted) durable.
bool FlushFolder(const String& folder);
// Whether the file at path belongs to the user this program runs as (always
// on Windows, where access control decides); its owner's name in *owner.
bool FileIsOurs(const String& path, String* owner);

// Whole-file reads and atomic whole-file writes.
bool ReadFileContents(const String& path, std::string* bytes);
bool WriteFileContents(const String& path, const std::string& bytes);

// A file written front to back, for data too large to hold in memory. The
// bytes go to a temporary file beside the target; Commit() flushes it and
// renames it over the target in one step. Destroyed without Commit(), it
// removes the temporary file and leaves the target untouched.
class FileWriter {
 public:
  FileWriter();
  ~FileWriter();
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  bool Open(const String& path);
  bool Write(const void* data, size_t size);
  bool Commit();
  void Abandon();
  bool isOpen() const;

 private:
  struct Impl;
  Impl* impl_;
};

// --- Paths between this system and the host ---------------------------------

// The host path of a Windows path, for libraries that open files themselves
// (the database client, a file dialog). On Windows this is the path itself in
// UTF-8. Empty when the drive does not exist.
std::string ToNativePath(const String& windowsPath);
// The Windows path of a host path: on Linux through the drive whose folder
// holds it most closely (z: last). Empty when no drive holds it.
String FromNativePath(const std::string& nativePath);

}  // namespace platform
