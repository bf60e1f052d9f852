#include "engine/workstation_actions.h"

#include "engine/windows_installer.h"
#include "platform/registry.h"
#include "support/system_errors.h"
#include "support/text.h"

namespace kelvaro {
namespace {

platform::RegistryRoot RootOf(int root) {
  return root == 1 ? platform::RegistryRoot::LocalMachine : platform::RegistryRoot::CurrentUser;
}

}  // namespace

QString FileVersionText(const QString& file) {
  static const TWindowsInstaller installer{QString()};
  uint16_t v[4] = {0, 0, 0, 0};
  if (file.isEmpty() || !installer.GetFileVersion(file, v[0], v[1], v[2], v[3])) return {};
  return QStringLiteral("%1.%2.%3.%4").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]);
}

WorkstationAction FileWriteAction(const QString& target, const QString& source, bool exists, const QString& installed) {
  using Kind = WorkstationAction::Kind;
  WorkstationAction action;
  action.target = target;
  action.after = FileVersionText(source);
  if (!exists) {
    action.kind = Kind::CreateFile;
    return action;
  }
  action.before = FileVersionText(installed);
  action.kind = !action.before.isEmpty() && !action.after.isEmpty() ? Kind::ReplaceFile : Kind::CopyFile;
  return action;
}

WorkstationAction FolderAction(const QString& folder) {
  WorkstationAction action;
  action.kind = WorkstationAction::Kind::CreateFolder;
  action.target = folder;
  return action;
}

QString RegistryValuePath(int root, const QString& key, const QString& name) {
  return (root == 1 ? QStringLiteral("HKEY_LOCAL_MACHINE\\") : QStringLiteral("HKEY_CURRENT_USER\\")) + key +
         QLatin1Char('\\') + name;
}

std::optional<QString> RegistryValueText(int root, const QString& key, const QString& name) {
  platform::RegistryKey opened;
  platform::RegistryValue value;
  if (platform::RegOpenKey(RootOf(root), toW(key), platform::kKeyRead, &opened) != platform::kErrorSuccess ||
      platform::RegQueryValue(opened, toW(name), &value) != platform::kErrorSuccess) {
    return std::nullopt;
  }
  if (value.type == platform::kRegDword) return QString::number(platform::RegistryDataDword(value.data));
  return toQ(platform::RegistryDataString(value.data));
}

WorkstationAction ValueAction(int root, const QString& key, const QString& name, const std::optional<QString>& old,
                              const QString& data) {
  WorkstationAction action;
  action.kind = WorkstationAction::Kind::SetValue;
  action.target = RegistryValuePath(root, key, name);
  // A value that is not set is a null text, apart from an empty one.
  action.before = old ? (old->isNull() ? QStringLiteral("") : *old) : QString();
  action.after = data.isNull() ? QStringLiteral("") : data;
  return action;
}

WorkstationAction InUseAction(const QString& target, uint32_t error) {
  WorkstationAction action;
  action.kind = WorkstationAction::Kind::FileInUse;
  action.target = target;
  action.detail = SystemErrorText(error).simplified();
  return action;
}

WorkstationAction FailureAction(const QString& target, const QString& text) {
  WorkstationAction action;
  action.kind = WorkstationAction::Kind::Failure;
  action.target = target;
  action.detail = text;
  return action;
}

WorkstationAction ListAction(const QString& company, const QString& key, const PrintListStore& store) {
  WorkstationAction action;
  action.kind = store.added ? WorkstationAction::Kind::AddList : WorkstationAction::Kind::UpdateList;
  action.company = company;
  action.target = key;
  action.after = store.title;
  action.sameText = !store.added && store.sameText;
  return action;
}

}  // namespace kelvaro
