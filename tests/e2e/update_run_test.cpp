// The address manager's update end to end, print lists included: the whole
// report of each run, the exit code and what landed in the databases.
#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <fstream>

#include "e2e_fixture.h"
#include "platform/prefix/data_resources.h"

#if defined(KELVARO_UPDATE_BATCH) && defined(KELVARO_PACK)

namespace {

using e2e::Added;
using e2e::BatchRun;
using e2e::Company;
using e2e::Copies;
using e2e::Failure;
using e2e::kAllFiles;
using e2e::kFailed;
using e2e::kSuccess;
using e2e::kTitle;
using e2e::kWarnings;
using e2e::Updated;

const QStringList kAddedBoth{Added(QStringLiteral("Liste des adresses")), Added(QStringLiteral("Étiquettes"))};
const QStringList kUpdatedBoth{Updated(QStringLiteral("adresses")), Updated(QStringLiteral("etiquettes"))};
const QStringList kStoredBoth{QStringLiteral("adresses=Liste des adresses"), QStringLiteral("etiquettes=Étiquettes")};

// One company of the JSON document: the keys of the lists added and updated,
// and the failures.
const QStringList kBothKeys{QStringLiteral("adresses"), QStringLiteral("etiquettes")};
QJsonObject CompanyJson(const QString& name, const QStringList& added, const QStringList& updated,
                        const QStringList& failures) {
  return {{QStringLiteral("company"), name},
          {QStringLiteral("added"), QJsonArray::fromStringList(added)},
          {QStringLiteral("updated"), QJsonArray::fromStringList(updated)},
          {QStringLiteral("failures"), QJsonArray::fromStringList(failures)}};
}

class TorvidaUpdateTest : public e2e::UpdateRunTest {};

TEST_F(TorvidaUpdateTest, FirstRunAddsSecondRunUpdatesSameVersionDeclined) {
  // Two named companies and, from the empty line, the default one.
  carryTorvidaUpdate();
  installTorvida("torvida_1_2_3_9.dll");
  auto& alpha = companyDatabase(QStringLiteral("Alpha"));
  auto& beta = companyDatabase(QStringLiteral("Beta"));
  auto& byDefault = companyDatabase(QStringLiteral("Paths"));
  companies("Alpha\r\nBeta\r\n\r\n");
  const std::string update = pack();

  const BatchRun first = run(update);
  EXPECT_EQ(first.out, kTitle + Copies(kAllFiles) + Company(QStringLiteral("Alpha"), kAddedBoth) +
                           Company(QStringLiteral("Beta"), kAddedBoth) + Company(QStringLiteral("Default"), kAddedBoth) +
                           kSuccess);
  EXPECT_EQ(first.exitCode, 0);
  EXPECT_EQ(first.err, QString());
  for (const auto* db : {&alpha, &beta, &byDefault}) EXPECT_EQ(StoredLists(*db), kStoredBoth);

  // The installed library is now the carried one: the question comes back.
  const BatchRun second =
      run(update, {QStringLiteral("--answer"), QStringLiteral("yes"), QStringLiteral("--json"), outcomePath()});
  EXPECT_EQ(second.out, kTitle + Copies(kAllFiles) + Company(QStringLiteral("Alpha"), kUpdatedBoth) +
                            Company(QStringLiteral("Beta"), kUpdatedBoth) +
                            Company(QStringLiteral("Default"), kUpdatedBoth) + kSuccess);
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(StoredLists(alpha), kStoredBoth) << "titles stay as first inserted";
  EXPECT_EQ(readOutcome()[QStringLiteral("companies")],
            QJsonArray({CompanyJson(QStringLiteral("Alpha"), {}, kBothKeys, {}),
                        CompanyJson(QStringLiteral("Beta"), {}, kBothKeys, {}),
                        CompanyJson(QStringLiteral("Default"), {}, kBothKeys, {})}));

  beta.exec({QStringLiteral("DELETE FROM PRT_Params")});
  const BatchRun declined = run(update);
  EXPECT_EQ(declined.out, kTitle +
                              QStringLiteral("Le fichier C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll\n"
                                             "est à jour : il n'est pas remplacé.\n\n") +
                              QStringLiteral("\nLa mise à jour n'a pas été effectuée.\n"));
  EXPECT_EQ(declined.exitCode, 2);
  EXPECT_TRUE(StoredLists(beta).isEmpty()) << "a declined update installs no list";
}

TEST_F(TorvidaUpdateTest, CompaniesThatCannotBeUsedAreReportedAndTheOthersInstalled) {
  // Unreachable: a database file that does not exist; Other: a database of
  // another product (refused identity); Nowhere: nothing in the registry.
  carryTorvidaUpdate();
  installTorvida("torvida_1_2_3_9.dll");
  auto& alpha = companyDatabase(QStringLiteral("Alpha"));
  auto& other = companyDatabase(QStringLiteral("Other"));
  other.setControlRow(2, QStringLiteral("WKS_PRO"));
  registerName(QStringLiteral("Unreachable"), QStringLiteral("127.0.0.1:C:\\Data\\absent.fdb"));
  auto& last = companyDatabase(QStringLiteral("Last"));
  companies("Unreachable\r\nAlpha\r\nOther\r\nNowhere\r\nLast\r\n");

  const BatchRun result = run(pack(), {QStringLiteral("--json"), outcomePath()});
  EXPECT_EQ(result.out, kTitle + Copies(kAllFiles) +
                            Company(QStringLiteral("Unreachable"), {Failure(QStringLiteral("Unreachable"))}) +
                            Company(QStringLiteral("Alpha"), kAddedBoth) +
                            Company(QStringLiteral("Other"), {Failure(QStringLiteral("Other"))}) +
                            Company(QStringLiteral("Nowhere"), {Failure(QStringLiteral("Nowhere"))}) +
                            Company(QStringLiteral("Last"), kAddedBoth) + kWarnings);
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(StoredLists(alpha), kStoredBoth);
  EXPECT_EQ(StoredLists(last), kStoredBoth);
  EXPECT_TRUE(StoredLists(other).isEmpty());

  const QJsonObject json = readOutcome();
  EXPECT_EQ(json[QStringLiteral("outcome")], QStringLiteral("warning"));
  EXPECT_EQ(json[QStringLiteral("exitCode")], 3);
  EXPECT_EQ(json[QStringLiteral("companies")],
            QJsonArray({CompanyJson(QStringLiteral("Unreachable"), {}, {}, {Failure(QStringLiteral("Unreachable"))}),
                        CompanyJson(QStringLiteral("Alpha"), kBothKeys, {}, {}),
                        CompanyJson(QStringLiteral("Other"), {}, {}, {Failure(QStringLiteral("Other"))}),
                        CompanyJson(QStringLiteral("Nowhere"), {}, {}, {Failure(QStringLiteral("Nowhere"))}),
                        CompanyJson(QStringLiteral("Last"), kBothKeys, {}, {})}));
}

TEST_F(TorvidaUpdateTest, ListNamesInCapitals) {
  carryTorvidaUpdate();
  drop("Adresses.lst");
  drop("Etiquettes.lst");
  carry("PrintLists.txt", "ADRESSES.LST\r\nNotice.TXT\r\n");
  carry("ADRESSES.LST", e2e::ListDefinition("Liste des adresses", "Adressliste", "Elenco indirizzi"));
  carry("Notice.TXT", "DES:F:not a list\r\n");
  installTorvida("torvida_1_2_3_9.dll");
  auto& byDefault = companyDatabase(QStringLiteral("Paths"));

  const BatchRun result = run(pack());
  EXPECT_EQ(result.out, kTitle + Copies(kAllFiles) +
                            Company(QStringLiteral("Default"), {Added(QStringLiteral("Liste des adresses"))}) + kSuccess);
  EXPECT_EQ(StoredLists(byDefault), QStringList{QStringLiteral("adresses=Liste des adresses")});
}

TEST_F(TorvidaUpdateTest, FailuresBeforeTheListsInstallNone) {
  // An installed library in use, and a required companion the update lacks:
  // the run fails before any database is touched, and what it had changed
  // goes back.
  const QString undone =
      QStringLiteral("Les fichiers et le registre ont été remis dans l'état où ils étaient avant la mise à jour.\n");
  const struct {
    const char* what;
    bool holdLibrary;
    const char* missing;
    QString report;
  } cases[] = {
      {"library in use", true, nullptr, kTitle + Copies({QStringLiteral("WKTorvida2.dll")}) + undone + kFailed},
      {"missing required companion", false, "ssleay32.dll",
       kTitle + Copies({QStringLiteral("WKTorvida2.dll"), QStringLiteral("IBANKernel.dll"), QStringLiteral("Torvida.chm")}) +
           QStringLiteral("Une erreur s'est produite lors de la mise à jour du ssleay32.dll\nCannot find ssleay32.dll\n") +
           undone + kFailed},
  };
  for (const auto& c : cases) {
    carryTorvidaUpdate();
    if (c.missing) drop(c.missing);
    installTorvida("torvida_1_2_3_9.dll");
    auto& byDefault = companyDatabase(QStringLiteral("Paths"));
    const std::string update = pack();
    std::unique_ptr<QProcess> holder;
    if (c.holdLibrary) {
      holder = std::make_unique<QProcess>();
      holder->start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec 3<\"$1\"; echo ready; exec sleep 60"),
                                           QStringLiteral("sh"), QString::fromStdString(prefix.hostPath(e2e::kInstalled))});
      ASSERT_TRUE(holder->waitForReadyRead(10000));
    }
    const BatchRun result = run(update);
    if (holder) {
      holder->kill();
      holder->waitForFinished();
    }
    EXPECT_EQ(result.exitCode, 1) << c.what;
    EXPECT_EQ(result.out, c.report) << c.what;
    EXPECT_TRUE(prefix.readFile(e2e::kInstalled) == fixture("torvida_1_2_3_9.dll")) << c.what << ": the old library is back";
    EXPECT_TRUE(StoredLists(byDefault).isEmpty()) << c.what;
  }
}

