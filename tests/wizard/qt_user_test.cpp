// The Qt side of the user seam on real widgets (offscreen platform). The only
// stand-in is for the person: a timer that finds the modal dialog once it is
// shown and presses its keys or buttons.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <ctime>
#include <functional>
#include <vector>

#include "fixtures/temp_prefix.h"
#include "support/user_seam.h"
#include "wizard/foreground.h"
#include "wizard/french_translations.h"
#include "wizard/message_box.h"
#include "wizard/qt_user.h"

namespace kelvaro {
namespace {

// Runs act on the next modal dialog of type T as soon as it is shown. A
// dialog that act answered but that is still open ten seconds later fails
// the test and is closed, so that the test ends instead of waiting forever.
template <typename T>
void WhenModalShown(std::function<void(T*)> act, int attempts = 500) {
  QTimer::singleShot(10, [act, attempts] {
    if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
      act(dialog);
      QTimer::singleShot(10000, [stillOpen = QPointer<T>(dialog)] {
        if (!stillOpen || !stillOpen->isVisible()) return;
        ADD_FAILURE() << "the dialog stayed open after its answer";
        stillOpen->reject();
      });
    } else if (attempts > 0) {
      WhenModalShown<T>(act, attempts - 1);
    } else {
      ADD_FAILURE() << "no modal dialog was shown";
    }
  });
}

// Installs a QtUser as the program's seam and records the beeps.
class QtUserTest : public testing::Test {
 protected:
  void SetUp() override {
    SetUser(&user_);
    SetBeepHook([this](BeepType type) { beeps_.push_back(type); });
  }
  void TearDown() override {
    SetBeepHook(nullptr);
    SetUser(nullptr);
  }

