// The wizard's window driven as a person drives it: the pages in order with
// their captions, Back and the history, extra pages, the run and its report,
// the error path and the start-up failures.
#include <QLabel>
#include <QtEndian>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextEdit>
#include <array>
#include <functional>
#include <new>
#include <stdexcept>

#include "support/errors.h"
#include "wizard_harness.h"

namespace {

using namespace kelvaro;
using wizard_test::Carried;
using wizard_test::StandardTexts;
using wizard_test::Wizard;

QString WithoutDate(QString report) {
  report.replace(QRegularExpression(QStringLiteral("\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d")),
                 QStringLiteral("<date>"));
  return report;
}

struct ActionState {
  bool back;
  bool next;
  bool cancel;
  const char* nextCaption;
};

void ExpectActions(Wizard& w, const ActionState& expected, const char* where) {
  SCOPED_TRACE(where);
  EXPECT_EQ(w.main().ButtonPrev->isEnabled(), expected.back);
  EXPECT_EQ(w.main().ButtonNext->isEnabled(), expected.next);
  EXPECT_EQ(w.main().ButtonCancel->isEnabled(), expected.cancel);
  EXPECT_EQ(w.nextCaption(), QString::fromUtf8(expected.nextCaption));
}

TEST(MainWindow, WalksThePagesWithTheirCaptionsAndHistory) {
  Wizard w(StandardTexts());
  EXPECT_EQ(w.main().size(), QSize(947, 522));
  EXPECT_EQ(w.main().minimumSize(), QSize(500, 400));
  EXPECT_EQ(w.main().ButtonPrev->text(), QStringLiteral("< Précédant"));
  EXPECT_EQ(w.main().ButtonCancel->text(), QStringLiteral("Annuler"));
  w.Start();

  EXPECT_EQ(w.main().windowTitle(), QStringLiteral("Mise à jour Kelvaro"));
  EXPECT_EQ(w.main().RzLabelTitle->text(), QStringLiteral("Mise à jour Torvida"));
  EXPECT_TRUE(w.main().RzLabelVersion->text().startsWith(QStringLiteral("Version : ")));
  ASSERT_EQ(w.current(), frmWelcome);
  EXPECT_EQ(frmWelcome->parentWidget(), w.main().PanelCurrStep);
  EXPECT_EQ(frmWelcome->geometry(), w.main().PanelCurrStep->rect());
  EXPECT_EQ(frmWelcome->LabelInfo->text(),
            QStringLiteral("Cet assistant va mettre à jour Mise à jour Torvida.\r\n\r\n"
                           "Aucune donnée existante ne sera supprimée.\r\n\r\n"
                           "Cette mise à jour remplace la version 2.3.\r\n"));
  ExpectActions(w, {false, true, true, "Suivant >"}, "welcome");
  EXPECT_EQ(w.main().StepList(), (QList<TFrmStep*>{frmWelcome, frmDisplayFile, frmEndInstall}));
  w.SavePicture(QStringLiteral("1-welcome"));

  w.Next();
  ASSERT_EQ(w.current(), frmDisplayFile);
  EXPECT_FALSE(frmWelcome->isVisible());
  EXPECT_EQ(frmDisplayFile->PanelButtons->text(), QStringLiteral("La liste des modifications"));
  EXPECT_EQ(frmDisplayFile->RichEditFile->toPlainText(), QStringLiteral("Nouveautés\nImpression des listes\n"));
  ExpectActions(w, {true, true, true, "Démarrer"}, "list of changes");
  w.SavePicture(QStringLiteral("2-list-of-changes"));

  w.Back();
  EXPECT_EQ(w.main().History(), (QList<TFrmStep*>{frmWelcome}));
  ExpectActions(w, {false, true, true, "Suivant >"}, "back on welcome");
  w.Next();
  EXPECT_EQ(w.main().History(), (QList<TFrmStep*>{frmWelcome, frmDisplayFile}));

  w.Next();
  ASSERT_EQ(w.current(), frmEndInstall);
  EXPECT_TRUE(w.main().UpdateStarted());
  EXPECT_EQ(frmEndInstall->PanelButtons->text(), QStringLiteral("Rapport d'installation"));
  // A product without a routine: the title line and no outcome line.
  EXPECT_EQ(WithoutDate(w.report()), QStringLiteral("Mise à jour : Mise à jour Torvida  <date>\n\nMise à jour non signée.\n\n"));
  ExpectActions(w, {false, true, false, "Quitter"}, "report");
  EXPECT_EQ(w.main().History(), (QList<TFrmStep*>{frmWelcome, frmDisplayFile, frmEndInstall, frmEndInstall}));
  w.SavePicture(QStringLiteral("3-report"));

  w.Next();
  EXPECT_FALSE(w.main().isVisible()) << "Quitter closes the window";
  EXPECT_TRUE(w.user().shown.empty());
}

TEST(MainWindow, TheStartTimerWaitsForTheWindowToBeShown) {
  Wizard w(StandardTexts());
  // A box shown while the pages or the engine are made runs the event loop
  // before the window is shown: the start timer is due then, but the texts
  // are not loaded yet.
  Wizard::WaitForIdle();
  EXPECT_EQ(w.current(), nullptr);
  EXPECT_FALSE(frmWelcome->isVisible());

  w.Start();
  ASSERT_EQ(w.current(), frmWelcome);
  EXPECT_TRUE(frmWelcome->isVisible());
  EXPECT_EQ(frmWelcome->parentWidget(), w.main().PanelCurrStep);
  EXPECT_TRUE(
      frmWelcome->LabelInfo->text().startsWith(QStringLiteral("Cet assistant va mettre à jour Mise à jour Torvida.")));
  EXPECT_EQ(w.main().History(), (QList<TFrmStep*>{frmWelcome}));
}

TEST(MainWindow, CancelAsksFirst) {
  Wizard w(StandardTexts());
  w.Start();
  w.user().answers = {false, true};
  w.Cancel();
  EXPECT_TRUE(w.main().isVisible()) << "No keeps the wizard";
  w.Cancel();
  EXPECT_FALSE(w.main().isVisible());
  ASSERT_EQ(w.user().shown.size(), 2u);
  EXPECT_EQ(w.user().shown[0].kind, MessageKind::AskWarning);
  EXPECT_EQ(w.user().shown[0].text, QStringLiteral("Voulez-vous annuler cette mise à jour"));
}

// A page a carried "Steps.txt" can add, which counts what the window asks.
class CountingPage : public TFrmStep {
 public:
  CountingPage() : TFrmStep(QStringLiteral("frmChecks")) {}
  bool CanGoNext() override { return allowNext; }
  QString GetNextCaption() override { return QStringLiteral("Vérifier"); }
  void BeforeGoNext() override { ++beforeGoNext; }
  void Init() override { ++inits; }
  const QImage* GetBitmap() override { return nullptr; }

