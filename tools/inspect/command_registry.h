// The commands of kelvaro-inspect. Each command lives in a file of its own
// and registers itself with a static InspectCommand, so adding a command
// touches no other file.
#pragma once

#include <QStringList>
#include <functional>

namespace inspect {

// args: the words after the command name. Returns the exit code.
using CommandFunction = std::function<int(const QStringList& args)>;

struct InspectCommand {
  // name empty: the command run without arguments (the workstation
  // overview); several files may add sections to it, run in order of order.
  // summary: what the command (or section) shows, for --help.
  InspectCommand(const char* name, const char* usage, const char* summary, CommandFunction run, int order = 0);
};

// Text output in UTF-8 with LF line ends.
void Out(const QString& line);
void Err(const QString& line);

}  // namespace inspect