TEST_F(TorvidaUpdateTest, ABadListEndsTheInstallationAndKeepsWhatWasStored) {
  // The second list's French title does not fit its column: the first list
  // stays stored in the first company, nothing of the second is, and the
  // second company is not touched.
  carryTorvidaUpdate();
  carry("Etiquettes.lst", e2e::ListDefinition(std::string(91, 'x'), "Etiketten", "Etichette"));
  installTorvida("torvida_1_2_3_9.dll");
  auto& alpha = companyDatabase(QStringLiteral("Alpha"));
  auto& beta = companyDatabase(QStringLiteral("Beta"));
  companies("Alpha\r\nBeta\r\n");

  const BatchRun result = run(pack(), {QStringLiteral("--json"), outcomePath()});
  EXPECT_EQ(result.out, kTitle + Copies(kAllFiles) +
                            Company(QStringLiteral("Alpha"), {Added(QStringLiteral("Liste des adresses"))}) +
                            QStringLiteral("Une erreur s'est produite lors de la mise à jour du \n"
                                           "Cannot import resource files\n") +
                            kFailed);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(StoredLists(alpha), QStringList{QStringLiteral("adresses=Liste des adresses")});
  EXPECT_TRUE(StoredLists(beta).isEmpty());
  // The document names the company the error ended, with the error itself.
  const QJsonArray companies = readOutcome()[QStringLiteral("companies")].toArray();
  ASSERT_EQ(companies.size(), 1);
  EXPECT_EQ(companies[0][QStringLiteral("added")], QJsonArray{QStringLiteral("adresses")});
  const QJsonArray failures = companies[0][QStringLiteral("failures")].toArray();
  ASSERT_EQ(failures.size(), 1);
  EXPECT_FALSE(failures[0].toString().isEmpty());
}