  bool allowNext = false;
  int beforeGoNext = 0;
  int inits = 0;
};

TEST(MainWindow, StepsFileAddsPagesAndTheWindowAsksThem) {
  Carried files = StandardTexts();
  // Names in any letter case; a page named twice, and a name of no page, add
  // nothing more.
  files.push_back({QStringLiteral("Steps.txt"), "FRMCHECKS\r\nfrmWelcome\r\nfrmNoSuchPage\r\nfrmchecks\r\n"});
  CountingPage checks;
  Wizard w(files);
  w.Start();
  EXPECT_EQ(w.main().StepList(), (QList<TFrmStep*>{frmWelcome, frmDisplayFile, &checks, frmEndInstall}));

  w.Next();
  w.Next();
  ASSERT_EQ(w.current(), &checks);
  EXPECT_EQ(checks.inits, 1);
  ExpectActions(w, {true, false, true, "Vérifier"}, "CanGoNext false");
  // Without a picture the column takes the button face colour.
  EXPECT_EQ(w.main().PanelImage->palette().color(QPalette::Window), w.main().palette().color(QPalette::Button));
  EXPECT_TRUE(w.main().ImageStep->pixmap().isNull());
  w.Next();
  EXPECT_EQ(w.current(), &checks) << "a disabled Next does nothing";
  EXPECT_EQ(checks.beforeGoNext, 0);

  w.Back();
  EXPECT_EQ(checks.beforeGoNext, 0) << "Back calls no page operation";
  w.Next();
  EXPECT_EQ(checks.inits, 2);
  checks.allowNext = true;
  Wizard::WaitForIdle();
  w.Next();
  EXPECT_EQ(checks.beforeGoNext, 1);
  EXPECT_EQ(w.current(), frmEndInstall);
}

TEST(MainWindow, TheColumnTakesThePicturesBottomLeftColour) {
  Wizard w(StandardTexts());
  w.Start();
  const QImage* picture = frmWelcome->GetBitmap();
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->size(), QSize(150, 245));
  EXPECT_EQ(picture->depth(), 24);
  EXPECT_EQ(w.main().PanelImage->palette().color(QPalette::Window), picture->pixelColor(0, 244));
  const QWidget* image = w.main().ImageStep;
  EXPECT_EQ(image->size(), QSize(150, 245));
  EXPECT_EQ(image->x(), (w.main().PanelImage->width() - 150) / 2);
  EXPECT_EQ(image->y(), (w.main().PanelImage->height() - 245) / 2);
}

