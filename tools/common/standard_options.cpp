#include "standard_options.h"

#include <cstdio>

namespace tools {
namespace {

void PrintOut(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

}  // namespace

std::optional<int> AnswerStandardOption(const QStringList& args, const QString& toolName, const QString& help) {
  if (args.isEmpty()) return std::nullopt;
  const QString& first = args.first();
  if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
    PrintOut(help);
    return 0;
  }
  if (first == QLatin1String("--version")) {
    PrintOut(toolName + QLatin1Char(' ') + QStringLiteral(KELVARO_PROGRAM_VERSION) + QLatin1Char('\n'));
    return 0;
  }
  return std::nullopt;
}

}  // namespace tools
