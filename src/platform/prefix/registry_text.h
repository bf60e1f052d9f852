// Wine's registry text format, one line element at a time: the escaped
// strings of key and value names, the value data forms ("text", str(N):,
// dword:, hex:, hex(N):) and the timestamp lines, read and written exactly as
// Wine's server reads and writes them.
//
// On bad input the readers return false with a French reason and never read
// past the end of the text; nothing here allocates when only checking.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace platform::prefix::regtext {

// A cursor over the file's bytes. `line` counts the line `p` is on, from 1,
// so continued hex data reports the line the fault is on.
struct Cursor {
  const char* p;
  const char* end;
  uint32_t line;
};

// Reads an escaped string up to the unescaped `terminator` and steps past it.
// `out` may be null to check only. Bytes above 127 are read as UTF-8 (a byte
// that is not valid UTF-8 stands for the character of the same number, as
// Latin-1). A string never crosses the end of its line.
bool ReadEscaped(Cursor* c, char terminator, String* out, std::string* reason);

// Reads the data of a value after its '=' through the end of its last line
// (hex data continues on the next line after a trailing backslash) and steps
// to the start of the following line.
bool ReadValueData(Cursor* c, uint32_t* type, std::string* data, std::string* reason);

// Appends text escaped as Wine writes it: \\ and the quote, C escapes and
// octal for control characters, \x + hex for everything above 127 (4 digits
// when a hex digit follows). A final NUL is left out.
void AppendEscaped(std::u16string_view text, char quote, std::string* out);

// One value line (or several for long hex data) in Wine's form, with "\n".
void AppendValue(std::u16string_view name, uint32_t type, std::string_view data, std::string* out);

// "[path] <unix seconds>\n#time=<FILETIME hex>\n" for a key changed at `now`.
void AppendKeyHeader(std::u16string_view path, FileTime now, std::string* out);

}  // namespace platform::prefix::regtext
