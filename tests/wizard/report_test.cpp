// The report page's control as the engine writes to it: lines, empty lines,
// font sizes carried forward, and the focus.
#include <QTextBlock>
#include <QLineEdit>
#include <QTextDocument>

#include "engine/update_common.h"
#include "wizard/report_text_edit.h"
#include "wizard_harness.h"

namespace {

using namespace kelvaro;

// The point size of each paragraph's first character (the text before it
// for an empty paragraph).
QList<qreal> Sizes(const QTextDocument* document) {
  QList<qreal> sizes;
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    QTextCursor cursor(block);
    if (!block.text().isEmpty()) cursor.movePosition(QTextCursor::NextCharacter);
    sizes << cursor.charFormat().fontPointSize();
  }
  return sizes;
}

class ReportControl : public ::testing::Test {
 protected:
  fixtures::TempPrefix prefix;
  ScopedScriptedUser scripted;
  TdmUpdateCommon engine;
  ReportTextEdit edit;
};

TEST_F(ReportControl, NothingIsWrittenBeforeInitLog) {
  engine.AddToLog(QStringLiteral("perdu"), 10);
  EXPECT_TRUE(edit.document()->isEmpty());
}

TEST_F(ReportControl, LinesAreAppendedAsTheyAreWritten) {
  engine.InitLog(&edit);
  engine.AddToLog(QStringLiteral("Mise à jour : T  01.02.2026 10:00:00\r\n"), 10);
  engine.AddToLog(QString());
  engine.AddToLog(QStringLiteral("a\r\nb"));
  engine.LogSameFile(QStringLiteral("C:\\P\\x.dll"));
  engine.LogNotReplacedFile(QStringLiteral("C:\\P\\y.dll"));
  EXPECT_EQ(edit.toPlainText(), QStringLiteral("Mise à jour : T  01.02.2026 10:00:00\n\n\na\nb\n"
                                               "Le fichier C:\\P\\x.dll\nest à jour : il n'est pas remplacé.\n\n"
                                               "Le fichier C:\\P\\y.dll\nn'est pas remplacé !!!\n\n"));
}

TEST_F(ReportControl, AFontSizeStaysInForceForTheLinesAfterIt) {
  engine.InitLog(&edit);
  edit.setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
  engine.AddToLog(QStringLiteral("petit"));
  engine.AddToLog(QStringLiteral("titre"), 10);
  engine.AddToLog(QStringLiteral("suite"));
  engine.AddToLog(QStringLiteral("grand"), 14, QStringLiteral("Arial"));
  const QList<qreal> sizes = Sizes(edit.document());
  ASSERT_GE(sizes.size(), 4);
  EXPECT_NE(sizes[0], 10);
  EXPECT_EQ(sizes[1], 10);
  EXPECT_EQ(sizes[2], 10) << "0 keeps the size in force at the end";
  EXPECT_EQ(sizes[3], 14);
  QTextCursor last(edit.document()->findBlockByNumber(3));
  last.movePosition(QTextCursor::NextCharacter);
  EXPECT_EQ(last.charFormat().fontFamilies().toStringList(), QStringList{QStringLiteral("Arial")});
}

TEST_F(ReportControl, TheShownControlTakesTheFocus) {
  QWidget window;
  QLineEdit other(&window);
  edit.setParent(&window);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  other.setFocus();
  ASSERT_FALSE(edit.hasFocus());
  engine.InitLog(&edit);
  engine.AddToLog(QStringLiteral("ligne"));
  EXPECT_TRUE(edit.hasFocus());
  EXPECT_EQ(edit.textCursor().position(), edit.document()->characterCount() - 1) << "the caret ends at the end";
  edit.setParent(nullptr);
}

}  // namespace
