// kelvaro-inspect: what the updater sees on this workstation, for support
// staff.
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <map>
#include <vector>

#include "command_registry.h"
#include "support/console_user.h"
#include "support/user_seam.h"

namespace inspect {
namespace {

struct Entry {
  const char* usage;
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

int RunOverview() {
  auto sections = OverviewSections();
  std::stable_sort(sections.begin(), sections.end(), [](const Entry& a, const Entry& b) { return a.order < b.order; });
  int code = 0;
  for (const auto& section : sections) code = std::max(code, section.run({}));
  return code;
}

int Usage() {
  Err(QStringLiteral("usage: kelvaro-inspect"));
  for (const auto& [name, entry] : Commands()) Err(QStringLiteral("       kelvaro-inspect ") + QString::fromUtf8(entry.usage));
  return 2;
}

}  // namespace

InspectCommand::InspectCommand(const char* name, const char* usage, CommandFunction run, int order) {
  if (name[0] == 0) OverviewSections().push_back({usage, std::move(run), order});
  else Commands()[QString::fromUtf8(name)] = {usage, std::move(run), order};
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
  if (args.isEmpty()) return inspect::RunOverview();
  const auto found = inspect::Commands().find(args.first().toLower());
  if (found == inspect::Commands().end()) return inspect::Usage();
  return found->second.run(args.mid(1));
}
