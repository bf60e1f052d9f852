// The language and the standard strings of a file's version resource.
//
// What this promises when things go wrong: nothing here raises or writes. A
// missing file, a file without version resource or a damaged one gives empty
// fields (GetFileVersionString: "?"); every call reads the file again.
#pragma once

#include <QString>

namespace kelvaro {

// The first translation of a version resource and its ten standard strings,
// in this order. A missing value is the empty string.
struct FileVersionInfo {
  QString LangId;    // 4 upper-case hexadecimal digits ("040C")
  QString LangName;  // the system's name of that language (at most 80 characters)
  QString CharSet;   // code page, 4 upper-case hexadecimal digits ("04E4")
  QString CompanyName;
  QString FileDescription;
  QString FileVersion;
  QString InternalName;
  QString LegalCopyRight;
  QString LegalTradeMark;
  QString OriginalFileName;
  QString ProductName;
  QString ProductVersion;
  QString Comments;
};

// Fills Info from the version resource of FileName (the running program's
// own file when FileName is empty). Without a version resource every field
// is empty but LangName, which names language 0.
void ReadFileVersionInfo(const QString& FileName, FileVersionInfo& Info);

// The "FileVersion" string of FileName's first translation; "?" when the file
// cannot be found, has no version resource, no translation table or no such
// string. A bare name ("gds32.dll") is looked for where the system loads a
// library of that name from.
QString GetFileVersionString(const QString& FileName);

}  // namespace kelvaro
