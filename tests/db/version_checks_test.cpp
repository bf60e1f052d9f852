#include <gtest/gtest.h>

#include "db/version_checks.h"

using namespace kelvaro::db;

namespace {

struct PairingCase {
  const char* client;
  const char* server;
  TIBServerType type;
};

TEST(ServerTypeFor, AcceptsOnlyListedPairings) {
  const PairingCase cases[] = {
      {"WI-V1.0.0.794", "WI-V6.2.794 Firebird 1.0", Firebird10},
      {"WI-V1.0.2.908", "WI-V6.2.908 Firebird 1.0", Firebird10},
      {"WI-V1.0.0.794", "WI-V6.2.908 Firebird 1.0", UnknownServer},
      {"WI-V6.3.0.4290", "WI-V1.5.0.4290 Firebird 1.5", Firebird15},
      {"WI-V6.3.0.4290", "WI-V1.5.1.4481 Firebird 1.5", Firebird15},
      {"WI-V6.3.0.4290", "WI-V1.5.2.4731 Firebird 1.5", UnknownServer},
      {"WI-V6.3.2.4731", "WI-V1.5.2.4731 Firebird 1.5", Firebird15},
      {"WI-V6.3.2.4731", "WI-V1.5.2.4731", UnknownServer},  // compared whole
      {"WI-V2.5.2.26540", "WI-V2.5.9.27139 Firebird 2.5", Firebird25},
      {"WI-V2.5", "WI-V2.5", Firebird25},
      {"WI-V2.5.2.26540", "WI-V1.5.2.4731 Firebird 1.5", UnknownServer},
      {"wi-v2.5.2.26540", "WI-V2.5.9.27139 Firebird 2.5", UnknownServer},
      {"LI-V6.3.11.33637", "LI-V3.0.11.33637 Firebird 3.0", Firebird30},
      {"LI-V6.3.11.33637", "WI-V3.0.10.33601 Firebird 3.0", Firebird30},
      {"WI-V3.0.10.33601", "LI-V3.0.11.33637 Firebird 3.0", Firebird30},
      {"LI-V6.3.11.33637", "LI-V4.0.2.2816 Firebird 4.0", UnknownServer},
      {"LI-V6.3.11.33637", "?", UnknownServer},
      {"LI-V6.3.11.33637", "WI-V1.5.2.4731 Firebird 1.5", UnknownServer},
      {"?", "LI-V3.0.11.33637 Firebird 3.0", UnknownServer},
  };
  for (const PairingCase& c : cases)
    EXPECT_EQ(ServerTypeFor(QString::fromUtf8(c.client), QString::fromUtf8(c.server)), c.type)
        << c.client << " / " << c.server;
}

struct ClientCase {
  const char* version;
  bool connectionModule;
  bool startGate;
};

TEST(ClientVersions, ModuleAndGateAcceptTheirLists) {
  const ClientCase cases[] = {
      {"WI-V1.0.0.794", true, false},
      {"WI-V1.0.2.908", true, false},
      {"WI-V6.3.0.4290", true, true},
      {"WI-V6.3.2.4731", true, true},
      {"WI-V6.3.2.4732", false, false},  // one digit off
      {"wi-v6.3.2.4731", false, false},  // letter case
      {"WI-V2.5.2.26540", true, true},
      {"WI-V2.5.2.26541", true, false},  // the module takes any 2.5 client
      {"WI-V2.", false, false},
      {"LI-V6.3.11.33637", true, true},
      {"WI-V3.0.10.33601", true, true},
      {"LI-V6.3", false, false},
      {"?", false, false},
      {"", false, false},
  };
  for (const ClientCase& c : cases) {
    const QString version = QString::fromUtf8(c.version);
    EXPECT_EQ(IsKnownClientVersion(version), c.connectionModule) << c.version;
    EXPECT_EQ(IsAcceptedGateVersion(version), c.startGate) << c.version;
  }
}

TEST(ClientVersions, RefusalTexts) {
  EXPECT_EQ(UnknownClientMessage(QStringLiteral("?")),
            QStringLiteral("La version du client Firebird utilisé est inconnue du programme. Par sécurité, aucune "
                           "connexion à la base de données ne sera établie.\r\n\r\n?"));
  EXPECT_EQ(PairingRefusedMessage(QStringLiteral("WI-V2.5.2.26540"), QStringLiteral("WI-V1.5.2.4731 Firebird 1.5")),
            QStringLiteral("La version du client Firebird utilisé ne correspond pas à celle du serveur Firebird. Par "
                           "sécurité, aucune connexion à la base de données ne sera établie.\r\n\r\nClient : "
                           "WI-V2.5.2.26540\r\nServer : WI-V1.5.2.4731 Firebird 1.5"));
}

}  // namespace
