// TdmUpdateCommon::LoadResourceFileToRich lives with the wizard, where the
// rich-text control and its reader are.
#include <QBuffer>
#include <QTextEdit>

#include "engine/resource_file.h"
#include "engine/update_common.h"
#include "wizard/rich_edit_lines.h"
#include "wizard/rich_text_stream.h"

namespace kelvaro {

int TdmUpdateCommon::LoadResourceFileToRich(const QString& ResFileName, QTextEdit* DestEdit) {
  DestEdit->clear();
  QBuffer stream;
  stream.open(QIODevice::ReadWrite);
  if (!ReadResourceFile(ResFileName, &stream)) return 0;
  stream.seek(0);
  // What could not be read is simply not shown: the reader's result is not
  // an error for the caller, who looks at the lines.
  StreamInRichText(DestEdit, &stream);
  return RichEditLineCount(DestEdit);
}

}  // namespace kelvaro
