// Whose prefix this is: the owner of its folder, compared with the user the
// process runs as (the effective one, which is who the files get written
// as).
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/prefix/host_text.h"
#include "platform/prefix/prefix.h"
#include "platform/system.h"

namespace platform {

using namespace prefix;

namespace {

String UserNameOf(uid_t uid) {
  if (const passwd* entry = getpwuid(uid)) return WindowsText(entry->pw_name);
  return WindowsText(std::to_string(uid));
}

}  // namespace

InstallationOwnership GetInstallationOwnership() {
  InstallationOwnership ownership;
  const std::string root = Root();
  ownership.location = WindowsText(root);
  struct stat status;
  if (stat(root.c_str(), &status) != 0) return ownership;
  ownership.owner = UserNameOf(status.st_uid);
  ownership.ours = status.st_uid == geteuid();
  return ownership;
}

}  // namespace platform
