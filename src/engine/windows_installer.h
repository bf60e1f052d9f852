// The installer toolkit: the temporary folder of the user and the version
// comparison that decides whether a carried file replaces an installed one.
//
// What this promises when things go wrong: nothing here writes. GetTempPath
// raises OsError when the system cannot tell the temporary folder;
// CompareFileVersion raises "File not found : <name>" when the carried file is
// missing and otherwise never raises: versions it cannot read fall back to
// the files' dates, and dates it cannot read to "newer" (1).
#pragma once

#include <QString>
#include <cstdint>

namespace kelvaro {

class TWindowsInstaller {
 public:
  // The update engine passes an empty tools path; none of the members below
  // reads it.
  explicit TWindowsInstaller(const QString& SourceToolsPath);
  ~TWindowsInstaller();
  TWindowsInstaller(const TWindowsInstaller&) = delete;
  TWindowsInstaller& operator=(const TWindowsInstaller&) = delete;

  const QString& ToolsPath() const { return FToolsPath; }

  // The current user's temporary folder, always with a trailing backslash;
  // the one given to UseTempPath instead, once given.
  QString GetTempPath() const;
  // Makes folder (a Windows path) the temporary folder: a dry run keeps the
  // carried files it compares out of the user's.
  void UseTempPath(const QString& folder) { FTempPath = folder; }

  // The file version v1.v2.v3.v4 of FileName's fixed file info: true and the
  // four parts, or false leaving them untouched when there is none.
  bool GetFileVersion(const QString& FileName, uint16_t& v1, uint16_t& v2, uint16_t& v3, uint16_t& v4) const;

  // Compares the installed CurrentFile with the carried NewFile: 1 when
  // NewFile is newer (or CurrentFile does not exist, or nothing can be
  // compared), 0 when they are the same, -1 when CurrentFile is newer. Versions
  // decide when both files have one, dates otherwise.
  int CompareFileVersion(const QString& CurrentFile, const QString& NewFile) const;

 private:
  QString FToolsPath;
  QString FTempPath;
};

}  // namespace kelvaro
