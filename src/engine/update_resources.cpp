// Carried text files as string lists, for the engine and the wizard.
#include "engine/resource_file.h"
#include "engine/update_common.h"

namespace kelvaro {

int TdmUpdateCommon::LoadResourceFileList(const QString& ResFileName, QStringList& DestList) {
  return LoadResourceTextLines(ResFileName, &DestList);
}

}  // namespace kelvaro
