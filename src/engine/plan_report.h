// A dry run's plan in words: the lines it prints, in French and in the
// report's style, one for each action of the plan (change_seam.h), and the
// closing line that tells what the run would come to.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

#include "engine/update_run.h"

namespace kelvaro {

// What a planned run would come to.
enum class PlanVerdict {
  NoChange,     // nothing would change (nothing to do, a question answered no)
  WouldChange,  // the workstation or a company's lists would change
  WouldFail,    // the run would fail
};

PlanVerdict VerdictOf(const RunUpdateOutcome& planned);

// How many of the actions change something.
int CountChanges(const std::vector<WorkstationAction>& actions);

// "Simulation de la mise à jour : <title>  dd.mm.yyyy hh:nn:ss".
QString PlanTitleLine(const QString& title, const QDateTime& when);

// One line (CR LF inside for a long one) for each action.
QStringList PlanLines(const std::vector<WorkstationAction>& actions);

QString PlanClosingLine(PlanVerdict verdict, int changes);

}  // namespace kelvaro
