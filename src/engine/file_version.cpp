#include "engine/file_version.h"

#include <utility>

#include "engine/hex.h"
#include "engine/version_block.h"
#include "platform/files.h"
#include "platform/module_resources.h"
#include "support/text.h"

namespace kelvaro {
namespace {

// VerLanguageNameW's buffer holds 80 characters.
constexpr int kLanguageNameLength = 80;

QString StringValue(const std::optional<VersionBlock>& block, const QString& key, const QString& name) {
  if (!block || key.isEmpty()) return QString();
  return block->string(QStringLiteral("\\StringFileInfo\\") + key + QLatin1Char('\\') + name).value_or(QString());
}

}  // namespace

void ReadFileVersionInfo(const QString& FileName, FileVersionInfo& Info) {
  const QString path = FileName.isEmpty() ? toQ(platform::GetModuleFileName()) : FileName;
  const std::optional<VersionBlock> block = VersionBlock::Read(path);
  const QString key = block ? block->translationKey() : QString();

  Info.LangId = key.left(4);
  Info.CharSet = key.mid(4, 4);
  Info.LangName = toQ(platform::VerLanguageName(uint32_t(HexToInt(Info.LangId)))).left(kLanguageNameLength);

  const std::pair<QString*, const char*> strings[] = {
      {&Info.CompanyName, "CompanyName"},         {&Info.FileDescription, "FileDescription"},
      {&Info.FileVersion, "FileVersion"},         {&Info.InternalName, "InternalName"},
      {&Info.LegalCopyRight, "LegalCopyRight"},   {&Info.LegalTradeMark, "LegalTradeMark"},
      {&Info.OriginalFileName, "OriginalFileName"}, {&Info.ProductName, "ProductName"},
      {&Info.ProductVersion, "ProductVersion"},   {&Info.Comments, "Comments"},
  };
  for (const auto& [field, name] : strings) *field = StringValue(block, key, QLatin1String(name));
}

QString GetFileVersionString(const QString& FileName) {
  const QString unknown = QStringLiteral("?");
  const std::optional<VersionBlock> block = VersionBlock::Read(FileName);
  if (!block) return unknown;
  const QString key = block->translationKey();
  if (key.isEmpty()) return unknown;
  return block->string(QStringLiteral("\\StringFileInfo\\") + key + QStringLiteral("\\FileVersion")).value_or(unknown);
}

}  // namespace kelvaro
