// The single-instance check across real processes: this test program started
// again under other names while it holds the lock.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include "fixtures/temp_prefix.h"
#include "support/one_instance.h"

namespace {

using kelvaro::AlreadyRunning;
using kelvaro::ApplicationTitle;

constexpr int kChildSawAnotherCopy = 3;

TEST(ApplicationTitle, IsTheFileNameCutAtItsFirstDotInLowerCaseAfterItsFirstLetter) {
  const std::vector<std::pair<QString, QString>> cases = {
      {QStringLiteral("/opt/kelvaro/MajTorvida"), QStringLiteral("Majtorvida")},
      {QStringLiteral("C:\\Temp\\MAJTORVIDA.EXE"), QStringLiteral("Majtorvida")},
      {QStringLiteral("/x/maj.torvida.2024"), QStringLiteral("maj")},
      {QStringLiteral("/x/ÉTÉ.exe"), QStringLiteral("Été")},
      {QStringLiteral("/x/.hidden"), QString()},
  };
  for (const auto& [path, title] : cases) EXPECT_EQ(ApplicationTitle(path), title) << path.toStdString();
}

// Run as a child: reports whether another copy held the lock.
TEST(SingleInstance, ChildReportsWhatItSees) {
  if (qEnvironmentVariableIsEmpty("KELVARO_INSTANCE_CHILD")) GTEST_SKIP() << "run by SecondCopies only";
  std::exit(AlreadyRunning() ? kChildSawAnotherCopy : 0);
}

TEST(SingleInstance, SecondCopiesOfTheSameNameSeeTheFirst) {
  ASSERT_FALSE(AlreadyRunning()) << "nobody else runs this test program's name";
  fixtures::TempDir dir;
  struct Case {
    const char* name;  // empty: this program itself
    int exitCode;
  };
  const QString self = QCoreApplication::applicationFilePath();
  const QString selfName = self.section(QLatin1Char('/'), -1);
  const std::vector<Case> cases = {
      {"", kChildSawAnotherCopy},
      // Letters after the first in another case: the same title.
      {"upper", kChildSawAnotherCopy},
      {"other_name_tests", 0},
  };
  for (const Case& c : cases) {
    QString program = self;
    if (std::string(c.name) == "upper") {
      program = QString::fromStdString(dir.path()) + QLatin1Char('/') + selfName.left(1) + selfName.mid(1).toUpper();
      ASSERT_TRUE(QFile::copy(self, program));
    } else if (*c.name) {
      program = QString::fromStdString(dir.path()) + QLatin1Char('/') + QString::fromLatin1(c.name);
      ASSERT_TRUE(QFile::copy(self, program));
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KELVARO_INSTANCE_CHILD"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.start(program, {QStringLiteral("--gtest_filter=SingleInstance.ChildReportsWhatItSees")});
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitCode(), c.exitCode) << program.toStdString();
  }
}

}  // namespace
