// The roll-out playbook over SSH, as administrators run it: an sshd of the
// test's own on 127.0.0.1, a key of its own, the playbook's ansible.cfg.
// Six workstations in different states are first checked
// (ansible-playbook --check --diff), then updated. The check changes
// nothing (every file of every prefix with its times, the registry files,
// every row of the companies' databases, presence included); its recap's
// changed hosts are exactly those the roll-out then changes, its failed
// hosts those whose run fails; and each host's plan lists the actions its
// run then reports.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <iostream>

#include "e2e_fixture.h"
#include "fixtures/ansible_play.h"
#include "fixtures/ssh_server.h"
#include "fixtures/workstation_fleet.h"
#include "fixtures/registry_values.h"
#include "tree_state.h"

#if defined(KELVARO_UPDATE_BATCH) && defined(KELVARO_PACK) && defined(KELVARO_ANSIBLE_DIR)

namespace {

using e2e::Differences;
using e2e::TreeState;
namespace fs = std::filesystem;

QJsonObject ReadJson(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QJsonDocument::fromJson(file.readAll()).object();
}

// The actions of an outcome as "kind target [company] before after". A
// list in a company the other workstations share may have been stored by
// one of them between the plan and the run: added by the plan, updated by
// the run. Such lists read "list company key".
QStringList ActionLines(const QJsonObject& outcome, const QStringList& sharedCompanies) {
  QStringList lines;
  for (const QJsonValue a : outcome[QStringLiteral("actions")].toArray()) {
    const QString kind = a[QStringLiteral("action")].toString();
    const QString company = a[QStringLiteral("company")].toString();
    if (kind.endsWith(QStringLiteral("-list")) && sharedCompanies.contains(company)) {
      lines << QStringLiteral("list %1 %2").arg(company, a[QStringLiteral("target")].toString());
      continue;
    }
    lines << QStringList{kind,
                         a[QStringLiteral("target")].toString(),
                         company,
                         a[QStringLiteral("before")].toString(),
                         a[QStringLiteral("after")].toString(),
                         a[QStringLiteral("sameText")].toBool() ? QStringLiteral("same") : QString()}
                 .join(QLatin1Char(' '));
  }
  return lines;
}

class AnsibleCheckTest : public e2e::UpdateRunTest {
 protected:
  struct Host {
    std::string name;
    const fixtures::TempPrefix* prefix;
    bool changes;  // the update changes it
    bool fails;    // its run fails
  };

  // Every prefix and every database's rows.
  std::string siteState() const {
    std::string state;
    for (const Host& host : hosts) {
      for (const auto& [name, entry] : TreeState(host.prefix->root()))
        state += host.name + "/" + name + "=" + entry + "\n";
    }
    for (const auto& db : databases) {
      for (const QString& select : {QStringLiteral("SELECT pname, print_params FROM PRT_Params ORDER BY pname"),
                                    QStringLiteral("SELECT username, lastcheck FROM Users ORDER BY username")}) {
        for (const QVariantList& row : db->rows(select)) {
          for (const QVariant& value : row) state += value.toString().toStdString() + "|";
          state += "\n";
        }
      }
    }
    return state;
  }
  // What the update may change on one workstation that is its user's: the
  // program files and the registry.
  static std::map<std::string, std::string> Owned(const fixtures::TempPrefix& prefix) {
    std::map<std::string, std::string> owned;
    if (fs::exists(prefix.hostPath("C:\\WKelvaro"))) owned = TreeState(prefix.hostPath("C:\\WKelvaro"), false);
    for (const char* reg : {"/user.reg", "/system.reg"}) {
      owned[reg] = fixtures::RegistryValues(prefix.root() + reg);
    }
    return owned;
  }

  std::string inventory(const std::string& update, const fixtures::SshServer& ssh) const {
    std::string text = "[workstations]\n";
    for (const Host& host : hosts)
      text += host.name + " kelvaro_wineprefix=" + host.prefix->root() + " " + ssh.ansibleVariables() + "\n";
    return text +
           "[workstations:vars]\nansible_python_interpreter=/usr/bin/"
           "python3\nkelvaro_update_batch=" KELVARO_UPDATE_BATCH "\nkelvaro_update_file=" +
           update + "\nkelvaro_report_dir=" + work + "/reports\n";
  }

