// Text between the Windows side (UTF-16) and the host (UTF-8 bytes), and the
// name comparisons Windows makes: letter case ignored, '*' and '?' masks.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace platform::prefix {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string HostText(const String& text);
// UTF-8 to UTF-16; an invalid byte becomes U+FFFD.
String WindowsText(const std::string& bytes);

// Upper case of one whole name, code point by code point (accented
// capitals included), as the file system compares names.
String UpperCaseName(const String& text);
bool SameNameIgnoringCase(const String& a, const String& b);

// Windows mask matching ('*' any run, '?' one character), case ignored;
// "*.*" matches every name, with or without a dot.
bool MatchesMask(const String& name, const String& mask);

}  // namespace platform::prefix
