// The steps every product routine is built from: carried files extracted to
// temporary files, companions copied, the missing program pointed at, the
// version gate, the file-in-use test, and the failure line of the report.
//
// What this promises when things go wrong: a required carried file that the
// update does not carry raises "Cannot find " + its name before anything is
// copied; a copy that fails raises the report's copy error (source, target
// and system text); the checks show their message and answer false, so the
// routine stops before touching the installed program.
#pragma once

#include <QString>

#include "engine/update_common.h"

namespace kelvaro {

// The carried file Name written to a fresh temporary file: its path, or
// empty when the update does not carry it.
QString ExtractCarried(TdmUpdateCommon& engine, const QString& Name);
// Same, raising "Cannot find " + Name when it is not carried.
QString ExtractRequired(TdmUpdateCommon& engine, const QString& Name);

// Copies the carried file Name to Folder + Name when it is carried.
void CopyOptional(TdmUpdateCommon& engine, const QString& Name, const QString& Folder);
// Same, only when Folder + Name is already installed.
void CopyOptionalIfInstalled(TdmUpdateCommon& engine, const QString& Name, const QString& Folder);
// Copies it, raising "Cannot find " + Name when it is not carried.
void CopyRequired(TdmUpdateCommon& engine, const QString& Name, const QString& Folder);

// The report entry of a routine that failed while working on Name.
QString FailureText(const QString& Name, const QString& Message);
void ReportFailure(TdmUpdateCommon& engine, const QString& Name, const QString& Message);

// Registers Path as the product's program. A registration that fails is
// never silent: one report line names the registry entry and the reason,
// and the answer is urtWarning (the files are in place, but the product may
// not find its new program); urtOk otherwise.
TUpdateResultType RegisterProgramPath(TdmUpdateCommon& engine, const QString& Product, const QString& Path);
// The worse of two outcomes of one routine: failed, then declined, then
// done with warnings, then done.
TUpdateResultType WorseOutcome(TUpdateResultType a, TUpdateResultType b);

// The user is told that Expected is missing and may point at the program;
// true when Installed then names an existing file.
bool AskForMissingProgram(const QString& Expected, QString& Installed);

// False, after telling the user and the report, when the updater runs from a
// hard disk and would move an installed major version Major to a later one.
// Raises "<path>\r\nVersion du fichier inconnue ou incompatible." when either
// file has no version.
bool PassesVersionGate(TdmUpdateCommon& engine, const QString& Carried, const QString& Installed, int Major);

// The installed major version; raises as above when the file has none.
int InstalledMajorVersion(TdmUpdateCommon& engine, const QString& FileName);

// False, after a message naming the file and the system's reason, when
// FileName is in use or cannot be written.
bool FileIsFree(const QString& FileName);

}  // namespace kelvaro
