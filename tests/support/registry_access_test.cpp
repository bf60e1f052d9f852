// Registry helpers with French messages, on a real temporary prefix.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <thread>

#include "fixtures/fake_wineserver.h"
#include "fixtures/temp_prefix.h"
#include "platform/registry.h"
#include "support/errors.h"
#include "support/registry_access.h"
#include "support/scripted_user.h"

namespace kelvaro {
namespace {

const QString kKey = QStringLiteral("SOFTWARE\\KELVARO S.A.\\Torvida\\Program");

class RegistryAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix.appendUserReg(
        "[Software\\\\KELVARO S.A.\\\\Torvida\\\\Program] 1796862791\n"
        "\"Build\"=dword:00000005\n"
        "\"Digit\"=\"5\"\n"
        "\"Expand\"=str(2):\"%TEMP%\\\\x\"\n"
        "\"Blob\"=hex:01,02\n"
        "\"Filename\"=\"C:\\\\WKelvaro\\\\Torvida\\\\Programs\\\\WKTorvida2.dll\"\n");
  }
  fixtures::TempPrefix prefix;
};

TEST_F(RegistryAccessTest, ReadRegistryValueGivesIntegerOrStringByStoredType) {
  struct Case {
    const char* name;
    const char* defaultValue;
    bool isInteger;
    int integer;
    const char* text;
  } cases[] = {
      {"Build", "", true, 5, ""},
      {"Digit", "", false, 0, "5"},
      {"Expand", "", false, 0, "%TEMP%\\x"},  // read unexpanded
      {"Missing", "", true, 0, ""},
      {"Missing", "fallback", false, 0, "fallback"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RegistryData data = ReadRegistryValue(kHkeyCurrentUser, kKey, QString::fromUtf8(c.name), platform::kKeyRead,
                                                 QString::fromUtf8(c.defaultValue), false);
    EXPECT_EQ(data.isInteger, c.isInteger);
    EXPECT_EQ(data.integer, c.integer);
    EXPECT_EQ(data.text, QString::fromUtf8(c.text));
  }
}

TEST_F(RegistryAccessTest, ReadRegistryValueOfMissingKeyIsZeroOrDefault) {
  EXPECT_TRUE(ReadRegistryValue(kHkeyCurrentUser, QStringLiteral("Software\\Nowhere"), QStringLiteral("X"),
                                platform::kKeyRead, QString(), false).isInteger);
  EXPECT_EQ(ReadRegistryValue(kHkeyCurrentUser, QStringLiteral("Software\\Nowhere"), QStringLiteral("X"),
                              platform::kKeyRead, QStringLiteral("d"), false).text,
            QStringLiteral("d"));
}

TEST_F(RegistryAccessTest, BinaryValueReadAsStringIsAnError) {
  try {
    ReadRegistryValue(kHkeyCurrentUser, kKey, QStringLiteral("Blob"), platform::kKeyRead, QString(), false);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), QStringLiteral("Type de données incorrect pour 'Blob'"));
  }
}

TEST_F(RegistryAccessTest, WriteRegistryValueKinds) {
  EXPECT_FALSE(WriteRegistryValue(kHkeyCurrentUser, QString(), QStringLiteral("X"), QStringLiteral("1"),
                                  RegistryKind::String, true));
  const QString key = QStringLiteral("Software\\KELVARO S.A.\\Nouveau");
  EXPECT_FALSE(WriteRegistryValue(kHkeyCurrentUser, key, QStringLiteral("X"), QStringLiteral("1"), RegistryKind::String, false));
  ASSERT_TRUE(WriteRegistryValue(kHkeyCurrentUser, key, QStringLiteral("N"), QStringLiteral("douze"), RegistryKind::Integer, true));
  ASSERT_TRUE(WriteRegistryValue(kHkeyCurrentUser, key, QStringLiteral("M"), QStringLiteral("42"), RegistryKind::Integer, true));
  ASSERT_TRUE(WriteRegistryValue(kHkeyCurrentUser, key, QStringLiteral("S"), QStringLiteral("Société €"), RegistryKind::String, true));
  const RegistryData notANumber = ReadRegistryValue(kHkeyCurrentUser, key, QStringLiteral("N"), platform::kKeyRead, QString(), false);
  EXPECT_TRUE(notANumber.isInteger);
  EXPECT_EQ(notANumber.integer, 0);
  EXPECT_EQ(ReadRegistryValue(kHkeyCurrentUser, key, QStringLiteral("M"), platform::kKeyRead, QString(), false).integer, 42);
  EXPECT_EQ(ReadRegistryString(kHkeyCurrentUser, key, QStringLiteral("S")), QStringLiteral("Société €"));
}

