// Reading RTF in tests as the wizard does: through StreamInRichText.
#pragma once

#include <QBuffer>
#include <QTextDocument>

#include "wizard/rich_text_stream.h"

namespace rtf_test {

inline int StreamIn(QTextDocument* document, const QByteArray& bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  return kelvaro::StreamInRichText(document, &buffer);
}

}  // namespace rtf_test
