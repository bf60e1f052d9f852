#include "engine/file_in_use.h"

#include "platform/files.h"
#include "support/text.h"

namespace kelvaro {

int FileInUseError(const QString& FileName) {
  if (FileName.isEmpty() || !platform::FileExists(toW(FileName))) return 0;
  return int(platform::TryOpenExclusive(toW(FileName)));
}

}  // namespace kelvaro
