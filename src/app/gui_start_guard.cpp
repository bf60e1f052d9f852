#include "gui_start_guard.h"

#include <QStringList>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

#include "wizard_arguments.h"

namespace app {
namespace {

QString g_programName;
QStringList g_held;
QtMessageHandler g_previous = nullptr;

void WriteLine(const QString& line) {
  const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
  std::fflush(stderr);
}

void HoldOrEnd(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg) {
    WriteLine(NoDisplayMessage(g_programName));
    std::_Exit(kExitNoDisplay);  // nothing to save: no window, no change yet
  }
  g_held << qFormatLogMessage(type, context, message);
}

}  // namespace

GuiStartGuard::GuiStartGuard(const QString& programName) {
  g_programName = programName;
  g_previous = qInstallMessageHandler(HoldOrEnd);
}

GuiStartGuard::~GuiStartGuard() {
  qInstallMessageHandler(g_previous);
  for (const QString& line : g_held) WriteLine(line);
  g_held.clear();
}

}  // namespace app
