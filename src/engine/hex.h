// Hexadecimal text to a number, as the version code reads language and code
// page identifiers.
#pragma once

#include <QString>

namespace kelvaro {

// Case-insensitive hexadecimal Text to its value. Spaces are skipped. Empty
// text, text longer than 8 characters, or any character that is neither a
// hexadecimal digit nor a space gives 0 (not the value read so far). Eight
// digits fill all 32 bits: "FFFFFFFF" gives -1.
int HexToInt(const QString& Text);

}  // namespace kelvaro
