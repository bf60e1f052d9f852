// Running the roll-out playbook of deploy/ansible/ with Debian's
// ansible-playbook, as the roll-out tests do, and reading its recap.
#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <fstream>
#include <map>
#include <string>

namespace e2e {

struct Recap {
  int ok = -1, changed = -1, unreachable = -1, failed = -1;
};

// "poste1 : ok=7 changed=1 unreachable=0 failed=0 ..." for every host.
inline std::map<std::string, Recap> ParseRecap(const QString& output) {
  std::map<std::string, Recap> recap;
  static const QRegularExpression line(
      QStringLiteral("^(\\S+)\\s*: ok=(\\d+)\\s+changed=(\\d+)\\s+unreachable=(\\d+)\\s+failed=(\\d+)"),
      QRegularExpression::MultilineOption);
  for (auto it = line.globalMatch(output.mid(output.indexOf(QStringLiteral("PLAY RECAP")))); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    recap[m.captured(1).toStdString()] = {m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt(),
                                          m.captured(5).toInt()};
  }
  return recap;
}

// ansible-playbook on the playbook as shipped, with the inventory written
// to <work>/inventory.ini and Ansible's own files kept in <work>/ansible;
// run in the playbook's folder, so that its ansible.cfg applies. Its whole
// output, and its exit code in exitCode (-1 when it did not end).
inline QString RunPlaybook(const std::string& work, const std::string& inventoryText, int forks, int* exitCode,
                           const QStringList& extra = {}) {
  std::ofstream(work + "/inventory.ini") << inventoryText;
  QProcess ansible;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("ANSIBLE_NOCOLOR"), QStringLiteral("1"));
  env.insert(QStringLiteral("ANSIBLE_HOME"), QString::fromStdString(work + "/ansible"));
  env.insert(QStringLiteral("ANSIBLE_LOCAL_TEMP"), QString::fromStdString(work + "/ansible/tmp"));
  env.insert(QStringLiteral("ANSIBLE_REMOTE_TMP"), QString::fromStdString(work + "/ansible/tmp"));
  ansible.setProcessEnvironment(env);
  ansible.setProcessChannelMode(QProcess::MergedChannels);
  ansible.setWorkingDirectory(QStringLiteral(KELVARO_ANSIBLE_DIR));
  ansible.start(QStringLiteral("ansible-playbook"),
                QStringList{QStringLiteral("-i"), QString::fromStdString(work + "/inventory.ini"),
                            QStringLiteral("--forks"), QString::number(forks)} +
                    extra + QStringList{QStringLiteral("rollout.yml")});
  EXPECT_TRUE(ansible.waitForStarted(10000)) << "ansible-playbook (Debian's ansible) is not installed";
  EXPECT_TRUE(ansible.waitForFinished(300000));
  *exitCode = ansible.exitStatus() == QProcess::NormalExit ? ansible.exitCode() : -1;
  return QString::fromUtf8(ansible.readAll());
}

}  // namespace e2e
