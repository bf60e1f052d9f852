// The roll-out playbook of deploy/ansible/ run for real by Debian's
// ansible-playbook over workstations that are prefixes on this machine (local
// connection, a WINEPREFIX each, all at once). Seven of them share three
// company databases on the server through drives of their own and install the
// same print lists into them at the same moment, one of them with a fourth
// company on a server that does not answer; one runs the packed update itself
// (--unattended), one has its prefix owned by another user than the one
// Ansible connects as, and the others are set up to go wrong in one way each.
// The update is signed and only its key is trusted. The play recap, the
// messages and the fetched JSON outcomes tell each workstation's story; no
// failure stops the others.
#include <pwd.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <iostream>
#include <map>

#include "e2e_fixture.h"
#include "fixtures/ansible_play.h"
#include "fixtures/small_file_system.h"
#include "fixtures/test_user.h"
#include "fixtures/workstation_fleet.h"

#if defined(KELVARO_UPDATE_BATCH) && defined(KELVARO_PACK) && defined(KELVARO_ANSIBLE_DIR)

namespace {

using fixtures::TempPrefix;
namespace fs = std::filesystem;

const QStringList kCompanies{QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Gamma")};
const QStringList kListKeys{QStringLiteral("adresses"), QStringLiteral("etiquettes")};
const QStringList kStoredLists{QStringLiteral("adresses=Liste des adresses"), QStringLiteral("etiquettes=Étiquettes")};

// One workstation of the inventory and what is expected of it.
struct Workstation {
  std::string name;
  std::string inventoryVars;  // beyond its WINEPREFIX
  QString outcome;            // of its JSON document
  int changed = 0;            // in the recap
  int failed = 0;
  QString shown;                       // a text its messages in the play show
  bool libraryKept = false;            // its installed library stays as it was
  const TempPrefix* prefix = nullptr;  // none: its prefix does not exist
  std::unique_ptr<fixtures::SmallFileSystem> fullDisk;
  std::unique_ptr<QProcess> holder;  // keeps its library open

  ~Workstation() {
    if (!holder) return;
    holder->kill();
    holder->waitForFinished();
  }
};

using fixtures::ParseRecap;
using fixtures::Recap;

QJsonObject ReadJson(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QJsonDocument::fromJson(file.readAll()).object();
}

class AnsibleRolloutTest : public e2e::UpdateRunTest {
 protected:
  // The workstations of one site (fixtures::WorkstationFleet) on the three
  // shared databases; each gets its name and what is expected of it.
  void makeFleet(const std::vector<std::string>& names) {
    for (size_t i = 0; i < 3; ++i) {
      shared.push_back(std::make_unique<dbtest::CompanyDatabase>());
      companies.push_back({kCompanies[qsizetype(i)], shared.back()->folder().path()});
    }
    site = std::make_unique<fixtures::WorkstationFleet>(int(names.size()), companies, "torvida_1_2_3_9.dll");
    for (size_t i = 0; i < names.size(); ++i) {
      Workstation& ws = *fleet.emplace_back(std::make_unique<Workstation>());
      ws.name = names[i];
      ws.prefix = &site->workstation(int(i));
      ws.outcome = QStringLiteral("ok");
      ws.changed = 1;
    }
  }
  Workstation& host(const std::string& name) {
    return **std::find_if(fleet.begin(), fleet.end(), [&](const auto& ws) { return ws->name == name; });
  }
  static void expectFailure(Workstation& ws, const QString& outcome, const QString& shown) {
    ws.outcome = outcome;
    ws.changed = 0;
    ws.failed = 1;
    ws.shown = shown;
  }

  std::string inventory(const std::string& update) const {
    std::string text = "[workstations]\n";
    for (const auto& ws : fleet) {
      const std::string root = ws->prefix ? ws->prefix->root() : work + "/no-such-prefix";
      text += ws->name + " kelvaro_wineprefix=" + root + " " + ws->inventoryVars + "\n";
    }
    return text +
           "[workstations:vars]\nansible_connection=local\nansible_python_interpreter=/usr/bin/python3\n"
           "kelvaro_update_batch=" KELVARO_UPDATE_BATCH "\nkelvaro_update_file=" +
           update + "\nkelvaro_report_dir=" + work + "/reports\n" + groupVars;
  }

  // ansible-playbook on the playbook as shipped; its whole output.
  QString runPlaybook(const std::string& inventoryText, int* exitCode) {
    return fixtures::RunPlaybook(KELVARO_ANSIBLE_DIR, work, inventoryText, int(fleet.size()), exitCode);
  }

  // The ways a workstation is set up to go wrong.
  void addUnreachableCompany(Workstation& ws) {
    // Nothing listens on port 3099: the server does not answer.
    const fixtures::PrefixScope current(ws.prefix->root());
    registerName(QStringLiteral("Succursale"), QStringLiteral("127.0.0.1/3099:D:\\company.fdb"));
    ws.prefix->writeFile("C:\\Kelvaro\\multiste.txt", "Alpha\r\nBeta\r\nSuccursale\r\nGamma\r\n");
    ws.outcome = QStringLiteral("warning");
    ws.shown = QStringLiteral("Echec de connexion a la société Succursale, mise à jour des listes non effectuée.");
  }
  void holdLibrary(Workstation& ws) {
    ws.holder = std::make_unique<QProcess>();
    ws.holder->start(QStringLiteral("sh"),
                     {QStringLiteral("-c"), QStringLiteral("exec 3<\"$1\"; echo ready; exec sleep 300"),
                      QStringLiteral("sh"), QString::fromStdString(ws.prefix->hostPath(e2e::kInstalled))});
    ASSERT_TRUE(ws.holder->waitForReadyRead(10000));
    expectFailure(ws, QStringLiteral("failed"), QStringLiteral("La mise à jour a échouée !"));
    ws.libraryKept = true;
  }
  void fillTemporaryFolder(Workstation& ws) {
    const passwd* user = getpwuid(getuid());
    const std::string temp = ws.prefix->hostPath("C:\\users\\" + std::string(user ? user->pw_name : "user") + "\\Temp");
    ws.fullDisk = std::make_unique<fixtures::SmallFileSystem>(temp, "16k");
    if (!ws.fullDisk->mounted()) GTEST_SKIP() << ws.fullDisk->why();
    std::ofstream(temp + "/filler", std::ios::binary) << std::string(64 * 1024, 'x');
    expectFailure(ws, QStringLiteral("failed"), QStringLiteral("Espace insuffisant sur le disque."));
    ws.libraryKept = true;
  }
  void addMissingPrefix(const std::string& name) {
    Workstation& ws = *fleet.emplace_back(std::make_unique<Workstation>());
    ws.name = name;
    expectFailure(ws, QStringLiteral("not-run"), QStringLiteral("does not exist or is not a prefix"));
  }
  void giveAFileThatIsNotAnUpdate(Workstation& ws) {
    const std::string text = work + "/MajTorvida.txt";
    std::ofstream(text) << "not an update\n";
    ws.inventoryVars = "kelvaro_update_file=" + text;
    expectFailure(ws, QStringLiteral("not-run"), QStringLiteral("is not an update: it carries no files"));
    ws.libraryKept = true;
  }

  // A key pair made by kelvaro-pack in the work folder; the arguments that
  // sign with it. Its public key is trusted by every workstation.
  QStringList trustNewKey(const std::string& name) {
    QProcess pack;
    pack.setWorkingDirectory(QString::fromStdString(work));
    pack.start(QStringLiteral(KELVARO_PACK), {QStringLiteral("--new-key"), QString::fromStdString(name)});
    EXPECT_TRUE(pack.waitForFinished(30000) && pack.exitCode() == 0) << pack.readAllStandardError().toStdString();
    return {QStringLiteral("--sign"), QString::fromStdString(work + "/" + name + ".secret")};
  }
  void runUpdateItself(Workstation& ws) {
    const std::string itself = package().pack(updateName() + "Poste", fixtures::UpdatePackage::Base::Wizard);
    ASSERT_FALSE(itself.empty());
    ws.inventoryVars = "kelvaro_run_form=itself kelvaro_trust_key='' kelvaro_update_file=" + itself;
  }
  void giveAnUpdateSignedByAnotherKey(Workstation& ws) {
    const std::string other = package().pack(updateName() + "Autre", fixtures::UpdatePackage::Base::BatchRunner,
                                             trustNewKey("autre"));
    ASSERT_FALSE(other.empty());
    ws.inventoryVars = "kelvaro_update_file=" + other;
    expectFailure(ws, QStringLiteral("failed"), QStringLiteral("Mise à jour refusée : elle est signée par la clé"));
    ws.libraryKept = true;
  }
  void giveAlteredUpdate(Workstation& ws, const std::string& update) {
    // One byte of the signed update's last carried file changed (the index
    // after it is a few hundred bytes).
    const std::string altered = work + "/MajTorvidaModifiee";
    fs::copy_file(update, altered);
    std::fstream file(altered, std::ios::binary | std::ios::in | std::ios::out);
    file.seekg(-4096, std::ios::end);
    const char byte = char(file.get() ^ 0x20);
    file.seekp(-4096, std::ios::end);
    file.put(byte);
    ws.inventoryVars = "kelvaro_update_file=" + altered;
    expectFailure(ws, QStringLiteral("failed"), QStringLiteral("est endommagé : son empreinte SHA-256"));
    ws.libraryKept = true;
  }
  // The workstation's prefix given to owner: the role runs the update as
  // owner (Ansible's become) instead of the connecting root, which the
  // programs would refuse with exit code 5.
  void giveToAnotherUser(Workstation& ws, const fixtures::TestUser& owner) {
    ASSERT_TRUE(owner.giveTree(ws.prefix->root()));
    // su: root needs no password, and sudo may be missing; the throwaway
    // user has no login shell.
    ws.inventoryVars = "ansible_become_method=su \"ansible_become_flags=-s /bin/sh\"";
    // owner reaches the copies Ansible leaves under the work folder.
    for (const std::string& folder : {prefix.root(), work}) fs::permissions(folder, fs::perms(0755));
  }

  // A package of the given name and version made with dpkg-deb; its path.
  std::string makePackage(const std::string& name, const std::string& version) const {
    const std::string tree = work + "/" + name + "-package";
    fs::create_directories(tree + "/DEBIAN");
    std::ofstream(tree + "/DEBIAN/control")
        << "Package: " << name << "\nVersion: " << version
        << "\nArchitecture: all\nMaintainer: Kelvaro <tests@example.invalid>\nDescription: roll-out test\n";
    const std::string deb = work + "/" + name + ".deb";
    EXPECT_EQ(Shell("dpkg-deb --root-owner-group --build '" + tree + "' '" + deb + "' >/dev/null"), 0);
    return deb;
  }
  // The version dpkg has installed of package, empty when none.
  static std::string InstalledVersion(const std::string& package) {
    QProcess query;
    query.start(QStringLiteral("dpkg-query"),
                {QStringLiteral("--showformat=${db:Status-Status} ${Version}"), QStringLiteral("--show"),
                 QString::fromStdString(package)});
    query.waitForFinished();
    const QString out = QString::fromUtf8(query.readAllStandardOutput());
    return out.startsWith(QStringLiteral("installed ")) ? out.mid(10).toStdString() : std::string();
  }
  static int Shell(const std::string& command) { return std::system(command.c_str()); }

  // A package the workstation already has at that version: the role installs
  // nothing (the very package dpkg belongs to, so a wrong install could only
  // be a no-op of apt's). Where the test runs as root and the throwaway
  // package kelvaro-rollout-probe is not installed, another workstation gets
  // it installed for real; the test purges it afterwards.
  void givePackages(Workstation& present, Workstation& fresh) {
    present.inventoryVars += " kelvaro_package_deb=" + makePackage("dpkg", InstalledVersion("dpkg"));
    if (getuid() != 0 || !InstalledVersion(kProbe).empty()) return;
    fresh.inventoryVars += " kelvaro_package_deb=" + makePackage(kProbe, "1.0");
    fresh.changed = 2;  // the package, then the update
    probeInstalled = true;
  }
  static constexpr const char* kProbe = "kelvaro-rollout-probe";
  bool probeInstalled = false;  // by the playbook: purged when the test ends

  // The machine keeps no package of the test's, however the test ended.
  void TearDown() override {
    if (probeInstalled && !InstalledVersion(kProbe).empty()) Shell(std::string("dpkg --purge ") + kProbe + " >/dev/null");
    e2e::UpdateRunTest::TearDown();
  }

  // The hosts named in the task's lines of the output, as "changed: [host]"
  // and the like.
  static QStringList TaskLines(const QString& output, const QString& task) {
    const qsizetype start = output.indexOf(QStringLiteral("TASK [kelvaro_update : ") + task + QLatin1Char(']'));
    if (start < 0) return {};
    const qsizetype end = output.indexOf(QStringLiteral("\nTASK ["), start + 1);
    return output.mid(start, end - start).split(QLatin1Char('\n'));
  }

  static void checkRecapAndMessages(const Workstation& ws, const std::map<std::string, Recap>& recap,
                                    const QString& output) {
    const auto found = recap.find(ws.name);
    ASSERT_NE(found, recap.end()) << "not in the recap";
    EXPECT_EQ(found->second.changed, ws.changed);
    EXPECT_EQ(found->second.failed, ws.failed);
    EXPECT_EQ(found->second.unreachable, 0);
    if (!ws.shown.isEmpty()) {
      EXPECT_TRUE(output.contains(ws.shown)) << "not shown: " << ws.shown.toStdString();
    }
  }

  // The fetched JSON outcome; every company on the shared databases has
  // each list once, added or updated, and no failure.
  void checkOutcome(const Workstation& ws, std::map<QString, std::map<QString, int>>* added) const {
    const QJsonObject json = ReadJson(work + "/reports/" + ws.name + ".json");
    EXPECT_EQ(json[QStringLiteral("outcome")].toString(), ws.outcome);
    for (const QJsonValue company : json[QStringLiteral("companies")].toArray()) {
      const QString name = company[QStringLiteral("company")].toString();
      if (!kCompanies.contains(name)) continue;
      EXPECT_EQ(company[QStringLiteral("failures")], QJsonArray()) << name.toStdString();
      QStringList seen;
      for (const char* kind : {"added", "updated"}) {
        for (const QJsonValue key : company[QString::fromLatin1(kind)].toArray()) seen << key.toString();
      }
      seen.sort();
      EXPECT_EQ(seen, kListKeys) << name.toStdString();
      for (const QJsonValue key : company[QStringLiteral("added")].toArray()) ++(*added)[name][key.toString()];
    }
    if (ws.libraryKept) {
      EXPECT_EQ(ws.prefix->readFile(e2e::kInstalled), fixture("torvida_1_2_3_9.dll"));
    }
  }

  std::vector<std::unique_ptr<dbtest::CompanyDatabase>> shared;
  std::vector<fixtures::SharedCompany> companies;
  std::unique_ptr<fixtures::WorkstationFleet> site;
  std::vector<std::unique_ptr<Workstation>> fleet;
  std::string groupVars;  // more variables of every workstation
};

TEST_F(AnsibleRolloutTest, EveryWorkstationGetsItsOutcomeAndTheSharedListsAreStoredOnce) {
  carryTorvidaUpdate();
  const std::string update = pack(trustNewKey("editeur"));
  groupVars = "kelvaro_trust_key=" + work + "/editeur.public\n";
  makeFleet({"poste1", "poste2", "poste3", "poste4", "poste5", "poste6", "poste7", "occupe", "plein",
             "mauvais-fichier", "autre-cle", "modifiee"});
  fixtures::TestUser owner;
  if (getuid() == 0 && owner.available()) giveToAnotherUser(host("poste3"), owner);
  runUpdateItself(host("poste2"));
  giveAnUpdateSignedByAnotherKey(host("autre-cle"));
  giveAlteredUpdate(host("modifiee"), update);
  givePackages(host("poste5"), host("poste6"));
  addUnreachableCompany(host("poste4"));
  holdLibrary(host("occupe"));
  fillTemporaryFolder(host("plein"));
  if (HasFatalFailure() || IsSkipped()) return;
  giveAFileThatIsNotAnUpdate(host("mauvais-fichier"));
  addMissingPrefix("sans-prefixe");

  int exitCode = -1;
  const QString output = runPlaybook(inventory(update), &exitCode);
  if (probeInstalled) {
    EXPECT_EQ(InstalledVersion(kProbe), "1.0");
  }
  EXPECT_EQ(exitCode, 2) << "some hosts failed";
  const QStringList install = TaskLines(output, QStringLiteral("Install the package with apt"));
  EXPECT_TRUE(install.contains(QStringLiteral("skipping: [poste5]"))) << install.join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(install.contains(QStringLiteral("changed: [poste6]")), probeInstalled);

  const std::map<std::string, Recap> recap = ParseRecap(output);
  std::map<QString, std::map<QString, int>> added;  // company -> list -> how many runs added it
  for (const auto& ws : fleet) {
    SCOPED_TRACE(ws->name);
    checkRecapAndMessages(*ws, recap, output);
    checkOutcome(*ws, &added);
  }
  // Whichever run came first added each list; every other found it there.
  for (const QString& company : kCompanies) {
    for (const QString& key : kListKeys)
      EXPECT_EQ(added[company][key], 1) << company.toStdString() << " " << key.toStdString();
  }
  for (const auto& db : shared) EXPECT_EQ(StoredLists(*db), kStoredLists);
  EXPECT_EQ(fleet.front()->prefix->readFile(e2e::kInstalled), fixture("torvida_2_0_0_0.dll"));
  if (HasFailure()) std::cout << "ansible-playbook said:\n" << output.toStdString();
}

}  // namespace

#endif
