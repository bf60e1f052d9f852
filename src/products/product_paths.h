// Where the products of the family are installed: the program path each
// product registers for the current user, the common root folder derived
// from it, the drives to search, and the two path helpers used everywhere in
// the engine.
//
// What this promises when things go wrong: a missing registration, key or
// folder is an empty string, never an error. A registry value of a type that
// is neither a string nor a 32-bit integer raises the registry layer's
// "Type de données incorrect" error; nothing here writes anything but the one
// value SetProductProgramPath is asked to write.
#pragma once

#include <QString>
#include <QStringList>

namespace kelvaro {

// Empty stays empty; otherwise Path with a trailing backslash.
QString AppendBackslashIfNotEmpty(const QString& Path);

// Path cut after its last backslash that is not its final character; the
// first three characters when there is none (C:\A\B and C:\A\B\ give C:\A\,
// C:\A and C:\ give C:\).
QString ExtractParentFolder(const QString& Path);

// Everything up to and including the last backslash or drive colon.
QString ExtractFilePath(const QString& FileName);
// What follows the last backslash or drive colon.
QString ExtractFileName(const QString& FileName);

// The registered program path of a product: its folder with a trailing
// backslash, or (KeepFileName) the value as registered. Empty when nothing is
// registered. Rows 12 and 13 answer the common root's "Common\Programs\".
QString GetProductProgramPath(const QString& ProductName, bool KeepFileName);

// Registers a product's program path; true when the value was written.
bool SetProductProgramPath(const QString& ProductName, const QString& Path);
// Where SetProductProgramPath writes, as a report names it
// ("HKEY_CURRENT_USER\SOFTWARE\KELVARO S.A.\Torvida\Program\Filename");
// empty for a product that registers nothing.
QString ProductProgramPathEntry(const QString& ProductName);

// The common root folder with a trailing backslash, derived from the first
// registered product; empty when none is registered. A registered folder that
// no longer exists is returned unchanged.
QString GetProductsRootFolder();

// Letters of the logical drives, upper case, in the platform's order.
QString GetDriveLetterList();

// The folder-browse dialog, through the user seam: Folder is the initial
// selection and receives the choice; false when the user cancels. Flags and
// Root are accepted for the callers' sake; the dialog always returns file
// system folders.
bool BrowseForFolder(const QString& Title, QString& Folder, int Flags = 0, const QString& Root = QString());

// Whether a Windows path names an existing folder (a trailing backslash is
// allowed) or file.
bool DirectoryExists(const QString& Path);
bool FileExists(const QString& Path);

}  // namespace kelvaro
