#include "wizard_arguments.h"

#include "unattended/unattended_run.h"

namespace app {
namespace {

bool IsSlashForm(const QString& arg, const char* name) {
  return arg.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

// "/ANSWER=YES" and the like: the value after "=" as written, or a null
// string when arg is not that option.
QString SlashValue(const QString& arg, const char* name) {
  const QString prefix = QLatin1String(name) + QLatin1Char('=');
  return arg.startsWith(prefix, Qt::CaseInsensitive) ? arg.mid(prefix.size()) : QString();
}

bool SetAnswer(const QString& value, WizardCommand* command) {
  if (value != QStringLiteral("yes") && value != QStringLiteral("no")) return false;
  command->answer = value == QStringLiteral("yes");
  return true;
}

WizardCommand Refused(const QString& why) {
  WizardCommand command;
  command.mode = Mode::Refused;
  command.error = why;
  return command;
}

}  // namespace

WizardCommand ParseWizardArguments(const QStringList& args) {
  WizardCommand command;
  if (args.size() == 1 && (args[0] == QStringLiteral("--help") || args[0] == QStringLiteral("/?"))) {
    command.mode = Mode::Help;
    return command;
  }
  bool unattended = false, answered = false;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (arg == QStringLiteral("--unattended") || IsSlashForm(arg, "/SILENT")) {
      unattended = true;
    } else if (arg == QStringLiteral("--dry-run") || IsSlashForm(arg, "/DRYRUN")) {
      // Nothing to show a window for: a plan is printed.
      unattended = true;
      command.dryRun = true;
    } else if (arg == QStringLiteral("--answer")) {
      if (i + 1 >= args.size() || !SetAnswer(args[++i], &command))
        return Refused(QStringLiteral("--answer attend yes ou no"));
      answered = true;
    } else if (!SlashValue(arg, "/ANSWER").isNull()) {
      if (!SetAnswer(SlashValue(arg, "/ANSWER").toLower(), &command))
        return Refused(QStringLiteral("/ANSWER attend YES ou NO"));
      answered = true;
    } else if (arg == QStringLiteral("--json")) {
      command.json = i + 1 < args.size() ? args[++i] : QString();
      if (command.json.isEmpty()) return Refused(QStringLiteral("--json attend un nom de fichier"));
    } else if (!SlashValue(arg, "/JSON").isNull()) {
      command.json = SlashValue(arg, "/JSON");
      if (command.json.isEmpty()) return Refused(QStringLiteral("/JSON attend un nom de fichier"));
    } else {
      return Refused(QStringLiteral("argument inconnu : ") + arg);
    }
  }
  if (answered && !unattended)
    return Refused(QStringLiteral("la réponse ne sert qu'à une mise à jour sans fenêtre (--unattended ou /SILENT)"));
  if (!command.json.isEmpty() && !unattended)
    return Refused(QStringLiteral("le document JSON ne sert qu'à une mise à jour sans fenêtre (--unattended ou /SILENT)"));
  if (unattended) command.mode = Mode::Unattended;
  return command;
}

QString WizardUsage(const QString& programName) {
  using namespace unattended;
  return QStringLiteral(
             "Usage : %1\n"
             "        %1 --unattended [--answer yes|no] [--json FICHIER]\n"
             "        %1 /SILENT [/ANSWER=YES|NO] [/JSON=FICHIER]\n"
             "        %1 --dry-run [--answer yes|no] [--json FICHIER]\n"
             "        %1 /DRYRUN [/ANSWER=YES|NO] [/JSON=FICHIER]\n"
             "\n"
             "Sans argument, l'assistant de mise à jour s'ouvre.\n"
             "  --unattended, /SILENT   effectue la mise à jour sans fenêtre, comme\n"
             "                          kelvaro-update-batch : le rapport sur la sortie standard,\n"
             "                          les messages sur la sortie d'erreur\n"
             "  --answer yes|no, /ANSWER=YES|NO\n"
             "                          la réponse donnée à chaque question (no par défaut)\n"
             "  --json FICHIER, /JSON=FICHIER\n"
             "                          écrit aussi le résultat de la mise à jour dans FICHIER,\n"
             "                          en un document JSON (celui de kelvaro-update-batch) ;\n"
             "                          FICHIER - l'écrit sur la sortie standard, à la place du rapport\n"
             "  --dry-run, /DRYRUN      ne modifie rien : fait les mêmes vérifications, puis indique\n"
             "                          ce que la mise à jour ferait (fichiers remplacés ou gardés,\n"
             "                          questions et réponses, registre, sociétés, listes) et\n"
             "                          comment elle se terminerait (sans fenêtre)\n"
             "  --help, /?              affiche cette aide\n"
             "\n"
             "Codes de sortie :\n"
             "  %2   mise à jour terminée avec succès\n"
             "  %3   la mise à jour a échoué\n"
             "  %4   mise à jour non effectuée (une question a reçu la réponse non)\n"
             "  %5   mise à jour effectuée avec des avertissements\n"
             "  %6   rien à mettre à jour (aucun produit concerné, bibliothèque cliente Firebird\n"
             "      refusée, ou une autre copie de la mise à jour en cours)\n"
             "  %9   le préfixe Wine appartient à un autre utilisateur : rien n'a été modifié\n"
             "  %7  arguments incorrects\n"
             "  %8  pas de session graphique pour l'assistant (lancé sans argument)\n"
             "Avec --dry-run, une fois la mise à jour simulée (rien n'a été modifié) :\n"
             "  %2   la mise à jour ne modifierait rien sur ce poste\n"
             "  %10  la mise à jour modifierait ce poste ou les listes d'une société\n"
             "  %11  la mise à jour échouerait\n"
             "et avant cela les codes ci-dessus, comme pour la mise à jour elle-même.\n")
      // One call: a program name holding "%2" is never taken for a marker.
      .arg(programName, QString::number(kExitOk), QString::number(kExitFailed), QString::number(kExitDeclined),
           QString::number(kExitWarning), QString::number(kExitNothingDone), QString::number(kExitUsage),
           QString::number(kExitNoDisplay), QString::number(kExitForeignPrefix), QString::number(kExitWouldChange),
           QString::number(kExitWouldFail));
}

QString NoDisplayMessage(const QString& programName) {
  return QStringLiteral(
             "%1 : l'assistant de mise à jour a besoin d'une session graphique ; pour mettre à jour sans "
             "fenêtre, lancez %1 --unattended (ou %1 /SILENT).")
      .arg(programName);
}

}  // namespace app
