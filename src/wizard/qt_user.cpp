#include "wizard/qt_user.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QThread>

#include "platform/files.h"
#include "support/text.h"
#include "wizard/message_box.h"

namespace kelvaro {
namespace {

// The host folder a dialog starts in for a Windows path; empty (the current
// folder) when no drive holds it.
QString NativeFolder(const QString& windowsPath) {
  if (windowsPath.isEmpty()) return QString();
  return QString::fromStdString(platform::ToNativePath(toW(windowsPath)));
}

QString WindowsPath(const QString& nativePath) {
  return toQ(platform::FromNativePath(nativePath.toStdString()));
}

// A filter in the Windows form "Text files|*.txt|All|*.*" becomes Qt's
// "Text files (*.txt);;All (*.*)"; a Qt filter passes unchanged.
QString QtFilter(const QString& filter) {
  if (!filter.contains(QLatin1Char('|'))) return filter;
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    filters << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
  }
  return filters.join(QStringLiteral(";;"));
}

}  // namespace

QtUser::QtUser() {
  // QCoreApplication::quit() reaches the application object as a Quit event;
  // Delay watches for it so a wait never holds up the end of the program.
  qApp->installEventFilter(this);
  connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { quitRequested_ = true; });
}

QtUser::~QtUser() {
  if (waitCursorSet_) QGuiApplication::restoreOverrideCursor();
}

bool QtUser::eventFilter(QObject* watched, QEvent* event) {
  if (watched == qApp && event->type() == QEvent::Quit) quitRequested_ = true;
  return false;
}

bool QtUser::ShowMessage(MessageKind kind, const QString& text, const QString& caption) {
  const MessageStyle& style = StyleOf(kind);
  if (style.beep) SoundBeep(*style.beep);
  const auto answer = ShowMessageDialog(text, style.dialog, style.yesNo, CaptionOf(kind, caption));
  return !style.yesNo || answer == QMessageBox::Yes;
}

void QtUser::Beep(BeepType type) { SoundBeep(type); }

void QtUser::SetWaitCursor(bool waiting) {
  if (waiting && !waitCursorSet_) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    waitCursorSet_ = true;
  } else if (!waiting && waitCursorSet_) {
    QGuiApplication::restoreOverrideCursor();
    waitCursorSet_ = false;
  }
}

void QtUser::Delay(int ms) {
  if (ms < 0) {
    QThread::msleep(static_cast<unsigned long>(-static_cast<long long>(ms)));
    return;
  }
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) {
    if (quitRequested_ || QCoreApplication::closingDown()) return;
    const int left = static_cast<int>(ms - timer.elapsed());
    QCoreApplication::processEvents(QEventLoop::AllEvents, std::max(left, 1));
    // processEvents returns at once when nothing is pending; sleep a little
    // instead of spinning the processor.
    if (timer.elapsed() < ms) QThread::msleep(std::min<qint64>(5, ms - timer.elapsed()));
  }
}

bool QtUser::BrowseForFolder(const QString& title, QString* folder) {
  QFileDialog dialog(nullptr, title, NativeFolder(*folder));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  // Qt's own dialog: it shows the chosen folder's path in its entry field.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  const QString chosen = WindowsPath(dialog.selectedFiles().first());
  if (chosen.isEmpty()) return false;  // a host folder no drive reaches
  *folder = chosen;
  return true;
}

bool QtUser::OpenFile(const QString& title, const QString& folder, const QString& filter,
                      QString* file) {
  QFileDialog dialog(nullptr, title, NativeFolder(folder), QtFilter(filter));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  const QString chosen = WindowsPath(dialog.selectedFiles().first());
  if (chosen.isEmpty()) return false;
  *file = chosen;
  return true;
}

QPrinter* QtUser::printer() {
  if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  return printer_.get();
}

bool QtUser::PrinterSetup() {
  QPrintDialog dialog(printer());
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace kelvaro