TEST_F(RegistryAccessTest, RegistryStringOnMissingKeyIsEmptyAndWriteCreatesTheKey) {
  const QString key = QStringLiteral("Software\\KELVARO S.A.\\Multiste");
  EXPECT_EQ(ReadRegistryString(kHkeyCurrentUser, key, QStringLiteral("LastCompany")), QString());
  WriteRegistryString(kHkeyCurrentUser, key, QStringLiteral("LastCompany"), QStringLiteral("Café Été"));
  EXPECT_EQ(ReadRegistryString(kHkeyCurrentUser, key, QStringLiteral("LastCompany")), QStringLiteral("Café Été"));
  EXPECT_EQ(ReadRegistryString(kHkeyCurrentUser, key, QStringLiteral("Absent")), QString());
}

TEST_F(RegistryAccessTest, RefusedWriteGivesTheAccessRightsMessage) {
  // HKLM of a prefix whose system.reg is read-only: as for a non-administrator.
  ASSERT_EQ(chmod((prefix.root() + "/system.reg").c_str(), 0444), 0);
  // Tests run as root, who ignores permission bits: the layer must judge by
  // the bits themselves, as Windows judges by the key's rights.
  try {
    WriteRegistryString(kHkeyLocalMachine, QStringLiteral("Software\\KELVARO S.A.\\X"), QStringLiteral("V"), QStringLiteral("1"));
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), QStringLiteral("Écriture d'une valeur de registre impossible : \r\nVeuillez contrôler vos droits d'accès."));
  }
}

const QString kWaitNotice = QStringLiteral(
    "Wine est en cours d'exécution dans ce préfixe : attente de son arrêt avant d'écrire dans le registre…");

TEST_F(RegistryAccessTest, AWaitForALingeringWineShowsTheWaitCursor) {
  ScopedScriptedUser scripted;
  fixtures::ShortWineserverWait shortWait;
  fixtures::FakeWineserver server(prefix.root());
  ASSERT_TRUE(server.locked());
  std::thread ending([&server] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.Stop();
  });
  WriteRegistryString(kHkeyCurrentUser, kKey, QStringLiteral("Filename"), QStringLiteral("C:\\nouveau.dll"));
  ending.join();
  EXPECT_EQ(scripted.user.waitCursorChanges, (std::vector<bool>{true, false}));
  EXPECT_EQ(scripted.user.waitNotices, QStringList{kWaitNotice});
  EXPECT_EQ(ReadRegistryString(kHkeyCurrentUser, kKey, QStringLiteral("Filename")), QStringLiteral("C:\\nouveau.dll"));
}

// Wine that cannot take the change is named, by the error of a string write
// and by the reason of a failed value write.
TEST_F(RegistryAccessTest, AWriteARunningWineCannotTakeNamesWine) {
  fixtures::ShortWineserverWait shortWait;
  fixtures::FakeWineserver server(prefix.root());
  ASSERT_TRUE(server.locked());
  std::optional<fixtures::WithoutWine> noWine(std::in_place);
  const QString why = QStringLiteral(
      "Wine est en cours d'exécution dans ce préfixe et l'outil de registre de Wine est introuvable (Wine n'est pas "
      "installé) : fermez ses programmes, puis recommencez.");
  try {
    WriteRegistryString(kHkeyCurrentUser, kKey, QStringLiteral("Filename"), QStringLiteral("C:\\x.dll"));
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), why);
  }
  EXPECT_FALSE(WriteRegistryValue(kHkeyCurrentUser, QStringLiteral("Software\\Nouvelle"), QStringLiteral("V"),
                                  QStringLiteral("1"), RegistryKind::String, true));
  EXPECT_EQ(LastRegistryWriteFailure(), why);
  noWine.reset();
  server.Stop();
  EXPECT_TRUE(WriteRegistryValue(kHkeyCurrentUser, QStringLiteral("Software\\Nouvelle"), QStringLiteral("V"),
                                 QStringLiteral("1"), RegistryKind::String, true));
  EXPECT_EQ(LastRegistryWriteFailure(), QString());
}

}  // namespace
}  // namespace kelvaro
