// libFuzzer target of the print-list definition reader: the input is the
// bytes of a carried .lst file, split into lines and read for its header
// exactly as the installation does. What must hold for any bytes:
// - the lines hold every byte before the first NUL except the line ends,
//   one line per line end plus a last one without;
// - the stored form of the lines (joined with CR LF, in the ANSI code page)
//   reads back to the same lines;
// - the titles and the tag are at most 255 characters, without a comment and
//   without surrounding blanks or control characters.
// A broken promise aborts with what differs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "printlists/list_definition.h"
#include "support/text.h"

namespace {

[[noreturn]] void Broken(const char* what, const QString& detail = {}) {
  std::fprintf(stderr, "list_definition_fuzz: %s\n%s\n", what, detail.toUtf8().constData());
  std::abort();
}

// Lines and characters the bytes before the first NUL must give, counted
// on the bytes themselves (one character per byte in the ANSI code page).
void ExpectedShape(const uint8_t* data, size_t size, qsizetype* lines, qsizetype* characters) {
  const void* nul = std::memchr(data, 0, size);
  if (nul) size = static_cast<size_t>(static_cast<const uint8_t*>(nul) - data);
  *lines = 0;
  *characters = 0;
  bool open = false;  // a line has begun and not ended
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\r' || data[i] == '\n') {
      ++*lines;
      open = false;
      if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') ++i;
    } else {
      ++*characters;
      open = true;
    }
  }
  if (open) ++*lines;
}

void CheckHeaderValue(const char* what, const QString& value) {
  if (value.size() > 255) Broken(what, QStringLiteral("longer than 255 characters"));
  if (value.contains(QStringLiteral("/*"))) Broken(what, value);
  if (!value.isEmpty() && (value.front().unicode() <= 32 || value.back().unicode() <= 32)) Broken(what, value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const QStringList lines = kelvaro::DefinitionLines(bytes);

  qsizetype expectedLines = 0, expectedCharacters = 0;
  ExpectedShape(data, size, &expectedLines, &expectedCharacters);
  if (lines.size() != expectedLines) Broken("wrong number of lines", QString::number(lines.size()));
  qsizetype characters = 0;
  for (const QString& line : lines) {
    if (line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n')) || line.contains(QChar(0)))
      Broken("a line holds a line end or a NUL", line);
    characters += line.size();
  }
  if (characters != expectedCharacters) Broken("characters lost or added", QString::number(characters));

  // As the list is stored: each line followed by CR LF.
  QString text;
  for (const QString& line : lines) text += line + QStringLiteral("\r\n");
  const std::string stored = kelvaro::toWindows1252(text);
  const QStringList again = kelvaro::DefinitionLines(QByteArray(stored.data(), qsizetype(stored.size())));
  if (again != lines) Broken("the stored text reads back differently", again.join(QLatin1Char('|')));

  const kelvaro::ListHeader header = kelvaro::ReadListHeader(lines, QStringLiteral("liste"));
  CheckHeaderValue("tag", header.compat);
  CheckHeaderValue("French title", header.fTitle);
  CheckHeaderValue("Italian title", header.iTitle);
  CheckHeaderValue("German title", header.dTitle);
  return 0;
}
