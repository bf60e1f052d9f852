#include "db/info_reply.h"

#include <ibase.h>

namespace kelvaro::db {

Error InvalidServerReply(const QString& what) {
  return Error(QStringLiteral("Invalid reply from the Firebird server: ") + what);
}

char InfoReply::item() {
  need(1);
  return data_[at_++];
}

QByteArray InfoReply::cluster() {
  need(2);
  const qsizetype length = qsizetype(static_cast<unsigned char>(data_[at_])) |
                           qsizetype(static_cast<unsigned char>(data_[at_ + 1])) << 8;
  at_ += 2;
  need(length);
  const QByteArray bytes(data_ + at_, length);
  at_ += length;
  return bytes;
}

qint32 InfoReply::integer(qsizetype width) {
  if (width < 1 || width > 4)
    throw InvalidServerReply(
        QStringLiteral("an integer of %1 bytes at byte %2").arg(QString::number(width), QString::number(at_)));
  need(width);
  // The last byte carries the sign.
  qint32 value = static_cast<signed char>(data_[at_ + width - 1]);
  for (qsizetype i = width - 2; i >= 0; --i)
    value = qint32(quint32(value) << 8 | static_cast<unsigned char>(data_[at_ + i]));
  at_ += width;
  return value;
}

void InfoReply::need(qsizetype count) const {
  if (count > size_ - at_)
    throw InvalidServerReply(QStringLiteral("%1 bytes announced at byte %2 of %3")
                                 .arg(QString::number(count), QString::number(at_), QString::number(size_)));
}

ServerVersionInfo ParseServerVersionReply(const QByteArray& reply) {
  ServerVersionInfo info;
  InfoReply cursor(reply.constData(), reply.size());
  while (!cursor.atEnd()) {
    const char item = cursor.item();
    if (item == isc_info_svc_server_version) info.serverVersion = QString::fromLatin1(cursor.cluster());
    else if (item == isc_info_svc_implementation) info.serverImplementation = QString::fromLatin1(cursor.cluster());
    else if (item == isc_info_svc_version) info.serviceVersion = cursor.integer(4);
    else break;  // isc_info_end, isc_info_truncated, or an item not asked for
  }
  return info;
}

int ParseStatementType(const char* reply, qsizetype size) {
  InfoReply cursor(reply, size);
  if (cursor.atEnd() || cursor.item() != isc_info_sql_stmt_type) return 0;
  const QByteArray value = cursor.cluster();
  return InfoReply(value.constData(), value.size()).integer(value.size());
}

}  // namespace kelvaro::db
