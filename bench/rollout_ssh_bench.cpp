// The roll-out playbook over SSH to six workstations on this machine, as
// administrators run it (an sshd of its own on 127.0.0.1, key
// authentication, the playbook's ansible.cfg), against an Ansible ping of
// the same six hosts: what the roll-out costs beyond reaching them. The
// update is the fleet's (a newer library, four companions, five print
// lists), signed, and only its key is trusted; the workstations share three
// company databases on the local server. Ping and roll-out alternate, each
// with connections of its own (no SSH connection is left open from the one
// before), each roll-out from the old library and no stored list. Prints
// each pair, the medians and their ratio against the ceiling of 8; exit
// status 1 above it or when a roll-out did not update every workstation.
//
//   bench_rollout_ssh [--pairs=N]   (default 3; needs root, the server on
//                                    127.0.0.1:3050, ansible and sshd)
#include <QCoreApplication>
#include <QProcess>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "db/company_database.h"
#include "fixtures/ansible_play.h"
#include "fixtures/packed_update.h"
#include "fixtures/ssh_server.h"
#include "fixtures/workstation_fleet.h"
#include "median.h"
#include "site_runs.h"

namespace {

using bench::Clock;
constexpr double kCeiling = 8.0;
constexpr int kWorkstations = 6;
const char* const kOldLibrary = "torvida_1_2_3_9.dll";


// A key pair of kelvaro-pack's in folder; the arguments that sign with it.
QStringList NewKey(const std::string& folder) {
  QProcess pack;
  pack.setWorkingDirectory(QString::fromStdString(folder));
  pack.start(QStringLiteral(KELVARO_PACK), {QStringLiteral("--new-key"), QStringLiteral("editeur")});
  pack.waitForFinished(30000);
  return {QStringLiteral("--sign"), QString::fromStdString(folder + "/editeur.secret")};
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int pairs = bench::PairsFlag(argc, argv, 3);
  if (!bench::ServerThere()) return 1;
  fixtures::TempDir work;
  const fixtures::SshServer ssh(work.path() + "/ssh");
  if (!ssh.running()) {
    std::fprintf(stderr, "no sshd: %s\n", ssh.why().c_str());
    return 1;
  }
  const fixtures::UpdatePackage package(work.path());
  fixtures::CarryFleetUpdate(package, "torvida_2_0_0_0.dll");
  const std::string update =
      package.pack("MajTorvida", fixtures::UpdatePackage::Base::BatchRunner, NewKey(work.path()));
  if (update.empty()) return 1;
  std::vector<std::unique_ptr<dbtest::CompanyDatabase>> databases;
  const std::vector<fixtures::SharedCompany> companies =
      bench::Companies({QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Gamma")}, &databases);
  const fixtures::WorkstationFleet site(kWorkstations, companies, kOldLibrary);
  std::string inventory = "[workstations]\n";
  for (int i = 0; i < kWorkstations; ++i) {
    inventory += "poste" + std::to_string(i + 1) + " kelvaro_wineprefix=" + site.workstation(i).root() + " " +
                 ssh.ansibleVariables() + "\n";
  }
  inventory +=
      "[workstations:vars]\nansible_python_interpreter=/usr/bin/python3\nkelvaro_update_batch=" KELVARO_UPDATE_BATCH
      "\nkelvaro_update_file=" +
      update + "\nkelvaro_trust_key=" + work.path() + "/editeur.public\n" + "kelvaro_report_dir=" + work.path() +
      "/reports\n";

  // Ansible's own timing of each task, printed for the last roll-out.
  qputenv("ANSIBLE_CALLBACKS_ENABLED", "ansible.posix.profile_tasks");
  std::vector<double> pings, rollouts;
  QString lastRollout;
  int unexpected = 0;
  std::printf("%-6s %10s %13s\n", "pair", "ping (s)", "roll-out (s)");
  for (int pair = 0; pair < pairs; ++pair) {
    for (const auto& db : databases) db->exec({QStringLiteral("DELETE FROM PRT_Params")});
    for (int i = 0; i < kWorkstations; ++i) fixtures::InstallTorvida(site.workstation(i), kOldLibrary);
    // Fresh Ansible folders: no connection of an earlier run is reused.
    const std::string pingFolder = work.path() + "/ping" + std::to_string(pair);
    const std::string rollFolder = work.path() + "/roll" + std::to_string(pair);
    std::filesystem::create_directories(pingFolder);
    std::filesystem::create_directories(rollFolder);
    std::ofstream(pingFolder + "/inventory.ini") << inventory;
    int pingCode = -1, rollCode = -1;
    auto started = Clock::now();
    const QString pinged = fixtures::RunAnsible(
        QStringLiteral("ansible"),
        {QStringLiteral("-i"), QString::fromStdString(pingFolder + "/inventory.ini"), QStringLiteral("workstations"),
         QStringLiteral("-m"), QStringLiteral("ping"), QStringLiteral("--forks"), QString::number(kWorkstations)},
        KELVARO_ANSIBLE_DIR, pingFolder + "/ansible", &pingCode);
    pings.push_back(bench::SecondsSince(started));
    started = Clock::now();
    const QString rolled = fixtures::RunPlaybook(KELVARO_ANSIBLE_DIR, rollFolder, inventory, kWorkstations, &rollCode);
    rollouts.push_back(bench::SecondsSince(started));
    const auto recap = fixtures::ParseRecap(rolled);
    int changed = 0;
    for (const auto& [host, counts] : recap) changed += counts.changed == 1 && counts.failed == 0;
    if (pingCode != 0 || rollCode != 0 || changed != kWorkstations) {
      ++unexpected;
      std::fprintf(stderr, "ping %d, roll-out %d (%d updated):\n%s\n%s\n", pingCode, rollCode, changed,
                   qPrintable(pinged), qPrintable(rolled));
    }
    std::printf("%-6d %10.2f %13.2f\n", pair + 1, pings.back(), rollouts.back());
    lastRollout = rolled;
  }
  const qsizetype recapAt = lastRollout.indexOf(QStringLiteral("PLAY RECAP"));
  std::printf("%s\n", qPrintable(lastRollout.mid(recapAt)));
  const double ratio = bench::Median(rollouts) / bench::Median(pings);
  std::printf("median: ping %.2f s, roll-out %.2f s; ratio %.2f (ceiling %.1f)\n", bench::Median(pings),
              bench::Median(rollouts), ratio, kCeiling);
  return ratio > kCeiling || unexpected > 0 ? 1 : 0;
}
