// The replies of the Firebird client's information calls: the services
// query that gives the server's version, and the statement information that
// gives a statement's type. A reply is a run of clusters: an item byte, then
// (for the items read here) a two-byte little-endian length and that many
// bytes. The client copies into our buffer whatever the server sent, so no
// length in it is trusted: each is checked against the reply before a byte
// it announces is read, and a cluster that runs past the end of the reply
// raises kelvaro::Error instead of reading beyond it.
#pragma once

#include <QByteArray>
#include <QString>

#include "support/errors.h"

namespace kelvaro::db {

// The error for a reply whose lengths do not hold: "Invalid reply from the
// Firebird server: " and what was wrong.
Error InvalidServerReply(const QString& what);

struct ServerVersionInfo {
  QString serverVersion = QStringLiteral("?");
  QString serverImplementation = QStringLiteral("?");
  int serviceVersion = 0;
};

// A cursor over one reply; every read checks that the reply holds it.
class InfoReply {
 public:
  InfoReply(const char* data, qsizetype size) : data_(data), size_(size) {}

  bool atEnd() const { return at_ >= size_; }
  char item();
  // A two-byte length, then the bytes it announces.
  QByteArray cluster();
  // A signed little-endian integer of width bytes (1 to 4), as the client's
  // isc_vax_integer reads it.
  qint32 integer(qsizetype width);

 private:
  void need(qsizetype count) const;

  const char* data_;
  qsizetype size_;
  qsizetype at_ = 0;
};

// The server version, implementation and service version of the reply to a
// services query for those three items. Items the reply does not hold keep
// their "?" and 0; an unknown item, isc_info_truncated or isc_info_end ends
// the reading.
ServerVersionInfo ParseServerVersionReply(const QByteArray& reply);

// The statement type (isc_info_sql_stmt_*) of the reply to a statement
// information call for isc_info_sql_stmt_type; 0 when the reply starts with
// another item.
int ParseStatementType(const char* reply, qsizetype size);

}  // namespace kelvaro::db
