// The journal of a run's changes to the workstation: one small text file in
// the installation's program-data folder (in the Wine prefix over Linux),
// one line per record, each made durable before the change it describes.
//
//   KELVARO-JOURNAL 1
//   <crc> begin     <unix time>
//   <crc> folder    <Windows folder>  <its host path, links resolved>
//   <crc> replace   <Windows path>    <permissions to give back>
//   <crc> create    <Windows path>
//   <crc> mkdir     <Windows path>
//   <crc> value     <root> <key> <name> <existed> <type> <data>   (hex)
//   <crc> keep
//
// (fields separated by tabs; <crc> is the CRC-32 of the rest of the line.)
// A replaced file is kept beside itself as "<name>.kelvaro-kept", a second
// name of the same file. "keep" is the moment the changes stand: only the
// kept files are left to remove, then the journal.
//
// What this promises when things go wrong: a record that cannot be made
// durable is reported as failed, so the change it covers is not made; a
// journal that was cut, edited or damaged is read up to what can be
// trusted: a line whose CRC does not match, or a path outside the folders
// recorded before it (through "..", or a folder now reached through another
// link), is a record nothing is done for, and it is reported.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

#include "support/change_seam.h"

namespace kelvaro {

// The name a replaced file is kept under while the unit lasts.
QString KeptPathOf(const QString& path);

struct JournalRecord {
  enum Kind { Begin, Folder, Replace, Create, MakeFolder, Value, Keep, Damaged };
  Kind kind = Damaged;
  QString path;        // Folder, Replace, Create, MakeFolder
  std::string host;    // Folder: the folder's host path, links resolved
  uint32_t mode = 0;   // Replace
  int root = 0;        // Value
  QString key, name;   // Value
  bool existed = false;
  uint32_t type = 0;
  std::string data;
  QString problem;     // Damaged: what is wrong with the line, in French
  int line = 0;
};

// One line of the journal, its CRC in front, its end of line after.
std::string JournalLine(const JournalRecord& record);
// The host path of a Windows folder with every link resolved; empty when it
// cannot be told.
std::string ResolvedHostFolder(const QString& folder);

// The records of a journal's text, in order. Lines that cannot be trusted
// come as Damaged records, with the line's number and why; a last line cut
// before its end (the record being written when the run stopped) is left
// out: the change it would have covered was never started.
std::vector<JournalRecord> ReadJournal(const std::string& text);

// Appends record to the journal durably; false with the platform's last
// error when it could not be made durable.
bool AppendToJournal(const JournalRecord& record);

}  // namespace kelvaro
