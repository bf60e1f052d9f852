// The pages on their own: the welcome texts, its blinking warning and its
// layout, and the list of changes read from carried files that are not what
// they should be.
#include <QLabel>
#include <QTextEdit>

#include "wizard/left_picture.h"
#include "wizard/picture/picture_drawing.h"
#include "wizard_harness.h"

namespace {

using namespace kelvaro;
using wizard_test::Carried;
using wizard_test::StandardTexts;
using wizard_test::Wizard;

QColor WarningColour() { return frmWelcome->LabelWarning->palette().color(QPalette::WindowText); }

TEST(WelcomePage, SetTextsFillsBothLabels) {
  struct Case {
    QString title;
    QString extra;
    QString info;
  };
  const QString fixed = QStringLiteral(".\r\n\r\nAucune donnée existante ne sera supprimée.\r\n\r\n");
  const std::vector<Case> cases = {
      {QStringLiteral("Torvida 2024"), QStringLiteral("Version 2.4\r\n"),
       QStringLiteral("Cet assistant va mettre à jour Torvida 2024") + fixed + QStringLiteral("Version 2.4\r\n")},
      {QString(), QStringLiteral("x"), QStringLiteral("Cet assistant va mettre à jour ?") + fixed + QStringLiteral("x")},
      {QStringLiteral("T"), QString(), QStringLiteral("Cet assistant va mettre à jour T") + fixed},
      // Carried text is text, never markup.
      {QStringLiteral("<b>T</b>"), QString(), QStringLiteral("Cet assistant va mettre à jour <b>T</b>") + fixed},
  };
  TfrmWelcome page;
  for (const Case& c : cases) {
    page.SetTexts(c.title, c.extra);
    EXPECT_EQ(page.LabelInfo->text(), c.info);
    EXPECT_EQ(page.LabelInfo->textFormat(), Qt::PlainText);
    EXPECT_EQ(page.LabelWarning->text(),
              QStringLiteral("Veuillez fermer les applications Kelvaro sur tous les postes de travail avant "
                             "d'installer cette mise à jour !"));
  }
}

TEST(WelcomePage, LaysItsLabelsOutOnResize) {
  struct Case {
    QSize page;
    QRect warning;
    QRect info;
  };
  const std::vector<Case> cases = {
      {{793, 446}, {20, 111, 753, 144}, {20, 275, 753, 184}},
      {{488, 288}, {20, 72, 448, 64}, {20, 156, 448, 104}},
      {{401, 3}, {20, 0, 361, 0}, {20, -57, 361, 0}},  // sizes stop at 0
  };
  TfrmWelcome page;
  for (const Case& c : cases) {
    page.resize(c.page);
    QResizeEvent resize(c.page, QSize());
    QCoreApplication::sendEvent(&page, &resize);
    EXPECT_EQ(page.LabelWarning->geometry().topLeft(), c.warning.topLeft()) << c.page.height();
    EXPECT_EQ(page.LabelWarning->width(), c.warning.width());
    EXPECT_EQ(page.LabelWarning->height(), std::max(0, c.warning.height()));
    EXPECT_EQ(page.LabelInfo->geometry().topLeft(), c.info.topLeft());
    EXPECT_EQ(page.LabelInfo->height(), std::max(0, c.info.height()));
  }
}

TEST(WelcomePage, TheWarningBlinksWhileShown) {
  Wizard w(StandardTexts());
  w.Start();
  ASSERT_EQ(w.current(), frmWelcome);
  EXPECT_EQ(frmWelcome->TimerBlink->interval(), 500);
  EXPECT_TRUE(frmWelcome->TimerBlink->isActive());
  EXPECT_EQ(WarningColour(), TfrmWelcome::kMaroon);
  QTRY_COMPARE_WITH_TIMEOUT(WarningColour(), TfrmWelcome::kRed, 1000);
  w.SavePicture(QStringLiteral("welcome-red"));
  QTRY_COMPARE_WITH_TIMEOUT(WarningColour(), TfrmWelcome::kMaroon, 1000);
  QTRY_COMPARE_WITH_TIMEOUT(WarningColour(), TfrmWelcome::kRed, 1000);

  w.Next();
  EXPECT_FALSE(frmWelcome->TimerBlink->isActive()) << "hidden, it stops";
  w.Back();
  EXPECT_TRUE(frmWelcome->TimerBlink->isActive());
  EXPECT_EQ(WarningColour(), TfrmWelcome::kMaroon) << "back on the page, it starts at maroon";
}

TEST(WelcomePage, LayoutInTheWindow) {
  Wizard w(StandardTexts());
  w.Start();
  // The page fills the page area: 947 x 522 less the column, the title and
  // the button row.
  const QSize area = w.main().PanelCurrStep->size();
  EXPECT_EQ(area, QSize(947 - 154, 522 - 37 - 45));
  const int q = area.height() / 4;
  EXPECT_EQ(frmWelcome->LabelWarning->geometry(), QRect(20, q, area.width() - 40, area.height() - 2 * q - 80));
  w.main().resize(700, 600);
  Wizard::WaitForIdle();
  EXPECT_EQ(frmWelcome->size(), w.main().PanelCurrStep->size());
  EXPECT_EQ(frmWelcome->LabelInfo->y(), frmWelcome->height() - frmWelcome->height() / 4 - 60);
}

TEST(CompanyPicture, BottomRowIsOneColour) {
  const QImage picture = CompanyPicture();
  ASSERT_EQ(picture.size(), QSize(150, 245));
  for (int x = 0; x < 150; ++x) EXPECT_EQ(picture.pixelColor(x, 244), picture.pixelColor(0, 244));
}

// The wizard carries the pixels the build drew: a picture carried from an
// older drawing, or rows read with the wrong stride, would differ.
TEST(CompanyPicture, IsTheDrawingTheBuildMade) {
  const QImage carried = CompanyPicture();
  EXPECT_EQ(carried.format(), QImage::Format_RGB888);
  EXPECT_EQ(carried, DrawCompanyPicture());
  // A caller painting on its copy leaves the carried picture alone.
  QImage copy = CompanyPicture();
  copy.fill(Qt::red);
  EXPECT_EQ(CompanyPicture(), DrawCompanyPicture());
}

// Carried lists of changes that are not clean RTF: the wizard starts, shows
// what can be read and says nothing.
struct BadListCase {
  const char* name;
  QByteArray bytes;
  const char* shows;
};

class BadListOfChanges : public ::testing::TestWithParam<BadListCase> {};

TEST_P(BadListOfChanges, ShowsWhatCanBeRead) {
  Carried files = StandardTexts();
  files.back().second = GetParam().bytes;
  Wizard w(files);
  w.Start();
  EXPECT_TRUE(w.user().shown.empty());
  ASSERT_EQ(w.current(), frmWelcome);
  w.Next();
  ASSERT_EQ(w.current(), frmDisplayFile);
  EXPECT_TRUE(frmDisplayFile->RichEditFile->toPlainText().contains(QString::fromUtf8(GetParam().shows)))
      << frmDisplayFile->RichEditFile->toPlainText().left(200).toStdString();
  EXPECT_EQ(w.nextCaption(), QStringLiteral("Démarrer"));
}

QByteArray DeeplyNested() {
  return "{\\rtf1 " + QByteArray(20000, '{') + "profond" + QByteArray(20000, '}') + "\\par fin}";
}

INSTANTIATE_TEST_SUITE_P(
    Carried, BadListOfChanges,
    ::testing::Values(BadListCase{"plain_text", "Corrections :\r\n- l'impression\r\n", "l'impression"},
                      BadListCase{"truncated", "{\\rtf1\\ansi {\\b Nouveaut\\'e9s}\\par Liste des corr", "Liste des corr"},
                      BadListCase{"deeply_nested", DeeplyNested(), "profond"},
                      BadListCase{"unknown_words", "{\\rtf1\\zorglub12 {\\*\\wibble cach\\'e9}{\\blah Visible}\\par}", "Visible"},
                      BadListCase{"binary", QByteArray("{\\rtf1 \x01\x02\xff\xfe Lisible\\par}", 21), "Lisible"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
