// The print-list storage module on a real company database: existence test,
// insert with the header's titles, update of the text alone, and the table
// manager's refusals.
#include "printlists/structure_printing.h"

#include "db/db_connection.h"
#include "installation_fixture.h"
#include "support/errors.h"

namespace {

using kelvaro::TdmStructurePrinting;
using kelvaro::db::TdmDBConnection;

class StructurePrintingTest : public installtest::InstallationTest {
 protected:
  void SetUp() override {
    InstallationTest::SetUp();
    if (IsSkipped()) return;
    db = std::make_unique<dbtest::CompanyDatabase>();
    connection.Init(2, QStringLiteral("WK_Torvida"), QStringLiteral("Base de données"), QStringLiteral("Updater"));
    connection.SetParams(reach(*db), {}, {}, {});
    connection.ConnectAsKelvaro();
    ASSERT_TRUE(connection.Connected());
  }
  void TearDown() override {
    connection.Disconnect();
    InstallationTest::TearDown();
  }

  std::unique_ptr<dbtest::CompanyDatabase> db;
  TdmDBConnection connection;
  TdmStructurePrinting storage{nullptr, QString(), &connection};
};

TEST_F(StructurePrintingTest, InsertsAllSixColumnsThenUpdatesOnlyTheText) {
  const QStringList first{QStringLiteral("COM:TV2"), QStringLiteral("DES:F:Adresses complètes"),
                          QStringLiteral("DES:D:Adressen"), QStringLiteral("DES:I:Indirizzi"), QStringLiteral("BODY:1")};
  EXPECT_FALSE(storage.PrintParamsExists(QStringLiteral("adresses")));
  EXPECT_EQ(storage.InsertPrintParams(QStringLiteral("adresses"), first), QStringLiteral("Adresses complètes"));
  EXPECT_TRUE(storage.PrintParamsExists(QStringLiteral("adresses")));
  EXPECT_FALSE(storage.PrintParamsExists(QStringLiteral("Adresses"))) << "keys compare exactly";

  auto rows = storedLists(*db);
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0][0].toString(), QStringLiteral("adresses"));
  EXPECT_EQ(rows[0][1].toString(), QStringLiteral("Adressen"));
  EXPECT_EQ(rows[0][2].toString(), QStringLiteral("Adresses complètes"));
  EXPECT_EQ(rows[0][3].toString(), QStringLiteral("Indirizzi"));
  EXPECT_EQ(rows[0][4].toString(), QStringLiteral("TV2"));
  // Every line, the last one too, ends with CR LF.
  EXPECT_EQ(rows[0][5].toString(), first.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));

  const QStringList second{QStringLiteral("COM:OTHER"), QStringLiteral("DES:F:Autre titre"), QStringLiteral("BODY:2")};
  storage.UpdatePrintParams(QStringLiteral("adresses"), second);
  rows = storedLists(*db);
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0][2].toString(), QStringLiteral("Adresses complètes")) << "titles stay as first inserted";
  EXPECT_EQ(rows[0][4].toString(), QStringLiteral("TV2"));
  EXPECT_EQ(rows[0][5].toString(), QStringLiteral("COM:OTHER\r\nDES:F:Autre titre\r\nBODY:2\r\n"));

  // A row that vanished in between: nothing changes, no error.
  EXPECT_NO_THROW(storage.UpdatePrintParams(QStringLiteral("absente"), second));
  EXPECT_EQ(storedLists(*db).size(), 1);
  EXPECT_EQ(connection.GlobalTransaction->tag, 0);
}

TEST_F(StructurePrintingTest, FailuresRollBackAndLeaveNoRow) {
  const QString longTitle(91, QLatin1Char('x'));
  const struct {
    const char* what;
    QString key;
    QStringList lines;
  } cases[] = {
      {"title longer than its column", QStringLiteral("longue"), {QStringLiteral("DES:F:") + longTitle}},
      {"tag longer than its column", QStringLiteral("tag"), {QStringLiteral("COM:") + QString(31, QLatin1Char('t'))}},
      {"key longer than its column", QString(61, QLatin1Char('k')), {QStringLiteral("DES:F:ok")}},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(storage.InsertPrintParams(c.key, c.lines), kelvaro::DatabaseError) << c.what;
    EXPECT_EQ(connection.GlobalTransaction->tag, 0) << c.what;
    EXPECT_FALSE(connection.GlobalTransaction->active()) << c.what;
  }
  EXPECT_TRUE(storedLists(*db).isEmpty());
  // The module still works after the failures.
  EXPECT_EQ(storage.InsertPrintParams(QStringLiteral("ok"), {QStringLiteral("DES:F:Bien")}), QStringLiteral("Bien"));
}

