// libFuzzer target of the company file: after its first byte, the input is
// the whole of "multiste.txt". Its lines are decoded in memory as the update
// decodes the file. When the first byte is below 16 the bytes are also
// written as the file of a temporary prefix, read through the company list
// and given one more company as the dialog's "add" does; only then, because
// each write of a file looks through every process for one that holds it,
// which costs a thousand reads. What must hold for any bytes:
// - reading gives lines without line ends; a file without a byte-order mark
//   gives one character per byte that is not a line end;
// - adding a company rewrites the file so that it reads back as every
//   non-blank company it had, in order and unchanged, plus the new one; a
//   company already listed leaves the list as it was: no company is lost or
//   altered by the file's encoding.
// A broken promise aborts with both lists.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fixtures/temp_prefix.h"
#include "printlists/company_list.h"
#include "support/errors.h"
#include "support/text.h"

namespace {

using kelvaro::TFMultiSte;

const QString kPath = QStringLiteral("C:\\kelvaro\\multiste.txt");
const QString kNewCompany = QStringLiteral("Société Fuzz");

[[noreturn]] void Broken(const char* what, const QStringList& expected, const QStringList& got) {
  std::fprintf(stderr, "company_list_fuzz: %s\nexpected: %s\ngot:      %s\n", what,
               expected.join(QStringLiteral(" | ")).toUtf8().toHex(' ').constData(),
               got.join(QStringLiteral(" | ")).toUtf8().toHex(' ').constData());
  std::abort();
}

fixtures::TempPrefix& Prefix() {
  static fixtures::TempPrefix prefix;
  return prefix;
}

bool HasByteOrderMark(const std::string& bytes) {
  return bytes.rfind("\xEF\xBB\xBF", 0) == 0 || bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0;
}

// One character per byte that is not a line end, counted on the bytes.
qsizetype AnsiCharacters(const std::string& bytes) {
  qsizetype n = 0;
  for (char c : bytes) n += c != '\r' && c != '\n';
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool add = data[0] < 16;
  const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const QStringList lines = kelvaro::DecodeTextLines(QByteArray(bytes.data(), qsizetype(bytes.size())));
  qsizetype characters = 0;
  for (const QString& line : lines) {
    if (line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n'))) Broken("a line holds a line end", {}, lines);
    characters += line.size();
  }
  if (!HasByteOrderMark(bytes) && characters != AnsiCharacters(bytes)) Broken("characters lost or added", {}, lines);
  if (!add) return 0;

  Prefix().writeFile(kPath.toStdString(), bytes);
  const QStringList read = TFMultiSte::ReadCompanies(kPath);
  if (read != lines) Broken("the file reads differently from its bytes", lines, read);

  // A company already listed leaves the file as it is; otherwise blank lines
  // go and the new company comes last.
  QStringList expected;
  for (const QString& line : lines)
    if (!line.trimmed().isEmpty()) expected << line;
  if (expected.contains(kNewCompany, Qt::CaseInsensitive)) {
    expected = lines;
  } else {
    expected << kNewCompany;
    // The reader takes a mark right after the file's own as a second copy
    // of it, as files written by some tools have: a first company that
    // begins with U+FEFF, once the blank lines before it are gone, loses it.
    if (expected.front().startsWith(QChar(0xFEFF))) expected.front().remove(0, 1);
  }
  TFMultiSte form;
  form.AddSociete(kNewCompany);
  const QStringList after = TFMultiSte::ReadCompanies(kPath);
  if (after != expected) Broken("adding a company changed the others", expected, after);
  return 0;
}
