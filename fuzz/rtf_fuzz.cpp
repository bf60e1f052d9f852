// Feeds arbitrary bytes to the rich-text stream-in: RTF documents, broken
// ones, and bytes that are not RTF at all. A QTextDocument needs no display
// and no application object, so the target runs without either.
#include <QBuffer>
#include <QByteArray>
#include <QTextDocument>
#include <cstddef>
#include <cstdint>

#include "wizard/rich_text_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QBuffer buffer;
  buffer.setData(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  buffer.open(QIODevice::ReadOnly);
  QTextDocument document;
  if (kelvaro::StreamInRichText(&document, &buffer) != 0) __builtin_trap();
  // Walk what was built, so a broken document structure shows up here.
  (void)document.toPlainText();
  return 0;
}
