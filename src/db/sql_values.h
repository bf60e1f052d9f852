// Conversions between the client's column buffers (XSQLVAR) and QVariant.
#pragma once

#include <QVariant>

#include "db/fb_handles.h"

namespace kelvaro::db {

class IbDatabase;

// The value of a fetched column; blobs are read whole (text blobs decoded
// from the connection's character set).
QVariant ReadColumn(XSQLVAR& var, IbDatabase& database, Transaction& transaction);

// Re-types input parameter i of area for value and stores it; a blob
// parameter gets a new blob written in transaction.
void BindParameter(SqlArea& area, int i, const QVariant& value, IbDatabase& database,
                   Transaction& transaction);

// Firebird's day 0 (1858-11-17) and the 1/10000 s time unit.
ISC_TIMESTAMP ToTimestamp(const QDateTime& value);
QDateTime FromTimestamp(const ISC_TIMESTAMP& value);

}  // namespace kelvaro::db
