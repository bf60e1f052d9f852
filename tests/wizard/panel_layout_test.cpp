// The button row of the wizard's window, laid out by ArrangePanelButtons.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>

#include "wizard/panel_layout.h"

namespace kelvaro {
namespace {

// The wizard's row at design size: Back, Next, Cancel, plus a label and a
// hidden button that the layout must leave alone.
struct ButtonRow {
  QWidget panel;
  QPushButton* back = new QPushButton("< Précédent", &panel);
  QPushButton* next = new QPushButton("Suivant >", &panel);
  QPushButton* cancel = new QPushButton("Annuler", &panel);
  QLabel* label = new QLabel("version", &panel);
  QPushButton* hidden = new QPushButton("caché", &panel);

  ButtonRow() {
    panel.resize(600, 80);
    // Created in another order than their places, so sorting by left counts.
    cancel->setGeometry(510, 7, 61, 25);
    next->setGeometry(431, 7, 73, 25);
    back->setGeometry(348, 7, 73, 25);
    label->setGeometry(5, 5, 100, 20);
    hidden->setGeometry(200, 7, 73, 25);
    hidden->hide();
  }
};

TEST(ArrangePanelButtonsTest, RightAlignsTheWizardButtonRow) {
  ButtonRow row;
  ArrangePanelButtons(&row.panel);
  EXPECT_EQ(45, row.panel.height());  // 25 + 2 * 10
  EXPECT_EQ(QRect(529, 10, 61, 25), row.cancel->geometry());  // 600 - 10 - 61
  EXPECT_EQ(QRect(446, 10, 73, 25), row.next->geometry());    // 10-pixel gaps
  EXPECT_EQ(QRect(363, 10, 73, 25), row.back->geometry());
  EXPECT_EQ(QRect(5, 5, 100, 20), row.label->geometry());
  EXPECT_EQ(QRect(200, 7, 73, 25), row.hidden->geometry());
}

TEST(ArrangePanelButtonsTest, RowFollowsTheRightEdgeWhenThePanelIsResized) {
  ButtonRow row;
  row.panel.show();
  ArrangePanelButtons(&row.panel);
  row.panel.resize(700, row.panel.height());
  EXPECT_EQ(QRect(629, 10, 61, 25), row.cancel->geometry());
  EXPECT_EQ(QRect(463, 10, 73, 25), row.back->geometry());
  EXPECT_EQ(QRect(5, 5, 100, 20), row.label->geometry());
}

TEST(ArrangePanelButtonsTest, TakesTheHeightOfTheRightMostButton) {
  QWidget panel;
  panel.resize(300, 100);
  auto* left = new QPushButton("a", &panel);
  auto* right = new QToolButton(&panel);
  left->setGeometry(10, 0, 40, 30);
  right->setGeometry(100, 0, 24, 50);  // margin 50 * 10 / 25 = 20
  ArrangePanelButtons(&panel);
  EXPECT_EQ(90, panel.height());
  EXPECT_EQ(QRect(256, 20, 24, 50), right->geometry());
  EXPECT_EQ(QRect(196, 20, 40, 50), left->geometry());
}

TEST(ArrangePanelButtonsTest, PanelWithoutVisibleButtonsIsLeftAlone) {
  QWidget panel;
  panel.resize(300, 100);
  auto* hidden = new QPushButton("a", &panel);
  hidden->setGeometry(10, 10, 40, 25);
  hidden->hide();
  new QLabel("b", &panel);
  ArrangePanelButtons(&panel);
  EXPECT_EQ(100, panel.height());
  EXPECT_EQ(QRect(10, 10, 40, 25), hidden->geometry());
}

}  // namespace
}  // namespace kelvaro
