// libFuzzer target of the connection-string functions. The first input byte
// says how the rest is read: even as UTF-8, odd as raw UTF-16 units (so lone
// surrogates and NULs occur too). What must hold for any string:
// - classification never fails, and splitting fails exactly for the kinds it
//   does not split, with the one documented error;
// - a split string's parts give the string back: the server, its separator
//   and the path (the path cut at 255 characters);
// - the client's name of a string that is not a drive path of this machine
//   is the string itself.
// A broken promise aborts with the string.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "db/connection_string.h"
#include "support/errors.h"

namespace {

using namespace kelvaro::db;

[[noreturn]] void Broken(const char* what, const QString& text) {
  std::fprintf(stderr, "connection_string_fuzz: %s\n%s\n", what, text.toUtf8().toHex(' ').constData());
  std::abort();
}

QString Decode(const uint8_t* data, size_t size) {
  if (size == 0) return {};
  if ((data[0] & 1) == 0) return QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
  QString text;
  for (size_t i = 1; i + 1 < size; i += 2) text.append(QChar(char16_t(data[i] | data[i + 1] << 8)));
  return text;
}

void CheckSplit(const QString& text, TConnectionType type) {
  const bool splits = type == ibctLocal || type == ibctTCPIP || type == ibctNetBEUI;
  QString server = QStringLiteral("?"), path = QStringLiteral("?");
  try {
    SplitConnectionString(text, &server, &path);
  } catch (const kelvaro::Error& error) {
    if (splits) Broken("a splittable string was refused", text);
    if (error.message() != QStringLiteral("error 0203130939")) Broken("refused with another message", text);
    return;
  }
  if (!splits) Broken("a string of another kind was split", text);
  // The text the parts stand for and the parts joined again. NetBEUI
  // strings lose their first two characters, whatever they are, and stand
  // for at most 255 characters after them.
  QString whole = text, joined;
  switch (type) {
    case ibctLocal:
      if (!server.isEmpty()) Broken("a local string got a server", text);
      joined = path;
      break;
    case ibctTCPIP:
      if (path.size() > 255) Broken("a path longer than 255 characters", text);
      joined = text.isEmpty() ? server + path : server + QLatin1Char(':') + path;
      if (path.size() == 255) whole = text.left(joined.size());
      break;
    default:
      if (!server.startsWith(QStringLiteral("\\\\"))) Broken("a NetBEUI server without its backslashes", text);
      whole = text.mid(2, 255);
      joined = server.mid(2) + (whole.contains(QLatin1Char('\\')) ? QStringLiteral("\\") : QString()) + path;
      break;
  }
  if (joined != whole) Broken("the parts do not give the string back", text);
}

bool MayNameALocalDrivePath(const QString& text) {
  // Any string with ":\" may be a drive path of this machine, which the
  // client gets translated; everything else must pass unchanged.
  return text.contains(QStringLiteral(":\\"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString text = Decode(data, size);
  const TConnectionType type = ConnectionTypeOf(text);
  if (type > ibctNetWare) Broken("an unknown kind", text);
  CheckSplit(text, type);
  if (!MayNameALocalDrivePath(text)) {
    if (ClientDatabaseName(text) != text.toLocal8Bit()) Broken("the client's name differs from the string", text);
  } else {
    ClientDatabaseName(text);
  }
  return 0;
}
