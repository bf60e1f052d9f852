// The outcome of an unattended run as one JSON document, for the tools that
// roll an update out to many workstations and gather the results:
//
//   { "update": "/srv/MajTorvida", "outcome": "warning", "exitCode": 3,
//     "report": ["Mise à jour : ...", ...],
//     "messages": [{"kind": "error", "text": "..."}],
//     "companies": [{"company": "Alpha", "added": ["adresses"],
//                    "updated": [], "failures": []}],
//     "workstation": {"undone": false, "notRestored": [],
//                     "earlierRunUndone": false},
//     "actions": [{"action": "replace", "target": "C:\\...\\WKTorvida2.dll",
//                  "before": "1.2.3.9", "after": "2.0.0.0", "change": true},
//                 {"action": "add-list", "company": "Alpha",
//                  "target": "adresses", "after": "Liste des adresses",
//                  "change": true}, ...],
//     "dryRun": false }
//
// "actions" lists, in order, what the run did, or what a dry run
// (outcome "no-change", "would-change" or "would-fail", and
// "plannedOutcome": the outcome the run would have) would do: "replace",
// "copy", "create", "create-folder", "set-value" (before null: not set),
// "add-list", "update-list" ("sameText": the stored text is the carried
// one, no change), "undo-earlier-run", and what is no change: "question"
// (detail: the question; after: the answer), "keep", "in-use", "refused",
// "company-reached", "company-unreachable", "failure" (detail: why).
//
// "undone" is true when a failed run put every file and registry value it
// had changed back; "notRestored" lists what it (or the undoing of an
// interrupted earlier run) could not put back, "<what> : <why>" each.
//
// The file is written whole or not at all (a temporary file renamed over
// it), so a reader never sees half a document, even when the disk is full.
#pragma once

#include <QJsonDocument>
#include <QString>
#include <QStringList>
#include <vector>

#include "unattended/unattended_console.h"
#include "engine/update_common.h"
#include "support/change_seam.h"

namespace unattended {

struct RunRecord {
  QString update;  // the update executable as given
  int exitCode = 0;
  QStringList reportLines;
  std::vector<ShownMessage> messages;
  std::vector<kelvaro::CompanyListsOutcome> companies;
  bool undone = false;
  QStringList notRestored;
  bool earlierRunUndone = false;
  // What the run did, or the dry run would do.
  std::vector<kelvaro::WorkstationAction> actions;
  bool dryRun = false;
  int plannedExitCode = 0;  // dry run: the code the run would end with
};

QJsonDocument OutcomeDocument(const RunRecord& record);

// False with the reason in error when the file cannot be written.
bool WriteOutcomeDocument(const QString& path, const RunRecord& record, QString* error);

}  // namespace unattended