TEST_F(StructurePrintingTest, TitlesAndTextKeepTheirWindows1252Bytes) {
  // The products read these rows with the Windows code page: the byte stored
  // is the character's byte there, and reading it back gives the character.
  const struct {
    QString character;
    int byte;
  } cases[] = {
      {QStringLiteral("é"), 0xE9},
      {QStringLiteral("€"), 0x80},
      {QStringLiteral("Œ"), 0x8C},
      {QStringLiteral("œ"), 0x9C},
  };
  int n = 0;
  for (const auto& c : cases) {
    const QString key = QStringLiteral("liste%1").arg(++n);
    const QString title = c.character + QStringLiteral(" titre");
    const QStringList lines{QStringLiteral("DES:F:") + title, QStringLiteral("BODY:") + c.character};
    EXPECT_EQ(storage.InsertPrintParams(key, lines), title);
    const auto rows = db->rows(QStringLiteral("SELECT f_text, ASCII_VAL(f_text), print_params FROM PRT_Params "
                                              "WHERE pname = '%1'").arg(key));
    ASSERT_EQ(rows.size(), 1) << key.toStdString();
    EXPECT_EQ(rows[0][0].toString(), title);
    EXPECT_EQ(rows[0][1].toInt(), c.byte) << title.toStdString();
    EXPECT_EQ(rows[0][2].toString(), lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
  }
}

TEST_F(StructurePrintingTest, ACharacterWithoutAWindows1252ByteIsRefusedNotReplaced) {
  // Such a character cannot come from a definition file, only from a name
  // decoded from a file with a byte-order mark: the list is refused and
  // nothing is stored in its place.
  for (const QString& key : {QStringLiteral("liste\u0141"), QStringLiteral("\u4e2d")}) {
    try {
      storage.InsertPrintParams(key, {QStringLiteral("DES:F:Titre")});
      ADD_FAILURE() << key.toStdString() << " was stored";
    } catch (const kelvaro::Error& error) {
      EXPECT_TRUE(error.message().startsWith(QStringLiteral("Cannot store \"") + key.back() + QLatin1Char('"')))
          << error.what();
    }
    EXPECT_EQ(connection.GlobalTransaction->tag, 0);
    EXPECT_FALSE(connection.GlobalTransaction->active());
  }
  EXPECT_TRUE(storedLists(*db).isEmpty());
}

TEST_F(StructurePrintingTest, TableManagerRefusals) {
  try {
    storage.ManagerPrintParams.FindPK({QStringLiteral("a"), QStringLiteral("b")});
    ADD_FAILURE() << "two values for one key column";
  } catch (const kelvaro::Error& error) {
    EXPECT_EQ(error.message(), QStringLiteral("FindPK : count mismatch"));
  }
  kelvaro::TTableManager orphan;
  orphan.TableName = QStringLiteral("PRT_Params");
  orphan.FieldDefs = storage.ManagerPrintParams.FieldDefs;
  try {
    orphan.FindPK({QStringLiteral("a")});
    ADD_FAILURE() << "no database manager";
  } catch (const kelvaro::Error& error) {
    EXPECT_EQ(error.message(), QStringLiteral("no database! (3)"));
  }
  QStringList insert;
  storage.ManagerPrintParams.BuildSQL4Insert(insert);
  EXPECT_EQ(insert.last(), QStringLiteral("VALUES (:pname, :d_text, :f_text, :i_text, :compat, :print_params)"));
}

TEST_F(StructurePrintingTest, TheExistenceQueryFollowsTheConnectionToAnotherDatabase) {
  storage.InsertPrintParams(QStringLiteral("liste"), {QStringLiteral("DES:F:Liste")});
  dbtest::CompanyDatabase other;
  connection.SetParams(reach(other), {}, {}, {});
  connection.ConnectAsKelvaro();
  ASSERT_TRUE(connection.Connected());
  EXPECT_FALSE(storage.PrintParamsExists(QStringLiteral("liste")));
  connection.Disconnect();
  // Without a connection the bracket raises and leaves nothing behind.
  EXPECT_THROW(storage.PrintParamsExists(QStringLiteral("liste")), std::exception);
  EXPECT_EQ(connection.GlobalTransaction->tag, 0);
}

TEST(StructurePrintingCreation, NeedsAConnectionModule) {
  try {
    TdmStructurePrinting storage(nullptr, QString(), nullptr);
    ADD_FAILURE() << "created without a connection module";
  } catch (const kelvaro::Error& error) {
    EXPECT_TRUE(error.message().startsWith(QStringLiteral("FConnection = NIL"))) << error.message().toStdString();
  }
}

}  // namespace
