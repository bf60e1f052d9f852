#include "unattended/unattended_console.h"

#include <QCoreApplication>
#include <cstdio>

namespace unattended {
namespace {

// Long company names are cut so that the line never wraps on a terminal of
// 80 columns: a wrapped line could not be rewritten in place.
constexpr qsizetype kStatusWidth = 79;

void WriteErr(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
  std::fflush(stderr);
}

}  // namespace

UnattendedConsole::UnattendedConsole(bool answer, bool statusLine, bool reportOnOutput)
    : ConsoleUser(answer), statusLine_(statusLine), reportOnOutput_(reportOnOutput) {}

UnattendedConsole::~UnattendedConsole() { ClearStatus(); }

bool UnattendedConsole::ShowMessage(kelvaro::MessageKind kind, const QString& text, const QString& caption) {
  // Kept as standard error shows it: the caption first, line feeds for the
  // Windows line breaks.
  const QString heading = caption.isEmpty() ? QString() : caption + QStringLiteral(": ");
  messages_.push_back({QString::fromLatin1(kelvaro::StyleOf(kind).name),
                       heading + QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))});
  const QString status = status_;
  ClearStatus();
  const bool answer = ConsoleUser::ShowMessage(kind, text, caption);
  writeStatus(status);
  return answer;
}

void UnattendedConsole::AppendLine(const QString& line, int fontSize, const QString& fontName) {
  // The lines standard output shows: CR LF inside an entry breaks it.
  QString text = line;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  reportLines_ += text.split(QLatin1Char('\n'));
  if (!reportOnOutput_) return;
  const QString status = status_;
  ClearStatus();
  ConsoleUser::AppendLine(line, fontSize, fontName);
  writeStatus(status);
}

void UnattendedConsole::ShowRunnerError(const QString& text) {
  messages_.push_back({QStringLiteral("error"), text});
  ClearStatus();
  WriteErr(QCoreApplication::applicationName() + QStringLiteral(": ") + text + QLatin1Char('\n'));
}

void UnattendedConsole::ShowCompany(int number, int count, const QString& company) {
  const QString text = QStringLiteral("Société %1/%2 : %3").arg(number).arg(count).arg(company);
  ClearStatus();
  writeStatus(text.left(kStatusWidth));
}

void UnattendedConsole::ClearStatus() {
  if (status_.isEmpty()) return;
  // Spaces over the old text, then back to the start of the line: plain
  // characters every terminal and console understands.
  WriteErr(QLatin1Char('\r') + QString(status_.size(), QLatin1Char(' ')) + QLatin1Char('\r'));
  status_.clear();
}

void UnattendedConsole::writeStatus(const QString& text) {
  if (!statusLine_ || text.isEmpty()) return;
  WriteErr(text);
  status_ = text;
}

}  // namespace unattended
