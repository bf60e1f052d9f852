#include "wizard/one_instance.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <memory>

#include "platform/system.h"
#include "support/text.h"

namespace kelvaro {
namespace {

// Held until the process ends; the system releases it then, so a crashed
// copy never blocks the next one.
std::unique_ptr<platform::InstanceLock> InstanceSemaphore;

}  // namespace

QString ApplicationTitle(const QString& executablePath) {
  QString name = QFileInfo(executablePath).fileName();
  const qsizetype dot = name.indexOf(QLatin1Char('.'));
  if (dot >= 0) name.truncate(dot);
  if (name.size() <= 1) return name;
  return name.left(1) + name.mid(1).toLower();
}

bool AlreadyRunning() {
  const QString title = ApplicationTitle(QCoreApplication::applicationFilePath());
  InstanceSemaphore = platform::CreateInstanceLock(toW(title));
  return InstanceSemaphore && InstanceSemaphore->alreadyExists();
}

}  // namespace kelvaro