TEST(MainWindow, TheButtonRowIsRightAligned) {
  Wizard w(StandardTexts());
  w.Start();
  const TfrmMain& m = w.main();
  EXPECT_EQ(m.PanelButtons->height(), 45);
  for (const QPushButton* b : {m.ButtonPrev, m.ButtonNext, m.ButtonCancel}) {
    EXPECT_EQ(b->y(), 10);
    EXPECT_EQ(b->height(), 25);
  }
  EXPECT_EQ(m.ButtonCancel->geometry().right() + 1, m.PanelButtons->width() - 10);
  EXPECT_EQ(m.ButtonNext->geometry().right() + 1, m.ButtonCancel->x() - 10);
  EXPECT_EQ(m.ButtonPrev->geometry().right() + 1, m.ButtonNext->x() - 10);
  EXPECT_EQ(m.ButtonPrev->width(), 73);
  EXPECT_EQ(m.ButtonCancel->width(), 61);
}

// The buttons keep their design widths, so every caption they take must fit
// inside them: with the toolkit's default font "< Précédant" lost its last
// letters.
TEST(MainWindow, EveryCaptionFitsItsButton) {
  Wizard w(StandardTexts());
  w.Start();
  const TfrmMain& m = w.main();
  const struct {
    const QPushButton* button;
    const char* caption;
  } cases[] = {
      {m.ButtonPrev, "< Précédant"}, {m.ButtonNext, "Suivant >"}, {m.ButtonNext, "Démarrer"},
      {m.ButtonNext, "Quitter"},     {m.ButtonCancel, "Annuler"},
  };
  for (const auto& c : cases) {
    QStyleOptionButton option;
    option.initFrom(c.button);
    option.text = QString::fromUtf8(c.caption);
    option.rect = c.button->rect();
    const QRect inside = c.button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, c.button);
    EXPECT_LE(c.button->fontMetrics().horizontalAdvance(option.text), inside.width()) << c.caption;
  }
}

TEST(MainWindow, AMissingListOfChangesIsSaidAndReplaced) {
  Carried files = StandardTexts();
  files.pop_back();  // no "UpdateInfo.txt"
  Wizard w(files);
  w.Start();
  ASSERT_EQ(w.user().shown.size(), 1u);
  EXPECT_EQ(w.user().shown[0].kind, MessageKind::Plain);
  EXPECT_EQ(w.user().shown[0].text, QStringLiteral("Cannot load resource file UpdateInfo.txt"));
  EXPECT_TRUE(w.user().beeps.empty());
  EXPECT_EQ(frmDisplayFile->RichEditFile->toPlainText(),
            QStringLiteral("\nCette mise à jour comporte uniquement des corrections internes."));
  EXPECT_EQ(w.current(), frmWelcome);
}

