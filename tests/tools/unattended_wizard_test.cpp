// An update executable made from the wizard, started where no display can be
// opened (over SSH, from a scheduler): without arguments it says in one line
// what to do and ends with its own code instead of aborting; arguments it
// does not know are refused with the usage before anything happens.
#include <gtest/gtest.h>

#include <QDir>
#include <filesystem>

#include "fixtures/packed_update.h"

#if defined(KELVARO_UPDATE_BATCH) && defined(KELVARO_PACK) && defined(KELVARO_UPDATE)

namespace {

using fixtures::BatchRun;

class UnattendedWizardTest : public fixtures::PackedUpdateTest {
 protected:
  void SetUp() override {
    carryTorvidaUpdate("torvida_1_2_3_10.dll");
    installTorvida("torvida_1_2_3_9.dll");
    update = package().pack(updateName(), fixtures::UpdatePackage::Base::Wizard);
    ASSERT_FALSE(update.empty());
    QDir().mkpath(QString::fromStdString(cwd));
  }

  // Nothing was changed: the installed library is the old one.
  bool Untouched() const { return prefix.readFile(fixtures::kTorvidaLibrary) == fixture("torvida_1_2_3_9.dll"); }
  QString Name() const { return QString::fromStdString(updateName()); }

  std::string update;
  const std::string cwd = work + "/cwd";
};

TEST_F(UnattendedWizardTest, WithoutADisplayItSaysHowToRunUnattendedAndEndsCleanly) {
  const BatchRun run = fixtures::RunUpdateItself(update, {}, cwd);
  EXPECT_EQ(run.exitCode, 69) << run.err.toStdString();  // -1 had it crashed (an abort)
  const QString line = Name() +
                       QStringLiteral(" : l'assistant de mise à jour a besoin d'une session graphique ; pour mettre "
                                      "à jour sans fenêtre, lancez ") +
                       Name() + QStringLiteral(" --unattended (ou ") + Name() + QStringLiteral(" /SILENT).\n");
  EXPECT_EQ(run.err.toStdString(), line.toStdString());
  EXPECT_EQ(run.out, QString());
  EXPECT_TRUE(QDir(QString::fromStdString(cwd)).entryList(QDir::Files).isEmpty()) << "a core file was left";
  EXPECT_TRUE(Untouched());
}

TEST_F(UnattendedWizardTest, WithoutArgumentsWhereADisplayOpensTheWizardStarts) {
  // The texts the welcome page shows; the start-up probe reports the page's
  // first paint and quits.
  carry("AppInfo2.txt", "Cette mise \xe0 jour remplace la version 1.2.\r\n");
  carry("UpdateInfo.txt", "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Nouveaut\\'e9s\\par}");
  update = package().pack(updateName(), fixtures::UpdatePackage::Base::Wizard);
  const BatchRun run = fixtures::RunUpdateItself(
      update, {}, cwd, {QStringLiteral("QT_QPA_PLATFORM=offscreen"), QStringLiteral("KELVARO_STARTUP_PROBE=1")});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out.startsWith(QStringLiteral("welcome-shown "))) << run.out.toStdString();
  EXPECT_TRUE(Untouched());
}

TEST_F(UnattendedWizardTest, ArgumentsAreCheckedBeforeAnything) {
  // Without a display: a wizard that tried to open its window would end with
  // 69 instead.
  const struct {
    QStringList args;
    const char* why;
  } refused[] = {
      {{QStringLiteral("--frobnicate")}, "argument inconnu : --frobnicate"},
      {{QStringLiteral("/SILENT"), QStringLiteral("/VERYSILENT")}, "argument inconnu : /VERYSILENT"},
      {{QStringLiteral("--unattended"), QStringLiteral("--answer"), QStringLiteral("peut-être")},
       "--answer attend yes ou no"},
      {{QStringLiteral("/silent"), QStringLiteral("/ANSWER=maybe")}, "/ANSWER attend YES ou NO"},
      {{QStringLiteral("/ANSWER=YES")}, "la réponse ne sert qu'à une mise à jour sans fenêtre (--unattended ou /SILENT)"},
      {{QStringLiteral("--unattended"), QStringLiteral("--json")}, "--json attend un nom de fichier"},
      {{QStringLiteral("/SILENT"), QStringLiteral("/json=")}, "/JSON attend un nom de fichier"},
      {{QStringLiteral("/JSON=resultat.json")},
       "le document JSON ne sert qu'à une mise à jour sans fenêtre (--unattended ou /SILENT)"},
  };
  for (const auto& c : refused) {
    const BatchRun run = fixtures::RunUpdateItself(update, c.args);
    const std::string what = c.args.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(run.exitCode, 64) << what;
    EXPECT_TRUE(run.err.startsWith(Name() + QStringLiteral(" : ") + QString::fromUtf8(c.why) +
                                   QStringLiteral("\n\nUsage : ")))
        << what << "\n" << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("Codes de sortie :\n"))) << what;
    EXPECT_EQ(run.out, QString()) << what;
  }
  EXPECT_TRUE(Untouched());

  for (const QString& help : {QStringLiteral("--help"), QStringLiteral("/?")}) {
    const BatchRun run = fixtures::RunUpdateItself(update, {help});
    EXPECT_EQ(run.exitCode, 0) << help.toStdString();
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("Usage : ") + Name() + QLatin1Char('\n'))) << help.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("  69  pas de session graphique"))) << help.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("--unattended [--answer yes|no] [--json FICHIER]\n")))
        << help.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("/SILENT [/ANSWER=YES|NO] [/JSON=FICHIER]\n"))) << help.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("  5   le préfixe Wine appartient à un autre utilisateur")))
        << help.toStdString();
  }
  // A name holding one of the usage text's markers is shown as it is.
  const std::string marked = work + "/Maj%2";
  std::filesystem::copy_file(update, marked);
  const BatchRun named = fixtures::RunUpdateItself(marked, {QStringLiteral("--help")});
  EXPECT_TRUE(named.out.startsWith(QStringLiteral("Usage : Maj%2\n        Maj%2 --unattended"))) << named.out.toStdString();
}

}  // namespace

#endif
