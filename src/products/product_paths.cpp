#include "products/product_paths.h"

#include "platform/files.h"
#include "platform/registry.h"
#include "products/product_table.h"
#include "support/registry_access.h"
#include "support/text.h"
#include "support/user_seam.h"
#include "support/change_seam.h"

namespace kelvaro {
namespace {

const QString kMakerKey = QStringLiteral("SOFTWARE\\KELVARO S.A.\\");
constexpr int64_t kKeyRead = platform::kKeyRead;

// A registered text: a missing key or value reads as the integer 0 and gives
// an empty text, never "0"; another number gives its decimal form.
QString ReadRegisteredText(const QString& key, const QString& name) {
  const RegistryData data = ReadRegistryValue(kHkeyCurrentUser, key, name, kKeyRead, QString(), false);
  if (data.isInteger && data.integer == 0) return {};
  return data.toString();
}

// Folders are tested without their trailing backslash, except a drive root.
QString WithoutTrailingBackslash(const QString& path) {
  if (path.endsWith(QLatin1Char('\\')) && !(path.size() == 3 && path[1] == QLatin1Char(':'))) {
    return path.left(path.size() - 1);
  }
  return path;
}

int LastSeparator(const QString& path) {
  for (int i = int(path.size()) - 1; i >= 0; --i) {
    if (path[i] == QLatin1Char('\\') || path[i] == QLatin1Char(':')) return i;
  }
  return -1;
}

}  // namespace

QString AppendBackslashIfNotEmpty(const QString& Path) {
  if (Path.isEmpty() || Path.endsWith(QLatin1Char('\\'))) return Path;
  return Path + QLatin1Char('\\');
}

QString ExtractParentFolder(const QString& Path) {
  // The last backslash that is not the final character.
  for (int i = int(Path.size()) - 2; i >= 0; --i) {
    if (Path[i] == QLatin1Char('\\')) return Path.left(i + 1);
  }
  return Path.left(3);
}

QString ExtractFilePath(const QString& FileName) { return FileName.left(LastSeparator(FileName) + 1); }

QString ExtractFileName(const QString& FileName) { return FileName.mid(LastSeparator(FileName) + 1); }

QString GetProductProgramPath(const QString& ProductName, bool KeepFileName) {
  const TAppNameType type = ProductFromName(ProductName);
  QString value;
  switch (type) {
    case antUnknown:
    case antPDFDLL:
    case antBrevani:
    case antBureaulin:
      return {};
    case antCommon:
    case antImagora: {
      const QString root = GetProductsRootFolder();
      if (root.isEmpty()) return {};
      return root + QStringLiteral("Common\\Programs\\");
    }
    case antPastrel:
      value = ReadRegisteredText(kMakerKey + ProductName, QStringLiteral("BaseFolder"));
      break;
    default:
      value = ReadRegisteredText(kMakerKey + ProductName + QStringLiteral("\\Program"), QStringLiteral("Filename"));
      break;
  }
  return KeepFileName ? value : ExtractFilePath(value);
}

namespace {

// The key and value a product's program path is registered in; false for a
// product that registers nothing.
bool ProgramPathValue(const QString& ProductName, QString* key, QString* name) {
  switch (ProductFromName(ProductName)) {
    case antUnknown:
    case antPDFDLL:
    case antBrevani:
    case antCommon:
    case antBureaulin:
      return false;
    case antPastrel:
      *key = kMakerKey + ProductName;
      *name = QStringLiteral("BaseFolder");
      return true;
    default:
      *key = kMakerKey + ProductName + QStringLiteral("\\Program");
      *name = QStringLiteral("Filename");
      return true;
  }
}

}  // namespace

bool SetProductProgramPath(const QString& ProductName, const QString& Path) {
  QString key, name;
  if (!ProgramPathValue(ProductName, &key, &name)) return false;
  return Changes().SetRegistryValue(kHkeyCurrentUser, key, name, Path, [&] {
    return WriteRegistryValue(kHkeyCurrentUser, key, name, Path, RegistryKind::String, true);
  });
}

QString ProductProgramPathEntry(const QString& ProductName) {
  QString key, name;
  if (!ProgramPathValue(ProductName, &key, &name)) return {};
  return QStringLiteral("HKEY_CURRENT_USER\\") + key + QLatin1Char('\\') + name;
}

QString GetProductsRootFolder() {
  // The products most often installed come first.
  static const TAppNameType kOrder[] = {antWKS, antWKR, antNimbaro, antTorvida, antQRV, antFerrolune};
  QString folder;
  for (TAppNameType type : kOrder) {
    folder = GetProductProgramPath(ProductName(type), false);
    if (!folder.isEmpty()) break;
  }
  if (folder.isEmpty()) return {};
  if (!DirectoryExists(folder)) return folder;
  return ExtractParentFolder(ExtractParentFolder(folder));
}

QString GetDriveLetterList() {
  QString letters;
  for (const platform::String& root : platform::GetLogicalDriveStrings()) {
    for (QChar c : toQ(root).toUpper()) {
      if (c >= QLatin1Char('A') && c <= QLatin1Char('Z') && letters.size() < 26) letters += c;
    }
  }
  return letters;
}

bool BrowseForFolder(const QString& Title, QString& Folder, int, const QString&) {
  QString chosen = Folder;
  if (!User().BrowseForFolder(Title, &chosen)) return false;
  Folder = chosen;
  return true;
}

bool DirectoryExists(const QString& Path) {
  if (Path.isEmpty()) return false;
  return platform::DirectoryExists(toW(WithoutTrailingBackslash(Path)));
}

bool FileExists(const QString& Path) { return !Path.isEmpty() && platform::FileExists(toW(Path)); }

}  // namespace kelvaro
