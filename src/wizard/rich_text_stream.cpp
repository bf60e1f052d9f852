#include "wizard/rich_text_stream.h"

#include <QIODevice>
#include <QStringDecoder>
#include <QTextDocument>
#include <QTextEdit>

#include "support/text.h"
#include "richtext/rtf_reader.h"

namespace kelvaro {
namespace {

QString DecodePlainText(const QByteArray& bytes) {
  if (auto encoding = QStringConverter::encodingForData(bytes)) {
    QStringDecoder decoder(*encoding);  // the byte-order mark is dropped
    return decoder.decode(bytes);
  }
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  const QString text = utf8.decode(bytes);
  if (!utf8.hasError()) return text;
  return fromWindows1252(bytes.constData(), bytes.size());
}

void ReadPlainText(const QByteArray& bytes, QTextDocument* document) {
  QString text = DecodePlainText(bytes);
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  document->setPlainText(text);
}

}  // namespace

int StreamInRichText(QTextDocument* document, QIODevice* stream) {
  if (!document) return kStreamInError;
  if (!stream || !stream->isReadable()) {
    document->clear();
    return kStreamInError;
  }
  const QByteArray bytes = stream->readAll();
  if (LooksLikeRtf(bytes)) {
    ReadRtf(bytes, document);
  } else {
    ReadPlainText(bytes, document);
  }
  return 0;
}

int StreamInRichText(QTextEdit* edit, QIODevice* stream) {
  return StreamInRichText(edit ? edit->document() : nullptr, stream);
}

}  // namespace kelvaro