// A damaged carried text is said in an error box naming it; the pages are
// built all the same and the wizard goes on with the texts it could read.
TEST(MainWindow, ADamagedCarriedTextIsSaidAndTheWizardGoesOn) {
  const struct {
    const char* file;
    QString title;  // the window's title line afterwards
  } cases[] = {
      {"AppInfo1.txt", QString()},
      {"AppInfo2.txt", QStringLiteral("Mise à jour Torvida")},
      {"UpdateInfo.txt", QStringLiteral("Mise à jour Torvida")},
      {"Updates.txt", QStringLiteral("Mise à jour Torvida")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const QString name = QString::fromLatin1(c.file);
    Carried files = StandardTexts();
    std::erase_if(files, [&](const auto& file) { return file.first == name; });
    Wizard w(files, {{name, "these bytes are not a zlib stream"}});
    w.Start();
    ASSERT_EQ(w.user().shown.size(), 1u);
    EXPECT_EQ(w.user().shown[0].kind, MessageKind::Error);
    EXPECT_TRUE(w.user().shown[0].text.contains(name)) << w.user().shown[0].text.toStdString();
    EXPECT_EQ(w.main().RzLabelTitle->text(), c.title);
    EXPECT_EQ(w.current(), frmWelcome);
    w.Next();
    EXPECT_EQ(w.current(), frmDisplayFile);
    w.Next();
    EXPECT_EQ(w.current(), frmEndInstall);
    EXPECT_EQ(w.user().shown.size(), 1u) << "no further box, such as a missing next page";
  }
}

TEST(MainWindow, WithoutAProductListARunDoesNothing) {
  Carried files = StandardTexts();
  files.erase(files.begin());  // no "Updates.txt"
  Wizard w(files);
  w.Start();
  EXPECT_TRUE(w.main().ProductNames().isEmpty());
  w.Next();
  w.Next();
  EXPECT_EQ(w.current(), frmEndInstall);
  EXPECT_EQ(w.report(), QString());
  EXPECT_EQ(w.nextCaption(), QStringLiteral("Quitter"));
}

TEST(MainWindow, OnlyTheFirstKnownProductIsRun) {
  // Lower case and aliases are not table names; a repeated name counts once.
  Wizard w(StandardTexts("torvida\r\nWK_Torvida\r\nFerro\r\nFerrolune\r\nPDFDLL\r\nferrolune\r\n"));
  w.Start();
  EXPECT_EQ(w.main().ProductNames(),
            (QStringList{QStringLiteral("Ferro"), QStringLiteral("Ferrolune"), QStringLiteral("PDFDLL")}));
  w.Next();
  w.Next();
  // "Ferro" maps to no product and is skipped; Ferrolune runs (no routine);
  // PDFDLL is never reached: one title line.
  EXPECT_EQ(WithoutDate(w.report()), QStringLiteral("Mise à jour : Mise à jour Torvida  <date>\n\nMise à jour non signée.\n\n"));
  EXPECT_EQ(dmUpdateCommon->AppNameType(), antFerrolune);
}

// The shared libraries' routine against a prefix where the family is
// installed: every listed file copied gives success, a listed file that is
// not carried gives failure.
struct RunCase {
  const char* name;
  QByteArray fileNames;
  const char* outcome;
};

class RunOutcome : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunOutcome, EndsTheReportWithItsLine) {
  Carried files = StandardTexts("Common\r\n");
  files.push_back({QStringLiteral("FileNames.txt"), GetParam().fileNames});
  files.push_back({QStringLiteral("Shared.dll"), "shared library"});
  Wizard w(files);
  ASSERT_TRUE(WriteRegistryValue(kHkeyCurrentUser, QStringLiteral("SOFTWARE\\KELVARO S.A.\\Torvida\\Program"),
                                 QStringLiteral("Filename"),
                                 QStringLiteral("C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll"),
                                 RegistryKind::String, true));
  w.Start();
  w.Next();
  w.Next();
  const QString report = w.report();
  EXPECT_TRUE(report.startsWith(QStringLiteral("Mise à jour : Mise à jour Torvida  "))) << report.toStdString();
  EXPECT_TRUE(report.contains(QStringLiteral("Copie de "))) << report.toStdString();
  EXPECT_TRUE(report.contains(QStringLiteral("Common\\Programs\\Shared.dll\n"))) << report.toStdString();
  EXPECT_TRUE(report.endsWith(QStringLiteral("\n\n") + QString::fromUtf8(GetParam().outcome) + QStringLiteral("\n")))
      << report.toStdString();
  EXPECT_EQ(w.nextCaption(), QStringLiteral("Quitter"));
  EXPECT_TRUE(w.main().ButtonNext->isEnabled());
  EXPECT_FALSE(w.main().ButtonPrev->isEnabled());
  EXPECT_FALSE(w.main().ButtonCancel->isEnabled());
  EXPECT_TRUE(frmEndInstall->RichEditReport->hasFocus());
  w.SavePicture(QStringLiteral("run-") + QString::fromLatin1(GetParam().name));
}

