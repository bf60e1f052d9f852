// <windows.h> and friends, without the A/W macros whose names the platform
// interface uses for its own functions (CopyFile, DeleteFile, ...). Every
// Win32 source includes this instead of <windows.h> and calls the W functions
// by their full names.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <winver.h>

#undef CopyFile
#undef DeleteFile
#undef GetFileAttributes
#undef SetFileAttributes
#undef GetLogicalDriveStrings
#undef GetDriveType
#undef GetWindowsDirectory
#undef GetTempPath
#undef GetModuleFileName
#undef RemoveDirectory
#undef GetComputerName
#undef GetUserName
#undef GetFileVersionInfoSize
#undef GetFileVersionInfo
#undef VerQueryValue
#undef VerLanguageName
#undef RegOpenKey
#undef RegCreateKey
#undef RegQueryValue
#undef RegSetValue
#undef RegDeleteValue
#undef RegEnumKey
#undef RegDeleteKey
#undef FindResource
