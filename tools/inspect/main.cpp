// kelvaro-inspect: what the updater sees on this workstation, for support
// staff.
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <map>
#include <vector>

#include "command_registry.h"
#include "standard_options.h"
#include "support/console_user.h"
#include "support/user_seam.h"

namespace inspect {
namespace {

struct Entry {
  const char* usage;
  const char* summary;
  CommandFunction run;
  int order;
};

std::map<QString, Entry>& Commands() {
  static std::map<QString, Entry> commands;
  return commands;
}

std::vector<Entry>& OverviewSections() {
  static std::vector<Entry> sections;
  return sections;
}

std::vector<Entry> SortedOverviewSections() {
  auto sections = OverviewSections();
  std::stable_sort(sections.begin(), sections.end(), [](const Entry& a, const Entry& b) { return a.order < b.order; });
  return sections;
}

int RunOverview() {
  int code = 0;
  for (const auto& section : SortedOverviewSections()) code = std::max(code, section.run({}));
  return code;
}

// text cut into lines of at most 72 characters after indent spaces.
QString Wrapped(const QString& text, int indent) {
  QString result, line;
  for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    if (!line.isEmpty() && line.size() + 1 + word.size() > 72) {
      result += QString(indent, QLatin1Char(' ')) + line + QLatin1Char('\n');
      line.clear();
    }
    line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
  }
  return result + QString(indent, QLatin1Char(' ')) + line + QLatin1Char('\n');
}

QString HelpText() {
  QString help = QStringLiteral(
      "usage: kelvaro-inspect [COMMAND ARGUMENTS...]\n"
      "\n"
      "Shows what the updater sees on this workstation, in the Wine prefix named\n"
      "by WINEPREFIX (default ~/.wine). Paths and registry keys are written as on\n"
      "Windows. Nothing is changed, except by reg add.\n"
      "\n"
      "Without a command, the overview:\n");
  for (const auto& section : SortedOverviewSections())
    help += Wrapped(QStringLiteral("- ") + QString::fromUtf8(section.summary), 2);
  help += QStringLiteral("\nCommands:\n");
  for (const auto& [name, entry] : Commands()) {
    help += QStringLiteral("  ") + QString::fromUtf8(entry.usage) + QLatin1Char('\n');
    help += Wrapped(QString::fromUtf8(entry.summary), 6);
  }
  return help + QStringLiteral(
                    "  --help\n"
                    "      show this help and exit\n"
                    "  --version\n"
                    "      show the version and exit\n"
                    "\n"
                    "Exit codes:\n"
                    "  0  done\n"
                    "  1  what was asked for cannot be read or reached (the reason is on\n"
                    "     standard error)\n"
                    "  2  bad arguments\n");
}

int Usage() {
  Err(QStringLiteral("usage: kelvaro-inspect"));
  for (const auto& [name, entry] : Commands()) Err(QStringLiteral("       kelvaro-inspect ") + QString::fromUtf8(entry.usage));
  Err(QStringLiteral("(kelvaro-inspect --help tells more)"));
  return 2;
}

}  // namespace

InspectCommand::InspectCommand(const char* name, const char* usage, const char* summary, CommandFunction run,
                               int order) {
  if (name[0] == 0) OverviewSections().push_back({usage, summary, std::move(run), order});
  else Commands()[QString::fromUtf8(name)] = {usage, summary, std::move(run), order};
}

void Out(const QString& line) {
  const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void Err(const QString& line) {
  const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

}  // namespace inspect

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  // Message boxes of the layers below go to standard error; questions get No.
  kelvaro::ConsoleUser console(false);
  kelvaro::SetUser(&console);
  QStringList args = app.arguments().mid(1);
  if (const auto code = tools::AnswerStandardOption(args, QStringLiteral("kelvaro-inspect"), inspect::HelpText()))
    return *code;
  if (args.isEmpty()) return inspect::RunOverview();
  const auto found = inspect::Commands().find(args.first().toLower());
  if (found == inspect::Commands().end()) return inspect::Usage();
  return found->second.run(args.mid(1));
}
