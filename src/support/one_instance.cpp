#include "support/one_instance.h"

#include <QCoreApplication>
#include <algorithm>
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
  // Windows or host path: the name follows the last separator of either.
  const qsizetype slash = std::max(executablePath.lastIndexOf(QLatin1Char('/')), executablePath.lastIndexOf(QLatin1Char('\\')));
  QString name = executablePath.mid(slash + 1);
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
