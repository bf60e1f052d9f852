// The options every tool of the project answers alike: --help (or -h) prints
// the tool's help on standard output, --version its name and the project's
// version; both end the program with exit code 0. Only the first argument is
// looked at, so a later word that happens to read "--help" (a registry value,
// a file name) stays an ordinary argument.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tools {

// The exit code when args asked for help or the version (after printing it);
// nothing otherwise.
std::optional<int> AnswerStandardOption(const QStringList& args, const QString& toolName, const QString& help);

}  // namespace tools
