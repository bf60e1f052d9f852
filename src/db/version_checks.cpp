#include "db/version_checks.h"

#include <array>

namespace kelvaro::db {
namespace {

struct Pairing {
  const char* client;
  const char* server;
  TIBServerType type;
};

// Tried in this order; the first row whose two strings match decides.
constexpr std::array<Pairing, 5> kExactPairings = {{
    {"WI-V1.0.0.794", "WI-V6.2.794 Firebird 1.0", Firebird10},
    {"WI-V1.0.2.908", "WI-V6.2.908 Firebird 1.0", Firebird10},
    {"WI-V6.3.0.4290", "WI-V1.5.0.4290 Firebird 1.5", Firebird15},
    {"WI-V6.3.0.4290", "WI-V1.5.1.4481 Firebird 1.5", Firebird15},
    {"WI-V6.3.2.4731", "WI-V1.5.2.4731 Firebird 1.5", Firebird15},
}};

constexpr std::array<const char*, 4> kKnownClients = {
    "WI-V1.0.0.794", "WI-V1.0.2.908", "WI-V6.3.0.4290", "WI-V6.3.2.4731"};

constexpr std::array<const char*, 3> kGateVersions = {"WI-V6.3.0.4290", "WI-V6.3.2.4731",
                                                      "WI-V2.5.2.26540"};

bool IsFirebird30ServerVersion(const QString& text) {
  return text.startsWith(QLatin1String("LI-V3.0.")) || text.startsWith(QLatin1String("WI-V3.0."));
}

}  // namespace

bool IsFirebird25Version(const QString& text) { return text.left(7) == QLatin1String("WI-V2.5"); }

bool IsFirebird30ClientVersion(const QString& text) {
  return text.startsWith(QLatin1String("LI-V6.3.")) || text.startsWith(QLatin1String("WI-V3.0."));
}

bool IsKnownClientVersion(const QString& clientVersion) {
  for (const char* known : kKnownClients)
    if (clientVersion == QLatin1String(known)) return true;
  return IsFirebird25Version(clientVersion) || IsFirebird30ClientVersion(clientVersion);
}

TIBServerType ServerTypeFor(const QString& clientVersion, const QString& serverVersion) {
  for (const Pairing& row : kExactPairings)
    if (clientVersion == QLatin1String(row.client) && serverVersion == QLatin1String(row.server))
      return row.type;
  if (IsFirebird25Version(clientVersion) && IsFirebird25Version(serverVersion)) return Firebird25;
  if (IsFirebird30ClientVersion(clientVersion) && IsFirebird30ServerVersion(serverVersion))
    return Firebird30;
  return UnknownServer;
}

bool IsAcceptedGateVersion(const QString& clientVersion) {
  for (const char* accepted : kGateVersions)
    if (clientVersion == QLatin1String(accepted)) return true;
  return IsFirebird30ClientVersion(clientVersion);
}

QString UnknownClientMessage(const QString& clientVersion) {
  return QStringLiteral(
             "La version du client Firebird utilisé est inconnue du programme. Par sécurité, "
             "aucune connexion à la base de données ne sera établie.\r\n\r\n") +
         clientVersion;
}

QString PairingRefusedMessage(const QString& clientVersion, const QString& serverVersion) {
  return QStringLiteral(
             "La version du client Firebird utilisé ne correspond pas à celle du serveur Firebird. "
             "Par sécurité, aucune connexion à la base de données ne sera établie.\r\n\r\n"
             "Client : ") +
         clientVersion + QStringLiteral("\r\nServer : ") + serverVersion;
}

}  // namespace kelvaro::db