TEST_F(TorvidaUpdateTest, AnAlteredListChangesNoFileAndNoDatabase) {
  // The list is read last, once files are copied and companies connected:
  // the check before the run must stop it first.
  carryTorvidaUpdate();
  installTorvida("torvida_1_2_3_9.dll");
  auto& alpha = companyDatabase(QStringLiteral("Alpha"));
  companies("Alpha\r\n");
  const std::string update = pack();
  std::vector<platform::prefix::BlobEntry> blobs;
  ASSERT_TRUE(platform::prefix::ReadBlobDirectory(update, &blobs));
  const auto list = std::find_if(blobs.begin(), blobs.end(), [](const auto& b) { return b.name == u"ETIQUETTES.LST"; });
  ASSERT_NE(list, blobs.end());
  {
    std::fstream file(update, std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(std::streamoff(list->offset + list->size / 2));
    const char byte = char(file.get() ^ 0x04);
    file.seekp(std::streamoff(list->offset + list->size / 2));
    file.put(byte);
  }

  const BatchRun result = run(update);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, QStringLiteral("Le fichier intégré \"ETIQUETTES.LST\" est endommagé : son empreinte SHA-256 ne "
                                       "correspond pas à celle de l'index.\n") +
                            kFailed);
  EXPECT_EQ(prefix.readFile(e2e::kInstalled), fixture("torvida_1_2_3_9.dll"));
  EXPECT_TRUE(StoredLists(alpha).isEmpty());
}

}  // namespace

#endif
