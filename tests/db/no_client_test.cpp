// A workstation whose Firebird client library cannot be loaded: this
// executable runs with KELVARO_FBCLIENT naming a library that does not exist.
#include <gtest/gtest.h>

#include "db/client_gate.h"
#include "db/db_connection.h"
#include "db/fb_library.h"
#include "fixtures/temp_prefix.h"
#include "support/errors.h"
#include "support/scripted_user.h"

using namespace kelvaro;
using namespace kelvaro::db;

namespace {

TEST(NoClientLibrary, VersionIsQuestionMark) {
  ASSERT_EQ(FbLibrary::LibraryName(), QStringLiteral("libfbclient-absent.so.2"));
  EXPECT_EQ(FbLibrary::Get(), nullptr);
  EXPECT_FALSE(FbLibrary::LoadError().isEmpty());
  EXPECT_EQ(ClientLibraryVersion(), QStringLiteral("?"));
}

TEST(NoClientLibrary, StartGateWarnsAndRefuses) {
  ScopedScriptedUser scripted;
  EXPECT_FALSE(CheckClientLibraryVersion());
  ASSERT_EQ(scripted.user.shown.size(), 1u);
  EXPECT_EQ(scripted.user.shown[0].kind, MessageKind::Warning);
  EXPECT_EQ(scripted.user.shown[0].text,
            QStringLiteral("ATTENTION !!!\r\n\r\nCette mise à jour a détecté une version incompatible de "
                           "Firebird.\r\n\r\nVeuillez contacter la société Kelvaro.\r\n\r\nL'application va se "
                           "terminer."));
}

TEST(NoClientLibrary, ConnectionRefusedAsUnknownClient) {
  fixtures::TempPrefix prefix;
  ScopedScriptedUser scripted;
  TdmDBConnection module;
  module.Init(2, QStringLiteral("WK_Torvida"), QString(), QStringLiteral("Updater"));
  module.SetParams(QStringLiteral("127.0.0.1:C:\\base.fdb"), QString(), QString(), QString());
  try {
    module.ConnectAsKelvaro();
    FAIL() << "connected without a client library";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(),
              QStringLiteral("La version du client Firebird utilisé est inconnue du programme. Par sécurité, "
                             "aucune connexion à la base de données ne sera établie.\r\n\r\n?"));
  }
  EXPECT_FALSE(module.Connected());
  EXPECT_TRUE(scripted.user.shown.empty());
  module.Disconnect();  // nothing to close, nothing raised
}

TEST(NoClientLibrary, ComponentsFailWithClearError) {
  IbDatabase database;
  database.setDatabaseName(QStringLiteral("127.0.0.1:/tmp/base.fdb"));
  try {
    database.open();
    FAIL() << "opened without a client library";
  } catch (const DatabaseError&) {
    FAIL() << "a missing library is not a database error";
  } catch (const Error& error) {
    EXPECT_TRUE(error.message().contains(QStringLiteral("libfbclient-absent.so.2"))) << error.what();
  }
  EXPECT_FALSE(database.connected());
}

}  // namespace
