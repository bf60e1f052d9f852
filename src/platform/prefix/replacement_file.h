// The temporary file through which every replacement of a file goes.
//
// The new bytes are written to "~kvtmp<pid>-<n>" in the target's folder,
// flushed to disk and renamed over the target in one step, so that a reader,
// a crash or a kill sees the old file or the new one, never a mix. Any
// failure before the rename (disk full, I/O error) removes the temporary file
// and leaves the target as it was; a killed process can leave the temporary
// file behind, recognisable by its prefix. Every writer holds an flock on its
// temporary file, and the next replacement in the same folder removes the
// ones whose writer is gone (its process no longer runs, its lock is free).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace platform::prefix {

inline constexpr const char* kTemporaryPrefix = "~kvtmp";

// Whether a file may be put in place at hostPath, as Windows decides before
// writing: the folder exists (else 3), the path is not a folder (5), not an
// existing file when failIfExists (80), not read-only (5), not in use (32).
// Sets the last error and returns false otherwise; existing receives the
// current target's status when there is one.
bool CheckReplaceableTarget(const std::string& hostPath, bool failIfExists, struct stat* existing, bool* exists);

class ReplacementFile {
 public:
  ReplacementFile() = default;
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Mode of a new file: what the process's umask leaves of rw-rw-rw-.
  static constexpr mode_t kNewFileMode = static_cast<mode_t>(-1);
  // Creates the temporary file beside target; mode is the permission the
  // file gets when it takes the target's place. It belongs to the owner of
  // the file it replaces, or of the target's folder when there is none
  // (file_owner.h).
  bool Create(const std::string& targetHostPath, mode_t mode);
  bool Write(const void* data, size_t size);
  bool SetLastWriteTime(const struct timespec& time);
  // Flushes and renames over the target; with failIfExists an existing
  // target is left alone and kErrorFileExists reported. On failure the
  // temporary file is removed.
  bool Commit(bool failIfExists);
  void Abandon();
  bool isOpen() const { return fd_ >= 0; }
  const std::string& target() const { return target_; }

 private:
  int fd_ = -1;
  mode_t mode_ = 0;
  std::string path_;
  std::string target_;
};

}  // namespace platform::prefix
