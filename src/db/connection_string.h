// Connection strings in the Firebird convention: a local path, or a server,
// a colon and the path on that server. Pure string functions.
#pragma once

#include <QString>
#include <cstdint>

namespace kelvaro::db {

enum TConnectionType : uint8_t {
  ibctUnknown = 0,  // a bare alias or a relative file name
  ibctLocal = 1,    // C:\Data\base.fdb
  ibctTCPIP = 2,    // srv:C:\Data\base.fdb (and the empty string)
  ibctNetBEUI = 3,  // \\srv\C:\Data\base.fdb
  ibctUNIX = 4,     // srv:/data/base.fdb
  ibctNetWare = 5,  // srv@path
};

// Never fails.
TConnectionType ConnectionTypeOf(const QString& text);

// Splits a local, TCP/IP or NetBEUI string; raises kelvaro::Error
// "error 0203130939" for the other kinds. Paths are cut at 255 characters.
void SplitConnectionString(const QString& text, QString* server, QString* path);

// The database name handed to the client library. A database on this machine
// named by a drive path (no server, "127.0.0.1:" or "localhost:", with or
// without a "/port") reaches the real file in the prefix: the drive path is
// translated to its host path, with the links of the prefix resolved so the
// server process (another user) can open it too. Every other string is passed
// unchanged, in the 8-bit encoding the client expects.
QByteArray ClientDatabaseName(const QString& connectionString);

}  // namespace kelvaro::db
