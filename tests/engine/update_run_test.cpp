// The run without its window: which names of "Updates.txt" are kept, the
// client-library gate, and the lines around the routine.
#include "engine/update_run.h"

#include <gtest/gtest.h>

#include "engine_fixture.h"

namespace {

using namespace kelvaro;

TEST(SelectProductNames, KeepsTableNamesOnceInFileOrder) {
  struct Case {
    const char* name;
    QStringList lines;
    QStringList kept;
  };
  const Case cases[] = {
      {"duplicate ignoring case", {"Torvida", "TORVIDA", "Torvida"}, {"Torvida"}},
      {"lower case rejected", {"torvida"}, {}},
      {"alias rejected", {"WK_Torvida"}, {}},
      {"start of a name accepted", {"Torv", "QRV"}, {"Torv", "QRV"}},
      {"empty and unknown lines", {"", "Inconnu", "Nimbaro"}, {"Nimbaro"}},
      {"two products, in order", {"QRV", "Torvida"}, {"QRV", "Torvida"}},
  };
  for (const Case& c : cases) {
    QStringList names;
    EXPECT_EQ(SelectProductNames(c.lines, [] { return true; }, &names), ProductListStatus::Loaded) << c.name;
    EXPECT_EQ(names, c.kept) << c.name;
  }
}

TEST(SelectProductNames, TheClientGateGuardsTheMainProductOnly) {
  int gateCalls = 0;
  auto refuse = [&gateCalls] {
    ++gateCalls;
    return false;
  };
  QStringList names;
  EXPECT_EQ(SelectProductNames({"Torvida", "Sorbano Ingenieur"}, refuse, &names), ProductListStatus::Loaded);
  EXPECT_EQ(gateCalls, 0);
  EXPECT_EQ(SelectProductNames({"Torvida", "Sorbano"}, refuse, &names), ProductListStatus::ClientRefused);
  EXPECT_EQ(gateCalls, 1);
  EXPECT_TRUE(names.isEmpty());
}

TEST(UpdateRunLines, TitleAndOutcome) {
  EXPECT_EQ(UpdateTitleLine(QStringLiteral("Torvida 2"), QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7))),
            QStringLiteral("Mise à jour : Torvida 2  04.03.2026 05:06:07\r\n"));
  EXPECT_EQ(OutcomeMessage(urtUnknown), QString());
  EXPECT_EQ(OutcomeMessage(urtWarning), QStringLiteral("La mise à jour a été effectuée mais avec des avertissements !"));
}

class RunUpdateTest : public enginetest::EngineTest {};

TEST_F(RunUpdateTest, OnlyTheFirstKnownProductRunsAndTheActionsComeBack) {
  QStringList calls;
  RunUpdateHooks hooks;
  hooks.setActionsEnabled = [&calls](bool enabled) { calls << (enabled ? "enable" : "disable"); };
  hooks.showEndStep = [&calls] { calls << "end step"; };
  // Torvida is not carried: its routine raises, which the run's handler takes.
  const RunUpdateOutcome outcome =
      RunUpdate(*engine, {QStringLiteral("Torv"), QStringLiteral("Torvida"), QStringLiteral("QRV")},
                QStringLiteral("Titre"), hooks);
  EXPECT_TRUE(outcome.productRun);
  EXPECT_TRUE(outcome.failed);
  EXPECT_EQ(engine->AppNameType(), antTorvida);
  EXPECT_EQ(calls, (QStringList{"disable", "enable"})) << "the error skips the end step";
  ASSERT_EQ(report().size(), 2);
  EXPECT_TRUE(report()[0].startsWith(QStringLiteral("Mise à jour : Titre  ")));
  EXPECT_EQ(report()[1], QStringLiteral("Cannot find WKTorvida2.dll\r\n\r\nLa mise à jour a échouée !"));
  ASSERT_EQ(scripted.user.shown.size(), 1u);
  EXPECT_EQ(scripted.user.shown[0].text, QStringLiteral("Cannot find WKTorvida2.dll"));
}

TEST_F(RunUpdateTest, AnExceptionOfAnotherTypeEndsLikeTheProgramsOwnError) {
  // The installed library is as recent as the carried one, so the routine
  // asks; the stand-in for the person has no answer and raises a standard
  // exception, not the program's own error type, from inside the routine.
  carry({{QStringLiteral("WKTorvida2.dll"), "new library"}});
  writeFile("C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll", "installed library");
  QStringList calls;
  RunUpdateHooks hooks;
  hooks.setActionsEnabled = [&calls](bool enabled) { calls << (enabled ? "enable" : "disable"); };
  const RunUpdateOutcome outcome = RunUpdate(*engine, {QStringLiteral("Torvida")}, QStringLiteral("Titre"), hooks);
  EXPECT_TRUE(outcome.failed);
  EXPECT_EQ(outcome.result, urtKo);
  EXPECT_EQ(calls, (QStringList{"disable", "enable"}));
  ASSERT_EQ(scripted.user.shown.size(), 2u);
  EXPECT_EQ(scripted.user.shown[0].kind, MessageKind::Confirmation);
  EXPECT_EQ(scripted.user.shown[1].kind, MessageKind::Error);
  const QString message = scripted.user.shown[1].text;
  EXPECT_TRUE(message.startsWith(QStringLiteral("ScriptedUser: unexpected question: Le fichier WKTorvida2.dll")))
      << message.toStdString();
  ASSERT_EQ(report().size(), 2);
  EXPECT_TRUE(report()[0].startsWith(QStringLiteral("Mise à jour : Titre  ")));
  EXPECT_EQ(report()[1], message + QStringLiteral("\r\n\r\nLa mise à jour a échouée !"));
}

TEST_F(RunUpdateTest, AProductWithoutRoutineWritesNoOutcome) {
  const RunUpdateOutcome outcome = RunUpdate(*engine, {QStringLiteral("PDFDLL")}, QStringLiteral("Titre"));
  EXPECT_TRUE(outcome.productRun);
  EXPECT_FALSE(outcome.failed);
  EXPECT_EQ(outcome.result, urtUnknown);
  EXPECT_EQ(report().size(), 1);
}

}  // namespace