  QtUser user_;
  std::vector<BeepType> beeps_;
};

// ---------------------------------------------------------------------------
// Message boxes

enum class Press { Enter, Escape, Yes, No };

struct BoxCase {
  const char* name;
  std::function<bool(const QString&)> show;
  Press press;
  bool answer;
  std::vector<BeepType> beeps;
  const char* caption;
  QMessageBox::Icon icon;
  QStringList buttons;  // sorted texts
};

struct SeenBox {
  QString caption;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
  QString defaultButton;
  Qt::WindowModality modality = Qt::NonModal;
  QPoint centreOffset;
};

bool ShowError(const QString& m) { ShowErrorMessage(m); return true; }
bool ShowWarning(const QString& m) { ShowWarningMessage(m); return true; }
bool ShowInfo(const QString& m) { ShowInfoMessage(m); return true; }
bool ShowPlain(const QString& m) { ShowPlainMessage(m); return true; }
bool ShowCaptioned(const QString& m) { ShowErrorMessageCaptioned(QStringLiteral("qryPrimaryKey"), m); return true; }
bool Confirm(const QString& m) { return AskConfirmation(m); }
bool Warn(const QString& m) { return AskWarning(m); }

const QStringList kYesNo{"&Non", "&Oui"};
const QStringList kOk{"OK"};

const std::vector<BeepType> kExclamation{BeepType::Exclamation};
const std::vector<BeepType> kQuestion{BeepType::Question};

const BoxCase kBoxCases[] = {
    {"error", ShowError, Press::Enter, true, kExclamation, "Erreur", QMessageBox::Critical, kOk},
    {"error_escape", ShowError, Press::Escape, true, kExclamation, "Erreur", QMessageBox::Critical, kOk},
    {"error_with_caption", ShowCaptioned, Press::Enter, true, kExclamation, "qryPrimaryKey", QMessageBox::Critical,
     kOk},
    {"warning", ShowWarning, Press::Enter, true, kExclamation, "Avertissement", QMessageBox::Warning, kOk},
    {"info", ShowInfo, Press::Enter, true, kExclamation, "Informations", QMessageBox::Information, kOk},
    // The plain box: no icon, no beep, the program's title (this test
    // program is "wizard_tests", whose title keeps its first letter as it is).
    {"plain", ShowPlain, Press::Enter, true, {}, "wizard_tests", QMessageBox::NoIcon, kOk},
    {"confirmation_enter_is_yes", Confirm, Press::Enter, true, kQuestion, "Confirmer", QMessageBox::Question,
     kYesNo},
    {"confirmation_escape_is_no", Confirm, Press::Escape, false, kQuestion, "Confirmer", QMessageBox::Question,
     kYesNo},
    {"confirmation_no", Confirm, Press::No, false, kQuestion, "Confirmer", QMessageBox::Question, kYesNo},
    {"ask_warning_yes", Warn, Press::Yes, true, kExclamation, "Avertissement", QMessageBox::Warning, kYesNo},
    {"ask_warning_escape_is_no", Warn, Press::Escape, false, kExclamation, "Avertissement", QMessageBox::Warning,
     kYesNo},
};

class MessageBoxTest : public QtUserTest, public testing::WithParamInterface<BoxCase> {};

void PressOn(QMessageBox* box, Press press) {
  const auto click = [box](const QString& text) {
    for (QAbstractButton* b : box->buttons()) {
      if (b->text() == text) return b->click();
    }
    ADD_FAILURE() << "no button " << text.toStdString();
    box->reject();
  };
  switch (press) {
    case Press::Enter: QTest::keyClick(box, Qt::Key_Return); break;
    case Press::Escape: QTest::keyClick(box, Qt::Key_Escape); break;
    case Press::Yes: click("&Oui"); break;
    case Press::No: click("&Non"); break;
  }
}

TEST_P(MessageBoxTest, ShowsTheBoxAndAnswers) {
  const BoxCase& c = GetParam();
  SeenBox seen;
  WhenModalShown<QMessageBox>([&](QMessageBox* box) {
    seen.caption = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
    seen.buttons.sort();
    if (box->defaultButton()) seen.defaultButton = box->defaultButton()->text();
    seen.modality = box->windowModality();
    seen.centreOffset = box->frameGeometry().center() - box->screen()->geometry().center();
    PressOn(box, c.press);
  });
  EXPECT_EQ(c.answer, c.show(QString::fromUtf8("Le fichier est à jour.")));
  EXPECT_EQ(QString(c.caption), seen.caption);
  EXPECT_EQ(QString::fromUtf8("Le fichier est à jour."), seen.text);
  EXPECT_EQ(c.icon, seen.icon);
  EXPECT_EQ(c.buttons, seen.buttons);
  EXPECT_EQ(c.buttons.size() == 2 ? QString("&Oui") : QString("OK"), seen.defaultButton);
  EXPECT_EQ(Qt::ApplicationModal, seen.modality);
  EXPECT_LE(seen.centreOffset.manhattanLength(), 2) << "not centred on the screen";
  EXPECT_EQ(c.beeps, beeps_);
}

INSTANTIATE_TEST_SUITE_P(Cases, MessageBoxTest, testing::ValuesIn(kBoxCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(QtUserTest, ALoneBeepShowsNoBox) {
  MessageBeep(BeepType::Exclamation);
  QCoreApplication::processEvents();
  EXPECT_EQ(std::vector<BeepType>{BeepType::Exclamation}, beeps_);
  EXPECT_EQ(nullptr, QApplication::activeModalWidget());
}

// ---------------------------------------------------------------------------
// Wait cursor

bool Waiting() {
  const QCursor* cursor = QGuiApplication::overrideCursor();
  return cursor && cursor->shape() == Qt::WaitCursor;
}

TEST_F(QtUserTest, WaitCursorNests) {
  BeginWaitCursor();
  BeginWaitCursor();
  EndWaitCursor();
  EXPECT_TRUE(Waiting());
  EXPECT_EQ(1, WaitCursorCount());
  EndWaitCursor();
  EXPECT_FALSE(Waiting());
  EXPECT_EQ(nullptr, QGuiApplication::overrideCursor());
  EndWaitCursor();
  EXPECT_EQ(0, WaitCursorCount());
  EXPECT_EQ(nullptr, QGuiApplication::overrideCursor());
}

TEST_F(QtUserTest, UnpairedEndLeavesAnotherCursorAlone) {
  QGuiApplication::setOverrideCursor(Qt::PointingHandCursor);
  EndWaitCursor();
  ASSERT_NE(nullptr, QGuiApplication::overrideCursor());
  EXPECT_EQ(Qt::PointingHandCursor, QGuiApplication::overrideCursor()->shape());
  QGuiApplication::restoreOverrideCursor();
}

// ---------------------------------------------------------------------------
// Delay

TEST_F(QtUserTest, DelayHandlesEventsOnlyForPositiveWaits) {
  struct Row {
    int ms;
    bool handlesEvents;
  };
  for (const Row& row : {Row{0, false}, Row{-20, false}, Row{30, true}}) {
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    Delay(row.ms);
    EXPECT_EQ(row.handlesEvents, fired) << row.ms;
    QCoreApplication::processEvents();  // the timer of a row that did not handle it
  }
}

TEST_F(QtUserTest, DelayStopsWhenTheApplicationQuits) {
  QElapsedTimer timer;
  bool returned = false;
  QTimer::singleShot(0, [&] {
    timer.start();
    Delay(20000);
    returned = true;
  });
  QTimer::singleShot(50, qApp, &QCoreApplication::quit);
  QCoreApplication::exec();
  EXPECT_TRUE(returned);
  EXPECT_TRUE(user_.quitRequested());
  EXPECT_LT(timer.elapsed(), 10000);
}

// ---------------------------------------------------------------------------
// Folder and file choosers: Windows paths in and out, host folders shown.

class QtUserDialogTest : public QtUserTest {
 protected:
  void SetUp() override {
    QtUserTest::SetUp();
    prefix_.makeDirectory("C:\\WKelvaro\\Torvida\\Programs");
    prefix_.writeFile("C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll", "MZ");
  }
  fixtures::TempPrefix prefix_;
};

// Picks the entry at hostPath as a person does. selectFile() fills the
// file-name box only while the box does not have the focus (it would not
// overwrite what someone is typing there), and whether the dialog has given
// it the focus yet depends on timing: then the name is typed into the box.
void Choose(QFileDialog* dialog, const std::string& hostPath) {
  const QString path = QString::fromStdString(hostPath);
  dialog->selectFile(path);
  if (auto* box = dialog->findChild<QLineEdit*>("fileNameEdit"); box && box->hasFocus())
    box->setText(QFileInfo(path).fileName());
}

QString NoTrailingBackslash(QString path) {
  while (path.endsWith('\\')) path.chop(1);
  return path;
}

TEST_F(QtUserDialogTest, BrowseForFolderStartsOnTheFolderAndReturnsTheChoice) {
  QString shownDirectory;
  WhenModalShown<QFileDialog>([&](QFileDialog* dialog) {
    shownDirectory = dialog->directory().absolutePath();
    Choose(dialog, prefix_.hostPath("C:\\WKelvaro\\Torvida\\Programs"));
    QMetaObject::invokeMethod(dialog, "accept");  // as the Open button does
  });
  QString folder = "C:\\WKelvaro\\Torvida\\";
  ASSERT_TRUE(user_.BrowseForFolder(QString::fromUtf8("Séléctionner le répertoire"), &folder));
  EXPECT_EQ(QDir(QString::fromStdString(prefix_.hostPath("C:\\WKelvaro\\Torvida"))).canonicalPath(),
            QDir(shownDirectory).canonicalPath());
  EXPECT_EQ(QString("c:\\wkelvaro\\torvida\\programs"), NoTrailingBackslash(folder).toLower());
}

TEST_F(QtUserDialogTest, CancelledChoosersLeaveTheirArgumentsAlone) {
  WhenModalShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
  QString folder = "C:\\WKelvaro\\";
  EXPECT_FALSE(user_.BrowseForFolder("x", &folder));
  EXPECT_EQ(QString("C:\\WKelvaro\\"), folder);

  WhenModalShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
  QString file = "unchanged";
  EXPECT_FALSE(user_.OpenFile("x", "C:\\WKelvaro\\", QString(), &file));
  EXPECT_EQ(QString("unchanged"), file);
}

TEST_F(QtUserDialogTest, OpenFileReturnsTheWindowsPathOfTheChosenFile) {
  QString shownDirectory;
  QStringList filters;
  WhenModalShown<QFileDialog>([&](QFileDialog* dialog) {
    shownDirectory = dialog->directory().absolutePath();
    filters = dialog->nameFilters();
    Choose(dialog, prefix_.hostPath("C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll"));
    QMetaObject::invokeMethod(dialog, "accept");  // as the Open button does
  });
  QString file;
  ASSERT_TRUE(user_.OpenFile("x", "C:\\WKelvaro\\Torvida\\Programs\\", "Programmes|*.dll;*.exe", &file));
  EXPECT_EQ(QDir(QString::fromStdString(prefix_.hostPath("C:\\WKelvaro\\Torvida\\Programs"))).canonicalPath(),
            QDir(shownDirectory).canonicalPath());
  EXPECT_EQ(QStringList{"Programmes (*.dll *.exe)"}, filters);
  EXPECT_EQ(QString("c:\\wkelvaro\\torvida\\programs\\wktorvida2.dll"), file.toLower());
}

// ---------------------------------------------------------------------------
// Foreground and translations

TEST(ForceForegroundWindowTest, RestoresAndActivatesAMinimisedWindow) {
  QWidget wizard;
  QWidget other;
  wizard.show();
  other.show();
  wizard.showMinimized();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  EXPECT_TRUE(ForceForegroundWindow(&wizard));
  EXPECT_FALSE(wizard.isMinimized());
  EXPECT_TRUE(wizard.isActiveWindow());
  EXPECT_TRUE(ForceForegroundWindow(&wizard));  // already in front
}

TEST(ForceForegroundWindowTest, HiddenWindowCannotComeToTheFront) {
  QWidget hidden;
  // The wait for an activation that never comes sleeps in the event loop:
  // it used to spin and burn a processor for its whole length.
  const std::clock_t cpuBefore = std::clock();
  EXPECT_FALSE(ForceForegroundWindow(&hidden));
  const double cpuMs = 1000.0 * double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
  EXPECT_LT(cpuMs, 100.0);
  EXPECT_FALSE(ForceForegroundWindow(nullptr));
}

TEST(FrenchTranslationsTest, StandardDialogsSpeakFrench) {
  ASSERT_TRUE(InstallFrenchTranslations(*qApp));
  EXPECT_EQ(QString("Annuler"), QCoreApplication::translate("QPlatformTheme", "Cancel"));
  EXPECT_EQ(QString("Voir dans :"), QCoreApplication::translate("QFileDialog", "Look in:"));
}

}  // namespace
}  // namespace kelvaro
