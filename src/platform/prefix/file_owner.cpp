#include "platform/prefix/file_owner.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/prefix/host_files.h"

namespace platform::prefix {
namespace {

FileOwner OwnerOf(const struct stat& status) { return {status.st_uid, status.st_gid}; }

bool Differs(const struct stat& status, const FileOwner& owner) {
  return status.st_uid != owner.user || status.st_gid != owner.group;
}

}  // namespace

bool OwnerOfFolderOf(const std::string& hostPath, FileOwner* owner) {
  struct stat folder;
  if (stat(FolderOf(hostPath).c_str(), &folder) != 0) return false;
  *owner = OwnerOf(folder);
  return true;
}

bool OwnerFor(const std::string& hostPath, FileOwner* owner) {
  struct stat existing;
  if (stat(hostPath.c_str(), &existing) != 0) return OwnerOfFolderOf(hostPath, owner);
  *owner = OwnerOf(existing);
  return true;
}

void GiveTo(int fd, const FileOwner& owner) {
  struct stat status;
  if (fstat(fd, &status) == 0 && Differs(status, owner) && fchown(fd, owner.user, owner.group) != 0) {
    // Not privileged: the file stays the writer's own, as on Windows.
  }
}

void GiveTo(const std::string& hostPath, const FileOwner& owner) {
  struct stat status;
  if (lstat(hostPath.c_str(), &status) == 0 && Differs(status, owner) &&
      lchown(hostPath.c_str(), owner.user, owner.group) != 0) {
    // As above: the entry stays the writer's own.
  }
}

}  // namespace platform::prefix
