// The update executable's command line. Without arguments it is the wizard,
// as it always was. Asked to run unattended it runs the update it carries
// exactly as kelvaro-update-batch runs it, in either habit:
//   --unattended [--answer yes|no] [--json FILE] [--dry-run]
//   /SILENT [/ANSWER=YES|NO] [/JSON=FILE] [/DRYRUN]   (the slash forms in any letter case)
// A dry run is always unattended: --dry-run (or /DRYRUN) alone is enough.
// --help and /? print the usage. Anything else is refused with the usage
// before a window is made or anything is changed.
#pragma once

#include <QString>
#include <QStringList>

namespace app {

// The update executable's own exit codes, besides those of the unattended
// run (unattended/unattended_run.h).
constexpr int kExitNoDisplay = 69;  // the wizard's window cannot be shown here

enum class Mode { Wizard, Unattended, Help, Refused };

struct WizardCommand {
  Mode mode = Mode::Wizard;
  bool answer = false;  // unattended: the answer to every question
  QString json;         // unattended: where to write the JSON document, or empty
  bool dryRun = false;  // unattended: plan the update and change nothing
  QString error;        // refused: why
};

// args: the words after the program name.
WizardCommand ParseWizardArguments(const QStringList& args);

// The usage in French: the forms, what each option does, the exit codes.
QString WizardUsage(const QString& programName);

// The one line printed where no display can be opened.
QString NoDisplayMessage(const QString& programName);

}  // namespace app
