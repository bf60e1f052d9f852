#include "engine/workstation_plan.h"

#include "engine/file_in_use.h"
#include "platform/files.h"
#include "products/product_paths.h"
#include "support/text.h"

namespace kelvaro {
namespace {

QString FolderKey(const QString& folder) {
  QString key = folder.toUpper();
  if (!key.endsWith(QLatin1Char('\\'))) key += QLatin1Char('\\');
  return key;
}

}  // namespace

bool WorkstationPlan::FolderExists(const QString& folder) const {
  if (platform::DirectoryExists(toW(folder))) return true;
  // A planned folder brings every missing parent with it.
  const QString key = FolderKey(folder);
  for (const QString& planned : folders_) {
    if (planned.startsWith(key)) return true;
  }
  return false;
}

bool WorkstationPlan::WriteFile(const QString& target, const QString& source, const std::function<bool()>&) {
  const auto earlier = written_.find(target.toUpper());
  const bool planned = earlier != written_.end();
  if (!FolderExists(ExtractFilePath(target))) {
    platform::SetLastError(platform::kErrorPathNotFound);
    return false;
  }
  const bool exists = planned || platform::FileExists(toW(target));
  // The run's copy refuses a file another program holds open; the routine
  // then stops, and so does its plan.
  if (exists && !planned) {
    if (const int code = FileInUseError(target); code == int(platform::kErrorSharingViolation)) {
      actions_.Add(InUseAction(target, uint32_t(code)));
      platform::SetLastError(uint32_t(code));
      return false;
    }
  }
  actions_.Add(FileWriteAction(target, source, exists, planned ? earlier->second : target));
  written_[target.toUpper()] = source;
  return true;
}

bool WorkstationPlan::CreateFolder(const QString& folder) {
  if (FolderExists(folder)) return true;
  actions_.Add(FolderAction(folder));
  folders_.append(FolderKey(folder));
  return true;
}

bool WorkstationPlan::SetRegistryValue(int root, const QString& key, const QString& name, const QString& data,
                                       const std::function<bool()>&) {
  const QString id = RegistryValuePath(root, key, name).toUpper();
  const auto earlier = values_.find(id);
  const std::optional<QString> old = earlier != values_.end() ? earlier->second : RegistryValueText(root, key, name);
  actions_.Add(ValueAction(root, key, name, old, data));
  values_[id] = data;
  return true;
}

PrintListStore WorkstationPlan::StorePrintList(const QString& company, const QString& key,
                                               const std::function<PrintListStore()>& inspect,
                                               const std::function<PrintListStore()>&) {
  const PrintListStore would = inspect();
  actions_.Add(ListAction(company, key, would));
  return would;
}

}  // namespace kelvaro
