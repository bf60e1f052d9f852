// Who owns what this layer writes into a prefix. A program run by root (an
// administrator's roll-out) must never leave a file or folder the prefix's
// user cannot write afterwards: Wine could no longer save that user's
// registry, and the next update run as the user could not replace the file.
// So a file that replaces another keeps the owner and group of the one it
// replaces, and a new file or folder takes those of the folder it is made
// in. Only a privileged process can give an entry away; for any other the
// entry is already its own, and a refused change leaves it as it is.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace platform::prefix {

struct FileOwner {
  uid_t user = 0;
  gid_t group = 0;
};

// The owner of the entry at hostPath when it exists, otherwise the owner of
// the folder it would be made in; false when neither can be looked at.
bool OwnerFor(const std::string& hostPath, FileOwner* owner);
// The owner a new entry at hostPath gets: the owner of its folder.
bool OwnerOfFolderOf(const std::string& hostPath, FileOwner* owner);

// Gives the open file (or the entry at path, not following a last link)
// to owner when it belongs to someone else.
void GiveTo(int fd, const FileOwner& owner);
void GiveTo(const std::string& hostPath, const FileOwner& owner);

}  // namespace platform::prefix
