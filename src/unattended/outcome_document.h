// The outcome of an unattended run as one JSON document, for the tools that
// roll an update out to many workstations and gather the results:
//
//   { "update": "/srv/MajTorvida", "outcome": "warning", "exitCode": 3,
//     "report": ["Mise à jour : ...", ...],
//     "messages": [{"kind": "error", "text": "..."}],
//     "companies": [{"company": "Alpha", "added": ["adresses"],
//                    "updated": [], "failures": []}],
//     "workstation": {"undone": false, "notRestored": [],
//                     "earlierRunUndone": false} }
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
};

QJsonDocument OutcomeDocument(const RunRecord& record);

// False with the reason in error when the file cannot be written.
bool WriteOutcomeDocument(const QString& path, const RunRecord& record, QString* error);

}  // namespace unattended
