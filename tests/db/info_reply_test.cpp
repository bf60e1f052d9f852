// The information replies of the Firebird client, parsed with every length
// checked: a real server's replies read back, and replies whose lengths run
// past their end refused with an error instead of read beyond. The real
// replies are those of fuzz/corpus/info_reply (Debian's Firebird 3.0).
#include <gtest/gtest.h>

#include "db/info_reply.h"
#include "db/ib_components.h"
#include "db/sql_values.h"
#include "support/errors.h"

using namespace kelvaro;
using namespace kelvaro::db;

namespace {

QByteArray Hex(const char* text) { return QByteArray::fromHex(text); }

const char* const kThreeItems =
    "371d004c492d56332e302e31312e333336333720466972656269726420332e30"
    "381c0046697265626972642f4c696e75782f414d442f496e74656c2f783634"
    "360200000001";

TEST(InfoReply, ServerVersionReplies) {
  const QString version = QStringLiteral("LI-V3.0.11.33637 Firebird 3.0");
  const QString implementation = QStringLiteral("Firebird/Linux/AMD/Intel/x64");
  const struct {
    const char* what;
    QByteArray reply;
    QString version;
    QString implementation;
    int serviceVersion;
  } cases[] = {
      {"the three items", Hex(kThreeItems), version, implementation, 2},
      {"the rest of the buffer zero", Hex(kThreeItems) + QByteArray(4000, '\0'), version, implementation, 2},
      {"service version first", Hex("3602000000371d004c492d56332e302e31312e333336333720466972656269726420332e3001"),
       version, QStringLiteral("?"), 2},
      {"truncated after the service version", Hex("36020000000201"), QStringLiteral("?"), QStringLiteral("?"), 2},
      {"truncated at once", Hex("0201"), QStringLiteral("?"), QStringLiteral("?"), 0},
      {"an item not asked for ends it", Hex("3f0100") + Hex(kThreeItems), QStringLiteral("?"), QStringLiteral("?"), 0},
      {"empty", QByteArray(), QStringLiteral("?"), QStringLiteral("?"), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ServerVersionInfo info = ParseServerVersionReply(c.reply);
    EXPECT_EQ(info.serverVersion, c.version);
    EXPECT_EQ(info.serverImplementation, c.implementation);
    EXPECT_EQ(info.serviceVersion, c.serviceVersion);
  }
}

TEST(InfoReply, StatementTypes) {
  const struct {
    const char* what;
    QByteArray reply;
    int type;
  } cases[] = {
      {"select", Hex("1504000100000001"), isc_info_sql_stmt_select},
      {"select for update", Hex("1504000c00000001"), isc_info_sql_stmt_select_for_upd},
      {"execute procedure", Hex("1504000800000001"), isc_info_sql_stmt_exec_procedure},
      {"a one-byte value", Hex("1501000201"), isc_info_sql_stmt_insert},
      {"another item first", Hex("0201"), 0},
      {"the client's zeroed buffer", QByteArray(16, '\0'), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ParseStatementType(c.reply.constData(), c.reply.size()), c.type);
  }
}

// Lengths that run past the reply: an error, never a read beyond it.
TEST(InfoReply, LengthsPastTheEndAreRefused) {
  const QByteArray whole = Hex(kThreeItems);
  const struct {
    const char* what;
    QByteArray reply;
    bool statement;  // false: a services reply
  } cases[] = {
      {"version text cut short", whole.left(20), false},
      {"length cut in half", Hex("3704"), false},
      {"length of 65535", Hex("37ffff4c492d56"), false},
      {"service version cut short", Hex("360200"), false},
      {"implementation after a whole version, cut", whole.left(40), false},
      {"statement type announcing 32767 bytes", Hex("15ff7f01000000000000000000000000"), true},
      {"statement type of five bytes", Hex("1505000100000000"), true},
      {"statement type of no bytes", Hex("15000001"), true},
      {"statement type cut short", Hex("150400010000"), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.statement) EXPECT_THROW(ParseStatementType(c.reply.constData(), c.reply.size()), Error);
    else EXPECT_THROW(ParseServerVersionReply(c.reply), Error);
  }
}

// A variable-length text whose length prefix exceeds its column: refused,
// not read past the column's buffer.
TEST(InfoReply, TextLongerThanItsColumnIsRefused) {
  IbDatabase database;
  Transaction transaction;
  const struct {
    short length;
    bool refused;
  } cases[] = {{4, false}, {0, false}, {5, true}, {-1, true}, {32767, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    char buffer[2 + 4] = {char(c.length & 0xFF), char((c.length >> 8) & 0xFF), 'a', 'b', 'c', 'd'};
    XSQLVAR var{};
    var.sqltype = SQL_VARYING;
    var.sqlsubtype = 1;  // octets: the bytes as they are
    var.sqllen = 4;
    var.sqldata = buffer;
    if (c.refused) EXPECT_THROW(ReadColumn(var, database, transaction), Error);
    else EXPECT_EQ(ReadColumn(var, database, transaction).toByteArray(), QByteArray("abcd", c.length));
  }
}

}  // namespace
