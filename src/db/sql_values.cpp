#include "db/sql_values.h"

#include <QDate>
#include <QDateTime>
#include <cmath>
#include <cstring>

#include "db/ib_components.h"
#include "db/info_reply.h"
#include "support/errors.h"

namespace kelvaro::db {
namespace {

const QDate kDayZero(1858, 11, 17);

template <typename T>
T Load(const char* data) {
  T value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

template <typename T>
void Store(char* data, T value) {
  std::memcpy(data, &value, sizeof value);
}

QVariant Scaled(qint64 value, short scale) {
  if (scale == 0) return QVariant(value);
  return QVariant(double(value) * std::pow(10.0, scale));
}

}  // namespace

ISC_TIMESTAMP ToTimestamp(const QDateTime& value) {
  ISC_TIMESTAMP stamp;
  stamp.timestamp_date = ISC_DATE(kDayZero.daysTo(value.date()));
  stamp.timestamp_time = ISC_TIME(value.time().msecsSinceStartOfDay()) * 10;
  return stamp;
}

QDateTime FromTimestamp(const ISC_TIMESTAMP& value) {
  return QDateTime(kDayZero.addDays(value.timestamp_date),
                   QTime::fromMSecsSinceStartOfDay(int(value.timestamp_time / 10)), Qt::UTC);
}

QVariant ReadColumn(XSQLVAR& var, IbDatabase& database, Transaction& transaction) {
  if ((var.sqltype & 1) && var.sqlind && *var.sqlind < 0) return QVariant();
  const char* data = var.sqldata;
  switch (var.sqltype & ~1) {
    case SQL_TEXT:
      if ((var.sqlsubtype & 0xFF) == 1) return QByteArray(data, var.sqllen);  // OCTETS
      return database.decode(QByteArray(data, var.sqllen));
    case SQL_VARYING: {
      // The length the server wrote in front of the text: never past the
      // buffer that was sized from the column's description.
      const short length = Load<short>(data);
      if (length < 0 || length > var.sqllen)
        throw InvalidServerReply(QStringLiteral("a text of %1 bytes in a column of %2")
                                     .arg(QString::number(length), QString::number(var.sqllen)));
      if ((var.sqlsubtype & 0xFF) == 1) return QByteArray(data + 2, length);
      return database.decode(QByteArray(data + 2, length));
    }
    case SQL_SHORT:
      return Scaled(Load<short>(data), var.sqlscale);
    case SQL_LONG:
      return Scaled(Load<ISC_LONG>(data), var.sqlscale);
    case SQL_INT64:
      return Scaled(Load<ISC_INT64>(data), var.sqlscale);
    case SQL_FLOAT:
      return double(Load<float>(data));
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      return Load<double>(data);
    case SQL_BOOLEAN:
      return bool(data[0]);
    case SQL_TIMESTAMP:
      return FromTimestamp(Load<ISC_TIMESTAMP>(data));
    case SQL_TYPE_DATE:
      return kDayZero.addDays(Load<ISC_DATE>(data));
    case SQL_TYPE_TIME:
      return QTime::fromMSecsSinceStartOfDay(int(Load<ISC_TIME>(data) / 10));
    case SQL_BLOB: {
      const QByteArray bytes =
          Blob::Read(database.attachment(), transaction, Load<ISC_QUAD>(data));
      if (var.sqlsubtype == 1) return database.decode(bytes);
      return bytes;
    }
    default:
      throw Error(QStringLiteral("Unsupported column type %1").arg(var.sqltype & ~1));
  }
}

void BindParameter(SqlArea& area, int i, const QVariant& value, IbDatabase& database,
                   Transaction& transaction) {
  XSQLVAR& var = area.var(i);
  short* indicator = area.indicator(i);
  var.sqlind = indicator;
  const int described = var.sqltype & ~1;

  if (value.isNull() || !value.isValid()) {
    *indicator = -1;
    var.sqltype = short(described | 1);
    var.sqldata = area.buffer(i, size_t(std::max<short>(var.sqllen, 8)) + 2);
    return;
  }
  *indicator = 0;

  if (described == SQL_BLOB) {
    const QByteArray bytes = value.typeId() == QMetaType::QByteArray ? value.toByteArray()
                                                                     : database.encode(value.toString());
    const ISC_QUAD id = Blob::Write(database.attachment(), transaction, bytes);
    var.sqltype = SQL_BLOB | 1;
    var.sqldata = area.buffer(i, sizeof id);
    Store(var.sqldata, id);
    return;
  }

  switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Long:
    case QMetaType::Short:
      var.sqltype = SQL_INT64 | 1;
      var.sqlscale = 0;
      var.sqllen = sizeof(ISC_INT64);
      var.sqldata = area.buffer(i, sizeof(ISC_INT64));
      Store<ISC_INT64>(var.sqldata, value.toLongLong());
      return;
    case QMetaType::Bool:
      var.sqltype = SQL_SHORT | 1;
      var.sqlscale = 0;
      var.sqllen = sizeof(short);
      var.sqldata = area.buffer(i, sizeof(short));
      Store<short>(var.sqldata, value.toBool() ? 1 : 0);
      return;
    case QMetaType::Double:
    case QMetaType::Float:
      var.sqltype = SQL_DOUBLE | 1;
      var.sqlscale = 0;
      var.sqllen = sizeof(double);
      var.sqldata = area.buffer(i, sizeof(double));
      Store<double>(var.sqldata, value.toDouble());
      return;
    case QMetaType::QDateTime:
      var.sqltype = SQL_TIMESTAMP | 1;
      var.sqllen = sizeof(ISC_TIMESTAMP);
      var.sqldata = area.buffer(i, sizeof(ISC_TIMESTAMP));
      Store(var.sqldata, ToTimestamp(value.toDateTime()));
      return;
    case QMetaType::QDate:
      var.sqltype = SQL_TYPE_DATE | 1;
      var.sqllen = sizeof(ISC_DATE);
      var.sqldata = area.buffer(i, sizeof(ISC_DATE));
      Store<ISC_DATE>(var.sqldata, ISC_DATE(kDayZero.daysTo(value.toDate())));
      return;
    default:
      break;
  }

  // Text (and anything else, as text): the server converts it to the
  // parameter's type, as it would a literal.
  const bool octets = value.typeId() == QMetaType::QByteArray;
  const QByteArray bytes = octets ? value.toByteArray() : database.encode(value.toString());
  if (bytes.size() > 32767)
    throw Error(QStringLiteral("Parameter %1: text of %2 bytes is too long")
                    .arg(QString::number(i), QString::number(bytes.size())));
  var.sqltype = SQL_TEXT | 1;
  var.sqlsubtype = octets ? 1 : database.charsetId();
  var.sqlscale = 0;
  var.sqllen = short(bytes.size());
  var.sqldata = area.buffer(i, size_t(bytes.size()));
  std::memcpy(var.sqldata, bytes.constData(), size_t(bytes.size()));
}

}  // namespace kelvaro::db
