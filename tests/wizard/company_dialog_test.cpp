// The company-selection window: it starts on the remembered company, Enter
// confirms and remembers the choice, Escape cancels, and the captions are the
// form's.
#include "wizard/company_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "fixtures/temp_prefix.h"
#include "printlists/company_list.h"
#include "support/registry_access.h"

namespace {

using namespace kelvaro;

const QString kKey = QStringLiteral("Software\\KELVARO S.A.\\Multiste");

// Runs action on the dialog once it is shown modally.
void WhenShown(std::function<void(CompanyDialog*)> action) {
  QTimer::singleShot(0, [action] {
    auto* dialog = qobject_cast<CompanyDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    action(dialog);
  });
}

class CompanyDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix.writeFile("C:\\Kelvaro\\multiste.txt", "Alpha\r\nBeta\r\nGamma\r\n");
    WriteRegistryString(kHkeyCurrentUser, kKey, QStringLiteral("LastCompany"), QStringLiteral("gamma"));
    InstallCompanyDialog();
  }
  void TearDown() override { TFMultiSte::SetModalDialog({}); }

  fixtures::TempPrefix prefix;
  TFMultiSte form;
};

TEST_F(CompanyDialogTest, EnterConfirmsTheChoiceAndRemembersIt) {
  WhenShown([](CompanyDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Sélection de la société"));
    EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("Société : "));
    EXPECT_FALSE(dialog->findChild<QPushButton*>(QStringLiteral("Button1"))->isVisible());
    EXPECT_EQ(dialog->companies()->currentText(), QStringLiteral("Gamma"));
    dialog->companies()->setCurrentIndex(1);
    QTest::keyClick(dialog->companies(), Qt::Key_Return);
  });
  EXPECT_TRUE(form.DemandeSte());
  EXPECT_EQ(form.CompanyNameOrDefault(), QStringLiteral("Beta"));
  EXPECT_EQ(ReadRegistryString(kHkeyCurrentUser, kKey, QStringLiteral("LastCompany")), QStringLiteral("Beta"));
}

TEST_F(CompanyDialogTest, EscapeCancelsAndRemembersNothing) {
  WhenShown([](CompanyDialog* dialog) {
    dialog->companies()->setCurrentIndex(0);
    QTest::keyClick(dialog->companies(), Qt::Key_Escape);
  });
  EXPECT_FALSE(form.DemandeSte());
  EXPECT_EQ(ReadRegistryString(kHkeyCurrentUser, kKey, QStringLiteral("LastCompany")), QStringLiteral("gamma"));
}

TEST_F(CompanyDialogTest, CancelButton) {
  WhenShown([](CompanyDialog* dialog) { dialog->findChild<QPushButton*>(QStringLiteral("Bannuler"))->click(); });
  EXPECT_FALSE(form.DemandeSte());
  EXPECT_TRUE(form.Abandon);
}

}  // namespace
