// kelvaro-inspect version FILE: the version resource of FILE (a Windows path)
// as the updater reads it: the thirteen fields, then the fixed file version.
#include "command_registry.h"
#include "engine/file_version.h"
#include "engine/windows_installer.h"

namespace inspect {
namespace {

int ShowVersion(const QStringList& args) {
  if (args.size() != 1) {
    Err(QStringLiteral("usage: kelvaro-inspect version FILE"));
    return 2;
  }
  kelvaro::FileVersionInfo info;
  kelvaro::ReadFileVersionInfo(args.first(), info);
  const std::pair<const char*, const QString&> fields[] = {
      {"LangId", info.LangId},
      {"LangName", info.LangName},
      {"CharSet", info.CharSet},
      {"CompanyName", info.CompanyName},
      {"FileDescription", info.FileDescription},
      {"FileVersion", info.FileVersion},
      {"InternalName", info.InternalName},
      {"LegalCopyRight", info.LegalCopyRight},
      {"LegalTradeMark", info.LegalTradeMark},
      {"OriginalFileName", info.OriginalFileName},
      {"ProductName", info.ProductName},
      {"ProductVersion", info.ProductVersion},
      {"Comments", info.Comments},
  };
  for (const auto& [name, value] : fields) Out(QString::fromLatin1(name) + QStringLiteral(": ") + value);

  uint16_t v1 = 0, v2 = 0, v3 = 0, v4 = 0;
  if (kelvaro::TWindowsInstaller(QString()).GetFileVersion(args.first(), v1, v2, v3, v4)) {
    Out(QStringLiteral("Fixed: %1.%2.%3.%4")
            .arg(QString::number(v1), QString::number(v2), QString::number(v3), QString::number(v4)));
  } else {
    Out(QStringLiteral("Fixed: none"));
  }
  return 0;
}

const InspectCommand kVersion("version", "version FILE", "the version block of a file, field by field",
                              ShowVersion);

}  // namespace
}  // namespace inspect
