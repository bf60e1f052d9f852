#include "engine/windows_installer.h"

#include <optional>

#include "engine/version_block.h"
#include "platform/files.h"
#include "support/errors.h"
#include "support/text.h"

namespace kelvaro {
namespace {

// A drive root ("C:\") keeps its backslash; any other name loses one.
QString WithoutTrailingBackslash(const QString& name) {
  const bool driveRoot = name.size() == 3 && name.at(1) == QLatin1Char(':');
  if (name.endsWith(QLatin1Char('\\')) && !driveRoot) return name.left(name.size() - 1);
  return name;
}

// An existing file, not a folder. On Linux there are no critical-error
// dialogs to suppress; the Windows file services answer an unreachable drive
// with "no attributes" the same way.
bool FileExists(const QString& name) {
  const uint32_t attributes = platform::GetFileAttributes(toW(WithoutTrailingBackslash(name)));
  return attributes != platform::kInvalidFileAttributes && !(attributes & platform::kAttributeDirectory);
}

std::optional<FixedFileVersion> ReadFixedVersion(const QString& FileName) {
  const std::optional<VersionBlock> block = VersionBlock::Read(FileName);
  if (!block) return std::nullopt;
  return block->fixedFileVersion();
}

// 1 when current is smaller, -1 when larger, 0 when equal: version words and
// file times alike, compared as unsigned numbers of their own width.
template <typename Number>
int CompareWords(Number current, Number candidate) {
  if (current < candidate) return 1;
  if (current > candidate) return -1;
  return 0;
}

std::optional<platform::FileTime> LastWriteTime(const QString& FileName) {
  if (!FileExists(FileName)) return std::nullopt;
  platform::FileTime time = 0;
  if (!platform::GetFileLastWriteTime(toW(FileName), &time)) return std::nullopt;
  return time;
}

}  // namespace

TWindowsInstaller::TWindowsInstaller(const QString& SourceToolsPath) : FToolsPath(SourceToolsPath) {}

TWindowsInstaller::~TWindowsInstaller() = default;

QString TWindowsInstaller::GetTempPath() const {
  const QString path = FTempPath.isEmpty() ? toQ(platform::GetTempPath()) : FTempPath;
  if (path.isEmpty()) throw OsError(platform::GetLastError());
  return path.endsWith(QLatin1Char('\\')) ? path : path + QLatin1Char('\\');
}

bool TWindowsInstaller::GetFileVersion(const QString& FileName, uint16_t& v1, uint16_t& v2, uint16_t& v3,
                                       uint16_t& v4) const {
  const std::optional<FixedFileVersion> version = ReadFixedVersion(FileName);
  if (!version) return false;
  v1 = uint16_t(version->fileVersionMS >> 16);
  v2 = uint16_t(version->fileVersionMS & 0xFFFF);
  v3 = uint16_t(version->fileVersionLS >> 16);
  v4 = uint16_t(version->fileVersionLS & 0xFFFF);
  return true;
}

int TWindowsInstaller::CompareFileVersion(const QString& CurrentFile, const QString& NewFile) const {
  if (!FileExists(NewFile)) throw Error(QStringLiteral("File not found : ") + NewFile);
  if (!FileExists(CurrentFile)) return 1;

  const std::optional<FixedFileVersion> current = ReadFixedVersion(CurrentFile);
  const std::optional<FixedFileVersion> candidate = ReadFixedVersion(NewFile);
  if (current && candidate) {
    if (const int byMs = CompareWords(current->fileVersionMS, candidate->fileVersionMS)) return byMs;
    return CompareWords(current->fileVersionLS, candidate->fileVersionLS);
  }

  // Both times are shifted by the same local-time bias, so comparing them in
  // UTC orders them exactly as in local time.
  const std::optional<platform::FileTime> currentTime = LastWriteTime(CurrentFile);
  const std::optional<platform::FileTime> candidateTime = LastWriteTime(NewFile);
  if (currentTime && candidateTime) return CompareWords(*currentTime, *candidateTime);
  return 1;
}

}  // namespace kelvaro
