// Conversions between the platform's std::u16string and the Windows API's
// wchar_t strings (both UTF-16 on Windows).
#pragma once

#include "platform/win32/windows_api.h"

#include <string>

#include "platform/win_types.h"

namespace platform::win32 {

inline std::wstring W(const String& s) { return std::wstring(s.begin(), s.end()); }
inline String U(const wchar_t* s) { return String(s, s + wcslen(s)); }
inline String U(const std::wstring& s) { return String(s.begin(), s.end()); }

inline FileTime FromFiletime(const FILETIME& t) {
  return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}
inline FILETIME ToFiletime(FileTime t) {
  FILETIME f;
  f.dwLowDateTime = DWORD(t & 0xFFFFFFFF);
  f.dwHighDateTime = DWORD(t >> 32);
  return f;
}

// Folder part of a path, with its trailing backslash ("C:\a\" of "C:\a\b").
inline String FolderOf(const String& path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == String::npos ? String() : path.substr(0, slash + 1);
}

}  // namespace platform::win32
