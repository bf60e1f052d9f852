#include "support/console_user.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace kelvaro {
namespace {

void Write(FILE* stream, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
  std::fflush(stream);
}

// Windows line breaks inside messages become plain line feeds on a console.
QString ConsoleText(QString text) { return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }

}  // namespace

bool ConsoleUser::ShowMessage(MessageKind kind, const QString& text, const QString& caption) {
  const MessageStyle& style = StyleOf(kind);
  const QString heading = caption.isEmpty() ? QString() : caption + QStringLiteral(": ");
  Write(stderr, QString::fromLatin1(style.name) + QStringLiteral(": ") + heading + ConsoleText(text) + QLatin1Char('\n'));
  return style.yesNo ? answer_ : true;
}

void ConsoleUser::Delay(int ms) {
  // Nothing to repaint on a console; short pauses are skipped altogether so
  // unattended runs are not slowed by the report's repaint pauses.
  if (ms > 100 || ms < -100) std::this_thread::sleep_for(std::chrono::milliseconds(ms < 0 ? -ms : ms));
}

void ConsoleUser::ShowWaitNotice(const QString& text) { Write(stderr, ConsoleText(text) + QLatin1Char('\n')); }

void ConsoleUser::AppendLine(const QString& line, int, const QString&) {
  // One console line per report line: a report entry ending in CR LF leaves
  // the empty line the report shows after it.
  QString text = line;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  Write(stdout, text + QLatin1Char('\n'));
}

}  // namespace kelvaro