INSTANTIATE_TEST_SUITE_P(Common, RunOutcome,
                         ::testing::Values(RunCase{"ok", "Shared.dll\r\n", "La mise à jour est terminée avec succès."},
                                           RunCase{"ko", "Shared.dll\r\nNotCarried.dll\r\n",
                                                   "La mise à jour a échouée !"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MainWindow, AnErrorLeavingTheRoutineIsShownAndReported) {
  // Torvida is installed but the update does not carry its library.
  Wizard w(StandardTexts("Torvida\r\n"));
  ASSERT_TRUE(WriteRegistryValue(kHkeyCurrentUser, QStringLiteral("SOFTWARE\\KELVARO S.A.\\Torvida\\Program"),
                                 QStringLiteral("Filename"),
                                 QStringLiteral("C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll"),
                                 RegistryKind::String, true));
  w.Start();
  w.Next();
  w.Next();
  ASSERT_EQ(w.user().shown.size(), 1u);
  EXPECT_EQ(w.user().shown[0].kind, MessageKind::Error);
  const QString message = w.user().shown[0].text;
  EXPECT_EQ(WithoutDate(w.report()), QStringLiteral("Mise à jour : Mise à jour Torvida  <date>\n\nMise à jour non signée.\n\n") + message +
                                         QStringLiteral("\n\nLa mise à jour a échouée !\n"));
  EXPECT_EQ(w.current(), frmEndInstall);
  EXPECT_EQ(w.nextCaption(), QStringLiteral("Quitter"));
  EXPECT_FALSE(w.main().ButtonPrev->isEnabled());
  w.SavePicture(QStringLiteral("run-error"));
}

// A window or the engine that fails to be made is said in the error box (the
// silent abort without one), and the others are made all the same.
TEST(ProgramStart, AFailureWhileOneIsMadeIsSaidAndTheOthersAreMade) {
  const auto made = [] {
    return std::array<bool, 5>{frmMain != nullptr, frmWelcome != nullptr, frmEndInstall != nullptr,
                               dmUpdateCommon != nullptr, frmDisplayFile != nullptr};
  };
  const struct {
    int failing;  // in the order of creation
    std::function<void()> raise;
    const char* box;  // null: no box
  } cases[] = {
      {0, [] { throw Error(QStringLiteral("Fenêtre principale impossible")); }, "Fenêtre principale impossible"},
      {1, [] { throw std::runtime_error("out of handles"); }, "out of handles"},
      {2, [] { throw SilentAbort(); }, nullptr},
      {3, [] { throw Error(QStringLiteral("Moteur impossible")); }, "Moteur impossible"},
      {4, [] { throw std::bad_alloc(); }, "std::bad_alloc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failing);
    fixtures::TempPrefix prefix;
    wizard_test::PackedUpdate packed(StandardTexts());
    ScopedScriptedUser scripted;
    ProgramWindowMakers makers = DefaultWindowMakers();
    const auto fail = [&c]<typename T>(std::function<T*()>& maker) {
      maker = [raise = c.raise]() -> T* {
        raise();
        return nullptr;
      };
    };
    switch (c.failing) {
      case 0: fail(makers.main); break;
      case 1: fail(makers.welcome); break;
      case 2: fail(makers.endInstall); break;
      case 3: fail(makers.engine); break;
      case 4: fail(makers.displayFile); break;
    }
    CreateProgramWindows(makers);
    std::array<bool, 5> expected{true, true, true, true, true};
    expected[size_t(c.failing)] = false;
    EXPECT_EQ(made(), expected);
    if (c.box) {
      ASSERT_EQ(scripted.user.shown.size(), 1u);
      EXPECT_EQ(scripted.user.shown[0].kind, MessageKind::Error);
      EXPECT_EQ(scripted.user.shown[0].text, QString::fromUtf8(c.box));
    } else {
      EXPECT_TRUE(scripted.user.shown.empty());
    }
    DestroyProgramWindows();
    EXPECT_EQ(made(), (std::array<bool, 5>{}));
  }
}

// The report says who signed the update, and a damaged update is refused
// before the routine copies anything.
TEST(MainWindow, TheReportShowsTheSignatureAndADamagedUpdateChangesNothing) {
  fixtures::TempDir keys;
  const QString keyName = QString::fromStdString(keys.path()) + QStringLiteral("/maker");
  WriteNewKeyPair(keyName);
  SecretKey key;
  ReadSecretKey(keyName + QStringLiteral(".secret"), &key);
  const QString fingerprint = KeyFingerprint(ReadPublicKey(keyName + QStringLiteral(".public")));

  Carried files = StandardTexts("Common\r\n");
  files.push_back({QStringLiteral("FileNames.txt"), "Shared.dll\r\n"});
  files.push_back({QStringLiteral("Shared.dll"), QByteArray(4000, 's') + "shared library"});
  const std::string kShared = "C:\\WKelvaro\\Torvida\\Programs\\Common\\Programs\\Shared.dll";
  for (const bool damaged : {false, true}) {
    SCOPED_TRACE(damaged ? "damaged" : "sound");
    Wizard w(files, {}, &key);
    ASSERT_TRUE(WriteRegistryValue(kHkeyCurrentUser, QStringLiteral("SOFTWARE\\KELVARO S.A.\\Torvida\\Program"),
                                   QStringLiteral("Filename"),
                                   QStringLiteral("C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll"),
                                   RegistryKind::String, true));
    if (damaged) {
      // One byte of the last carried file's payload, just before the index.
      QFile update(w.updatePath());
      ASSERT_TRUE(update.open(QIODevice::ReadWrite));
      QByteArray bytes = update.readAll();
      const qsizetype indexOffset = qsizetype(qFromLittleEndian<quint64>(bytes.constData() + bytes.size() - 32));
      bytes[indexOffset - 5] = char(bytes[indexOffset - 5] ^ 0x10);
      update.seek(0);
      update.write(bytes);
    }
    w.Start();
    w.Next();
    w.Next();
    const QString title = QStringLiteral("Mise à jour : Mise à jour Torvida  <date>\n\n");
    if (!damaged) {
      EXPECT_TRUE(WithoutDate(w.report()).startsWith(title + QStringLiteral("Mise à jour signée par la clé %1.\n\n").arg(fingerprint)))
          << w.report().toStdString();
      EXPECT_TRUE(w.report().endsWith(QStringLiteral("La mise à jour est terminée avec succès.\n")));
      EXPECT_TRUE(QFile::exists(QString::fromStdString(w.prefix().hostPath(kShared)))) << w.report().toStdString();
      continue;
    }
    const QString line = QStringLiteral("Le fichier intégré \"SHARED.DLL\" est endommagé : son empreinte SHA-256 ne "
                                        "correspond pas à celle de l'index.");
    ASSERT_EQ(w.user().shown.size(), 1u);
    EXPECT_EQ(w.user().shown[0].kind, MessageKind::Error);
    EXPECT_EQ(w.user().shown[0].text, line);
    EXPECT_EQ(WithoutDate(w.report()), title + line + QStringLiteral("\n\nLa mise à jour a échouée !\n"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(w.prefix().hostPath(kShared))));
  }
}

}  // namespace
