#include "support/registry_access.h"

#include "platform/registry.h"
#include "support/errors.h"
#include "support/system_errors.h"
#include "support/text.h"
#include "support/user_seam.h"

namespace kelvaro {
namespace {

platform::RegistryRoot RootOf(int root) {
  return root == kHkeyLocalMachine ? platform::RegistryRoot::LocalMachine : platform::RegistryRoot::CurrentUser;
}

uint32_t OpenKey(int root, const QString& key, uint32_t access, bool create, platform::RegistryKey* out) {
  return create ? platform::RegCreateKey(RootOf(root), toW(key), access, out)
                : platform::RegOpenKey(RootOf(root), toW(key), access, out);
}

// Reads a value as text the way the registry class of the products does: a
// string type gives its text, a DWORD its decimal form; any other type is an
// error naming the value.
QString ReadAsString(const platform::RegistryValue& value, const QString& name) {
  switch (value.type) {
    case platform::kRegSz:
    case platform::kRegExpandSz:
      return toQ(platform::RegistryDataString(value.data));
    case platform::kRegDword:
      return QString::number(int32_t(platform::RegistryDataDword(value.data)));
    default:
      throw Error(QStringLiteral("Type de données incorrect pour '%1'").arg(name));
  }
}

bool IsWineRefusal() { return !platform::RegistryRefusalReason().empty(); }

// A value the system would not set; a running Wine that could not take it
// is named instead, since the user can do something about that.
QString SetFailureMessage(const QString& name) {
  if (IsWineRefusal()) return toQ(platform::RegistryRefusalReason());
  return QStringLiteral("Echec à la définition des données pour '%1'").arg(name);
}

QString& LastFailure() {
  static QString failure;
  return failure;
}

// Remembers the outcome of a write; true when it went through.
bool Note(uint32_t status) {
  if (status == platform::kErrorSuccess) {
    LastFailure().clear();
    return true;
  }
  const QString refusal = toQ(platform::RegistryRefusalReason());
  LastFailure() = !refusal.isEmpty() ? refusal : SystemErrorText(status).trimmed();
  return false;
}

}  // namespace

QString LastRegistryWriteFailure() { return LastFailure(); }

void ShowRegistryWaits() {
  platform::SetRegistryWaitObserver([](bool waiting) {
    if (!waiting) {
      EndWaitCursor();
      return;
    }
    BeginWaitCursor();
    User().ShowWaitNotice(
        QStringLiteral("Wine est en cours d'exécution dans ce préfixe : attente de son arrêt avant d'écrire dans le "
                       "registre…"));
  });
}

RegistryData ReadRegistryValue(int root, const QString& key, const QString& name, int64_t access,
                               const QString& defaultValue, bool createKey) {
  RegistryData result;
  const uint32_t mask = access == kRegistryFullAccess ? platform::kKeyAllAccess : uint32_t(access);
  platform::RegistryKey handle;
  platform::RegistryValue value;
  if (OpenKey(root, key, mask, createKey, &handle) == platform::kErrorSuccess &&
      platform::RegQueryValue(handle, toW(name), &value) == platform::kErrorSuccess) {
    if (value.type == platform::kRegDword) {
      result.integer = int32_t(platform::RegistryDataDword(value.data));
    } else {
      result.isInteger = false;
      result.text = ReadAsString(value, name);
    }
    return result;
  }
  if (!defaultValue.isEmpty()) {
    result.isInteger = false;
    result.text = defaultValue;
  }
  return result;
}

bool WriteRegistryValue(int root, const QString& key, const QString& name, const QString& value,
                        RegistryKind kind, bool createKey) {
  if (key.isEmpty()) return false;
  platform::RegistryKey handle;
  if (!Note(OpenKey(root, key, platform::kKeyAllAccess, createKey, &handle))) return false;
  uint32_t status;
  if (kind == RegistryKind::Integer) {
    bool ok = false;
    int32_t number = value.trimmed().toInt(&ok);
    if (!ok) number = 0;
    status = platform::RegSetValue(handle, toW(name), platform::kRegDword, platform::RegistryDwordData(uint32_t(number)));
  } else {
    status = platform::RegSetValue(handle, toW(name), platform::kRegSz, platform::RegistryStringData(toW(value)));
  }
  if (!Note(status)) throw Error(SetFailureMessage(name));
  return true;
}

QString ReadRegistryString(int root, const QString& key, const QString& name) {
  platform::RegistryKey handle;
  const uint32_t status = OpenKey(root, key, platform::kKeyRead, false, &handle);
  if (status == platform::kErrorFileNotFound || status == platform::kErrorPathNotFound) return {};
  if (status != platform::kErrorSuccess) {
    throw Error(QStringLiteral("Lecture d'une valeur de registre impossible : \r\nVeuillez contrôler vos droits d'accès."));
  }
  platform::RegistryValue value;
  if (platform::RegQueryValue(handle, toW(name), &value) != platform::kErrorSuccess) return {};
  return ReadAsString(value, name);
}

void WriteRegistryString(int root, const QString& key, const QString& name, const QString& value) {
  platform::RegistryKey handle;
  if (!Note(OpenKey(root, key, platform::kKeyAllAccess, true, &handle))) {
    throw Error(IsWineRefusal() ? LastFailure()
                                : QStringLiteral("Écriture d'une valeur de registre impossible : \r\nVeuillez "
                                                 "contrôler vos droits d'accès."));
  }
  if (!Note(platform::RegSetValue(handle, toW(name), platform::kRegSz, platform::RegistryStringData(toW(value))))) {
    throw Error(SetFailureMessage(name));
  }
}

}  // namespace kelvaro
