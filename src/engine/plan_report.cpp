#include "engine/plan_report.h"

#include <algorithm>

namespace kelvaro {
namespace {

using Kind = WorkstationAction::Kind;

const QString kListPrefix = QStringLiteral("Les paramètres pour l'impression : \"");

// " (version 1.2.3.9 installée, version 2.0.0.0 dans la mise à jour)", with
// the parts that are known.
QString Versions(const WorkstationAction& a) {
  QStringList parts;
  if (!a.before.isEmpty()) parts << QStringLiteral("version %1 installée").arg(a.before);
  if (!a.after.isEmpty()) parts << QStringLiteral("version %1 dans la mise à jour").arg(a.after);
  return parts.isEmpty() ? QString() : QStringLiteral(" (") + parts.join(QStringLiteral(", ")) + QLatin1Char(')');
}

QString Quoted(const QString& text) { return QStringLiteral("« ") + text + QStringLiteral(" »"); }

QString ValueLine(const WorkstationAction& a) {
  if (a.before.isNull()) return QStringLiteral("La valeur %1 serait créée : %2.").arg(a.target, Quoted(a.after));
  if (a.before == a.after) return QStringLiteral("La valeur %1 est déjà %2.").arg(a.target, Quoted(a.after));
  return QStringLiteral("La valeur %1 passerait de %2 à %3.").arg(a.target, Quoted(a.before), Quoted(a.after));
}

QString ListLine(const WorkstationAction& a) {
  const QString company = QStringLiteral(" (société %1)").arg(a.company);
  if (a.kind == Kind::AddList)
    return kListPrefix + a.after + QStringLiteral("\" seraient ajoutés") + company + QLatin1Char('.');
  if (a.sameText) return kListPrefix + a.target + QStringLiteral("\" sont déjà à jour") + company + QLatin1Char('.');
  return kListPrefix + a.target + QStringLiteral("\" seraient mis à jour") + company + QLatin1Char('.');
}

QString ActionLine(const WorkstationAction& a) {
  switch (a.kind) {
    case Kind::ReplaceFile:
      return QStringLiteral("Le fichier %1 serait remplacé%2.").arg(a.target, Versions(a));
    case Kind::CopyFile:
      return QStringLiteral("Le fichier %1 serait remplacé par celui de la mise à jour.").arg(a.target);
    case Kind::CreateFile:
      return QStringLiteral("Le fichier %1 serait créé%2.").arg(a.target, Versions(a));
    case Kind::CreateFolder:
      return QStringLiteral("Le dossier %1 serait créé.").arg(a.target);
    case Kind::SetValue:
      return ValueLine(a);
    case Kind::AddList:
    case Kind::UpdateList:
      return ListLine(a);
    case Kind::UndoEarlierRun:
      return QStringLiteral(
                 "Une mise à jour précédente a été interrompue : ses %1 modification(s) seraient d'abord "
                 "défaites.")
          .arg(a.detail);
    case Kind::Question:
      return QStringLiteral("Question posée : %1 Réponse donnée : %2.")
          .arg(Quoted(QString(a.detail).replace(QStringLiteral("\r\n"), QStringLiteral(" "))), a.after);
    case Kind::KeepFile:
      return QStringLiteral("Le fichier %1 ne serait pas remplacé%2.").arg(a.target, Versions(a));
    case Kind::FileInUse:
      return QStringLiteral("Le fichier %1 ne peut pas être remplacé maintenant : %2").arg(a.target, a.detail);
    case Kind::Refused:
      return QStringLiteral("Le fichier %1 ne serait pas remplacé%2 : %3").arg(a.target, Versions(a), a.detail);
    case Kind::CompanyReached:
      return QStringLiteral("Connexion à la société %1 : possible.").arg(a.company);
    case Kind::CompanyUnreachable:
      return a.detail;
    case Kind::Failure:
      return a.detail;
  }
  return {};
}

}  // namespace

PlanVerdict VerdictOf(const RunUpdateOutcome& planned) {
  if (planned.failed || planned.result == urtKo) return PlanVerdict::WouldFail;
  return CountChanges(planned.actions) > 0 ? PlanVerdict::WouldChange : PlanVerdict::NoChange;
}

int CountChanges(const std::vector<WorkstationAction>& actions) {
  return int(std::count_if(actions.begin(), actions.end(), [](const WorkstationAction& a) { return a.changes(); }));
}

QString PlanTitleLine(const QString& title, const QDateTime& when) {
  return QStringLiteral("Simulation de la mise à jour : %1 ").arg(title) + QStringLiteral(" ") +
         when.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")) + QStringLiteral("\r\n");
}

QStringList PlanLines(const std::vector<WorkstationAction>& actions) {
  QStringList lines;
  for (const WorkstationAction& action : actions) lines << ActionLine(action);
  return lines;
}

QString PlanClosingLine(PlanVerdict verdict, int changes) {
  switch (verdict) {
    case PlanVerdict::NoChange:
      return QStringLiteral("La mise à jour ne modifierait rien sur ce poste.");
    case PlanVerdict::WouldChange:
      return QStringLiteral("La mise à jour ferait %1 modification(s) : rien n'a encore été modifié.").arg(changes);
    case PlanVerdict::WouldFail:
      return QStringLiteral("La mise à jour échouerait : rien n'a été modifié.");
  }
  return {};
}

}  // namespace kelvaro
