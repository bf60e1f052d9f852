#include "db/table_reservation.h"

#include <ibase.h>

#include "support/errors.h"

namespace kelvaro::db {

QByteArray ReservingTableForWrite(const QString& table, int lockTimeoutSeconds) {
  // Table names unquoted in the schema are stored in upper case, and the
  // server looks the reserved name up as it is given.
  const QByteArray name = table.toUpper().toLatin1();
  if (name.isEmpty() || name.size() > 255) throw Error(QStringLiteral("Invalid table name: %1").arg(table));
  QByteArray tpb;
  tpb.append(char(isc_tpb_version3));
  tpb.append(char(isc_tpb_write));
  tpb.append(char(isc_tpb_concurrency));
  tpb.append(char(isc_tpb_wait));
  tpb.append(char(isc_tpb_lock_timeout));
  tpb.append(char(4));
  for (int shift = 0; shift < 32; shift += 8) tpb.append(char((lockTimeoutSeconds >> shift) & 0xff));
  tpb.append(char(isc_tpb_lock_write));
  tpb.append(char(name.size()));
  tpb.append(name);
  tpb.append(char(isc_tpb_protected));
  return tpb;
}

}  // namespace kelvaro::db
