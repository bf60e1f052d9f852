// The wizard as the program builds it, for GUI tests: the main window, the
// three pages and the engine created in the program's order over a fresh
// prefix, an update executable packed with the test's carried files, and a
// scripted user answering the questions. Real widgets on Qt's offscreen
// platform; nothing of the wizard is replaced.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "engine/resource_pack.h"
#include "engine/update_common.h"
#include "fixtures/temp_prefix.h"
#include "platform/module_resources.h"
#include "support/registry_access.h"
#include "support/scripted_user.h"
#include "wizard/program_windows.h"
#include "support/text.h"
#include "wizard/display_file_page.h"
#include "wizard/end_install_page.h"
#include "wizard/main_window.h"
#include "wizard/report_text_edit.h"
#include "wizard/welcome_page.h"

namespace wizard_test {

using Carried = std::vector<std::pair<QString, QByteArray>>;

// The carried texts of an ordinary update.
inline Carried StandardTexts(const QByteArray& updates = "Ferrolune\r\n") {
  return {{QStringLiteral("Updates.txt"), updates},
          {QStringLiteral("AppInfo1.txt"), "Mise \xe0 jour Torvida\r\n"},
          {QStringLiteral("AppInfo2.txt"), "Cette mise \xe0 jour remplace la version 2.3.\r\n"},
          {QStringLiteral("UpdateInfo.txt"),
           "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 {\\b Nouveaut\\'e9s}\\par Impression des listes\\par}"}};
}

// Writes a small base followed by the carried files, signed when a key is
// given, and makes it the module whose resources the engine reads; back to
// the running program afterwards.
class PackedUpdate {
 public:
  // raw: payloads carried as they are, without encoding (damaged files);
  // key: signs the update.
  explicit PackedUpdate(const Carried& files, const Carried& raw = {}, const kelvaro::SecretKey* key = nullptr) {
    path_ = QString::fromStdString(dir_.path()) + QStringLiteral("/MajTorvida");
    QFile out(path_);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly));
    QByteArray base("MZ a base executable");
    QBuffer baseDevice(&base);
    baseDevice.open(QIODevice::ReadOnly);
    kelvaro::PackedExecutableWriter writer(&out);
    writer.appendBase(&baseDevice, uint64_t(base.size()));
    for (const auto& [name, bytes] : files) writer.appendPayload(name, kelvaro::EncodePayload(bytes, 0));
    for (const auto& [name, bytes] : raw) writer.appendPayload(name, bytes);
    writer.finish(key);
    out.close();
    EXPECT_TRUE(platform::SetResourceModule(kelvaro::toW(path_)));
  }
  const QString& path() const { return path_; }
  ~PackedUpdate() { platform::SetResourceModule(u""); }
  PackedUpdate(const PackedUpdate&) = delete;
  PackedUpdate& operator=(const PackedUpdate&) = delete;

 private:
  fixtures::TempDir dir_;
  QString path_;
};

// Closes the next modal box or dialog as soon as it is up, handing it to
// inspect first (its text, its object name).
inline void WhenModalShows(std::function<void(QWidget*)> inspect) {
  auto* poll = new QTimer(qApp);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, inspect] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    poll->stop();
    poll->deleteLater();
    inspect(modal);
  });
  poll->start(20);
}

class Wizard {
 public:
  explicit Wizard(const Carried& files, const Carried& raw = {}, const kelvaro::SecretKey* key = nullptr)
      : packed_(files, raw, key) {
    QApplication::setQuitOnLastWindowClosed(false);
    kelvaro::CreateProgramWindows();
  }
  ~Wizard() { kelvaro::DestroyProgramWindows(); }
  Wizard(const Wizard&) = delete;
  Wizard& operator=(const Wizard&) = delete;

  // Shows the window and waits for the start timer's welcome page.
  void Start() {
    kelvaro::frmMain->show();
    WaitForIdle();
  }
  // Runs the event loop for ms: timers fire, and each time the loop waits
  // the window's idle-time update of the actions runs, as in the program.
  static void WaitForIdle(int ms = 50) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
  }

  kelvaro::TfrmMain& main() { return *kelvaro::frmMain; }
  kelvaro::TFrmStep* current() { return kelvaro::frmMain->GetCurrentStep(); }
  QString nextCaption() { return kelvaro::frmMain->ButtonNext->text(); }
  void Next() { Click(kelvaro::frmMain->ButtonNext); }
  void Back() { Click(kelvaro::frmMain->ButtonPrev); }
  void Cancel() { Click(kelvaro::frmMain->ButtonCancel); }
  QString report() { return kelvaro::frmEndInstall->RichEditReport->toPlainText(); }

  // A picture of the window for a person to look at, in the build folder.
  void SavePicture(const QString& name) {
    QDir().mkpath(QStringLiteral("wizard_pictures"));
    kelvaro::frmMain->grab().save(QStringLiteral("wizard_pictures/") + name + QStringLiteral(".png"));
  }

  kelvaro::ScriptedUser& user() { return scripted_.user; }
  const fixtures::TempPrefix& prefix() const { return prefix_; }
  // The host path of the packed update the wizard reads.
  const QString& updatePath() const { return packed_.path(); }

 private:
  static void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
    WaitForIdle();
  }

  fixtures::TempPrefix prefix_;
  PackedUpdate packed_;
  kelvaro::ScopedScriptedUser scripted_;
};

}  // namespace wizard_test
