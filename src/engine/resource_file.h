// The carried files of the update: read by name from the executable's data
// resources (payload.h gives their format), into memory, into a stream, onto
// disk, or as the lines of a text file.
//
// A file that is not carried is never an error: the functions answer false,
// an empty string or 0 and the caller decides. A carried file that cannot be
// read raises kelvaro::Error naming it (damaged payload) or kelvaro::OsError
// (the module cannot be read).
//
// What this promises when things go wrong: outputs are changed only on
// success; ExtractResourceFile writes to a temporary file beside the target
// and renames it over the target once the whole payload has inflated and
// checked, so the target is the old file or the new one, never a torn mix,
// and a damaged payload leaves no new file behind.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include "platform/win_types.h"

namespace kelvaro {

// Memory form: true with the carried bytes (data->size() of them) and the
// stored last-write time; false, outputs untouched, when name is not carried.
bool ReadResourceFile(const QString& name, QByteArray* data, platform::FileTime* fileTime);

// Stream form: writes the carried bytes at the stream's current position,
// which ends after them (the caller rewinds before reading). False and the
// stream untouched when name is not carried; a failed write raises Error.
bool ReadResourceFile(const QString& name, QIODevice* stream);

// Writes the carried file to targetFileName (a Windows path), replacing it,
// and stamps it with the stored last-write time. Returns targetFileName, or
// an empty string, creating nothing, when name is not carried.
QString ExtractResourceFile(const QString& name, const QString& targetFileName);

// ExtractResourceFile to a host path, for tools that run outside any prefix;
// the same steps and guarantees.
QString ExtractResourceFileToHostPath(const QString& name, const QString& hostPath);

// False when fileName (a Windows path) is not an existing file. Otherwise sets
// its last-write time only and returns whether that worked; a read-only file,
// which cannot be opened for writing, raises OsError.
bool SetFileLastWriteTime(const QString& fileName, platform::FileTime fileTime);

// The lines of a carried text file, for TdmUpdateCommon::LoadResourceFileList.
// Always empties lines first; returns the number of lines, 0 when name is not
// carried.
int LoadResourceTextLines(const QString& name, QStringList* lines);

// The carried bytes of a rich-text file, for TdmUpdateCommon::
// LoadResourceFileToRich. Always empties rtf first; false when not carried.
bool ReadResourceRichText(const QString& name, QByteArray* rtf);

}  // namespace kelvaro
