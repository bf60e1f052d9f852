// The wizard's executable started as a user starts it: one copy at a time.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <memory>

#include "fixtures/temp_prefix.h"

namespace {

// A copy of the built wizard under a name of its own, as an update is: its
// title, and so its instance lock, is this test's alone.
class WizardCopy {
 public:
  WizardCopy() : path_(QString::fromStdString(dir_.path()) + QStringLiteral("/MajEntry") +
                       QString::number(QCoreApplication::applicationPid())) {
    EXPECT_TRUE(QFile::copy(QStringLiteral(KELVARO_UPDATE), path_));
  }
  // Starts a copy on the test's prefix, without a display.
  std::unique_ptr<QProcess> start() const {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), QString::fromStdString(prefix_.root()));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process->setProcessEnvironment(env);
    process->start(path_, {});
    return process;
  }

 private:
  fixtures::TempDir dir_;
  fixtures::TempPrefix prefix_;
  QString path_;
};

// Ends a copy that is still running: the wizard runs until its window closes.
void Stop(QProcess& process) {
  if (process.state() == QProcess::NotRunning) return;
  process.terminate();
  if (!process.waitForFinished(5000)) {
    process.kill();
    process.waitForFinished(5000);
  }
}

TEST(ProgramEntry, OfTwoCopiesStartedAtOnceOneEndsAtOnceWithZero) {
  WizardCopy wizard;
  const std::unique_ptr<QProcess> copies[] = {wizard.start(), wizard.start()};
  for (const auto& copy : copies) ASSERT_TRUE(copy->waitForStarted(10000));
  // The one that lost the lock ends by itself; the other waits on its window
  // (a copy carrying nothing shows the box about the missing list of
  // changes) until it is closed.
  QProcess* ended = nullptr;
  for (int tick = 0; tick < 600 && !ended; ++tick) {
    for (const auto& copy : copies) {
      if (copy->waitForFinished(25)) ended = copy.get();
    }
  }
  ASSERT_NE(ended, nullptr) << "neither copy ended";
  EXPECT_EQ(ended->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(ended->exitCode(), 0);
  QProcess* other = ended == copies[0].get() ? copies[1].get() : copies[0].get();
  EXPECT_FALSE(other->waitForFinished(1000)) << "the first copy keeps running";
  for (const auto& copy : copies) Stop(*copy);
}

}  // namespace
