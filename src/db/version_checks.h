// Which Firebird client and server builds this program accepts, as pure
// functions of the version strings. The connection module raises the
// refusals; the start-up gate shows its own warning.
#pragma once

#include <QString>
#include <cstdint>

namespace kelvaro::db {

enum TIBServerType : uint8_t {
  UnknownServer = 0,
  Firebird10 = 1,
  Firebird15 = 2,
  Firebird25 = 3,
  Firebird30 = 4,  // the platform's own Firebird 3.0, client and server
};

// The first seven characters are "WI-V2.5".
bool IsFirebird25Version(const QString& text);
// A Firebird 3.0 client: "LI-V6.3." (Debian's, compatibility level 6.3) or
// "WI-V3.0.".
bool IsFirebird30ClientVersion(const QString& text);
// A client the connection module accepts (exact comparison).
bool IsKnownClientVersion(const QString& clientVersion);
// The first accepted pairing's server type, UnknownServer when none.
TIBServerType ServerTypeFor(const QString& clientVersion, const QString& serverVersion);

// A client library the start-up gate accepts (exact comparison).
bool IsAcceptedGateVersion(const QString& clientVersion);

// The refusal texts, ready to raise.
QString UnknownClientMessage(const QString& clientVersion);
QString PairingRefusedMessage(const QString& clientVersion, const QString& serverVersion);

}  // namespace kelvaro::db