  std::vector<Host> hosts;
};

TEST_F(AnsibleCheckTest, TheCheckChangesNothingAndNamesTheWorkstationsTheRollOutChanges) {
  fixtures::SshServer ssh(work + "/ssh");
  if (!ssh.running()) GTEST_SKIP() << ssh.why();
  // The update carries 1.2.4.0 and the fleet's lists.
  fixtures::CarryFleetUpdate(package(), "torvida_1_2_4_0.dll");
  const std::string update = pack();
  std::vector<fixtures::SharedCompany> shared;
  for (const QString& name : {QStringLiteral("Alpha"), QStringLiteral("Beta")}) {
    databases.push_back(std::make_unique<dbtest::CompanyDatabase>());
    shared.push_back({name, databases.back()->folder().path()});
  }
  const fixtures::WorkstationFleet site(6, shared, "torvida_1_2_3_9.dll");
  hosts = {{"ancienne", &site.workstation(0), true, false},      {"a-jour", &site.workstation(1), false, false},
           {"sans-produit", &site.workstation(2), false, true},  {"injoignable", &site.workstation(3), true, false},
           {"plus-recente", &site.workstation(4), false, false}, {"listes-a-jour", &site.workstation(5), true, false}};
  fixtures::InstallTorvida(site.workstation(1), "torvida_1_2_4_0.dll");
  fs::remove_all(site.workstation(2).hostPath("C:\\WKelvaro"));
  {
    const fixtures::PrefixScope current(site.workstation(3).root());
    registerName(QStringLiteral("Succursale"), QStringLiteral("127.0.0.1/3099:D:\\company.fdb"));
    site.workstation(3).writeFile("C:\\Kelvaro\\multiste.txt", "Alpha\r\nSuccursale\r\nBeta\r\n");
  }
  fixtures::InstallTorvida(site.workstation(4), "torvida_2_0_0_0.dll");
  {
    // A company of its own whose lists are already the carried ones: the
    // update stored them there, then the old library came back.
    const fixtures::TempPrefix& own = site.workstation(5);
    databases.push_back(std::make_unique<dbtest::CompanyDatabase>());
    own.addDrive('F', databases.back()->folder().path());
    const fixtures::PrefixScope current(own.root());
    registerName(QStringLiteral("Delta"), QStringLiteral("127.0.0.1:F:\\company.fdb"));
    own.writeFile("C:\\Kelvaro\\multiste.txt", "Delta\r\n");
    QProcess first;
    fixtures::StartBatch(&first, update, {}, own.root());
    ASSERT_EQ(fixtures::FinishBatch(&first).exitCode, 0);
    fixtures::InstallTorvida(own, "torvida_1_2_3_9.dll");
  }
  for (const auto& db : databases)
    db->exec({QStringLiteral("INSERT INTO Users (username, lastcheck) VALUES ('poste-ancien', '2001-01-01')")});

  const std::string before = siteState();
  std::map<std::string, std::map<std::string, std::string>> owned;
  for (const Host& host : hosts) owned[host.name] = Owned(*host.prefix);

  int exitCode = -1;
  const QString checked = fixtures::RunPlaybook(KELVARO_ANSIBLE_DIR, work, inventory(update, ssh), int(hosts.size()),
                                                &exitCode, {QStringLiteral("--check"), QStringLiteral("--diff")});
  EXPECT_EQ(exitCode, 2) << "sans-produit fails";
  EXPECT_EQ(siteState(), before) << "the check changed something";
  const auto checkRecap = fixtures::ParseRecap(checked);
  EXPECT_TRUE(
      checked.contains(QStringLiteral("serait remplacé (version 1.2.3.9 installée, version 1.2.4.0 dans la mise "
                                      "à jour)")))
      << "--diff shows the plans";

  const QString rolled =
      fixtures::RunPlaybook(KELVARO_ANSIBLE_DIR, work, inventory(update, ssh), int(hosts.size()), &exitCode);
  EXPECT_EQ(exitCode, 2);
  const auto rollRecap = fixtures::ParseRecap(rolled);
  for (const Host& host : hosts) {
    SCOPED_TRACE(host.name);
    ASSERT_TRUE(checkRecap.count(host.name) && rollRecap.count(host.name));
    EXPECT_EQ(checkRecap.at(host.name).changed, host.changes ? 1 : 0);
    EXPECT_EQ(rollRecap.at(host.name).changed, host.changes ? 1 : 0);
    EXPECT_EQ(checkRecap.at(host.name).failed, host.fails ? 1 : 0);
    EXPECT_EQ(rollRecap.at(host.name).failed, host.fails ? 1 : 0);
    EXPECT_EQ(checkRecap.at(host.name).unreachable, 0);
    const auto now = Owned(*host.prefix);
    EXPECT_EQ(now != owned[host.name], host.changes) << Differences(owned[host.name], now);
    const QJsonObject plan = ReadJson(work + "/reports/" + host.name + ".plan.json");
    const QJsonObject run = ReadJson(work + "/reports/" + host.name + ".json");
    if (!host.fails) {
      EXPECT_FALSE(ActionLines(plan, {QStringLiteral("Alpha"), QStringLiteral("Beta")}).isEmpty());
    }
    EXPECT_EQ(ActionLines(plan, {QStringLiteral("Alpha"), QStringLiteral("Beta")}),
              ActionLines(run, {QStringLiteral("Alpha"), QStringLiteral("Beta")}));
  }
  if (HasFailure())
    std::cout << "--check --diff said:\n" << checked.toStdString() << "\nthe roll-out said:\n" << rolled.toStdString();
}

}  // namespace

#endif
