#include "engine/change_journal.h"

#include <zlib.h>

#include <QByteArray>
#include <filesystem>
#include <string_view>

#include "platform/files.h"
#include "products/product_paths.h"
#include "support/text.h"

namespace kelvaro {
namespace {

const std::string kHeader = "KELVARO-JOURNAL 1\n";
const QString kKeptSuffix = QStringLiteral(".kelvaro-kept");

const char* KindName(JournalRecord::Kind kind) {
  switch (kind) {
    case JournalRecord::Begin: return "begin";
    case JournalRecord::Folder: return "folder";
    case JournalRecord::Replace: return "replace";
    case JournalRecord::Create: return "create";
    case JournalRecord::MakeFolder: return "mkdir";
    case JournalRecord::Value: return "value";
    case JournalRecord::Keep: return "keep";
    case JournalRecord::Damaged: break;
  }
  return "";
}

std::string Hex(const std::string& bytes) { return QByteArray::fromStdString(bytes).toHex().toStdString(); }

bool FromHex(const std::string& hex, std::string* bytes) {
  if (hex.size() % 2 != 0 || hex.find_first_not_of("0123456789abcdef") != std::string::npos) return false;
  *bytes = QByteArray::fromHex(QByteArray::fromStdString(hex)).toStdString();
  return true;
}

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }
QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

uint32_t Crc(std::string_view text) {
  return uint32_t(crc32(0L, reinterpret_cast<const Bytef*>(text.data()), uInt(text.size())));
}

std::vector<std::string> Fields(std::string_view text) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = text.find('\t', start);
    fields.emplace_back(text.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

// A Windows path that names something below a drive without climbing: no
// "." or ".." component, no forward slash, nothing a tab or line end could
// hide.
bool PlainPath(const QString& path) {
  if (path.size() < 3 || path[1] != QLatin1Char(':') || path[2] != QLatin1Char('\\')) return false;
  if (path.contains(QLatin1Char('/')) || path.contains(QLatin1Char('\t')) || path.contains(QLatin1Char('\n')))
    return false;
  for (const QString& part : path.mid(3).split(QLatin1Char('\\'))) {
    if (part == QStringLiteral(".") || part == QStringLiteral("..")) return false;
  }
  return true;
}

JournalRecord DamagedLine(int line, const QString& problem) {
  JournalRecord record;
  record.kind = JournalRecord::Damaged;
  record.line = line;
  record.problem = problem;
  return record;
}

// The record of one line whose CRC matched; Damaged when its fields do not
// make one.
JournalRecord ParseFields(const std::vector<std::string>& f, int line) {
  JournalRecord r;
  r.line = line;
  const std::string& kind = f[0];
  const QString unreadable = QStringLiteral("ligne %1 du journal illisible").arg(line);
  auto count = [&](size_t n) { return f.size() == n; };
  if (kind == "begin" && count(2)) {
    r.kind = JournalRecord::Begin;
  } else if (kind == "folder" && count(3)) {
    r.kind = JournalRecord::Folder;
    r.path = FromUtf8(f[1]);
    r.host = f[2];
  } else if (kind == "replace" && count(3)) {
    r.kind = JournalRecord::Replace;
    r.path = FromUtf8(f[1]);
    bool ok = false;
    r.mode = QString::fromStdString(f[2]).toUInt(&ok);
    if (!ok) return DamagedLine(line, unreadable);
  } else if ((kind == "create" || kind == "mkdir") && count(2)) {
    r.kind = kind == "create" ? JournalRecord::Create : JournalRecord::MakeFolder;
    r.path = FromUtf8(f[1]);
  } else if (kind == "value" && count(7)) {
    r.kind = JournalRecord::Value;
    std::string key, name;
    bool rootOk = false, typeOk = false;
    r.root = QString::fromStdString(f[1]).toInt(&rootOk);
    r.existed = f[4] == "1";
    r.type = QString::fromStdString(f[5]).toUInt(&typeOk);
    if (!rootOk || (r.root != 0 && r.root != 1) || !typeOk || !FromHex(f[2], &key) || !FromHex(f[3], &name) ||
        !FromHex(f[6], &r.data)) {
      return DamagedLine(line, unreadable);
    }
    r.key = FromUtf8(key);
    r.name = FromUtf8(name);
  } else if (kind == "keep" && count(1)) {
    r.kind = JournalRecord::Keep;
  } else {
    return DamagedLine(line, unreadable);
  }
  return r;
}

}  // namespace

QString KeptPathOf(const QString& path) { return path + kKeptSuffix; }

std::string ResolvedHostFolder(const QString& folder) {
  std::error_code error;
  const std::filesystem::path resolved =
      std::filesystem::canonical(platform::ToNativePath(toW(folder)), error);
  return error ? std::string() : resolved.string();
}

std::string JournalLine(const JournalRecord& r) {
  std::string text = KindName(r.kind);
  switch (r.kind) {
    case JournalRecord::Begin: text += "\t" + std::to_string(time(nullptr)); break;
    case JournalRecord::Folder: text += "\t" + Utf8(r.path) + "\t" + r.host; break;
    case JournalRecord::Replace: text += "\t" + Utf8(r.path) + "\t" + std::to_string(r.mode); break;
    case JournalRecord::Create:
    case JournalRecord::MakeFolder: text += "\t" + Utf8(r.path); break;
    case JournalRecord::Value:
      text += "\t" + std::to_string(r.root) + "\t" + Hex(Utf8(r.key)) + "\t" + Hex(Utf8(r.name)) + "\t" +
              (r.existed ? "1" : "0") + "\t" + std::to_string(r.type) + "\t" + Hex(r.data);
      break;
    case JournalRecord::Keep:
    case JournalRecord::Damaged: break;
  }
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x\t", Crc(text));
  return crc + text + "\n";
}

std::vector<JournalRecord> ReadJournal(const std::string& text) {
  std::vector<JournalRecord> records;
  if (text.rfind(kHeader, 0) != 0) {
    records.push_back(DamagedLine(1, QStringLiteral("en-tête du journal absent")));
    return records;
  }
  QStringList folders;  // recorded so far, in upper case
  int line = 1;
  for (size_t at = kHeader.size(); at < text.size();) {
    ++line;
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) break;  // cut while being written: never acted on
    const std::string_view content(text.data() + at, end - at);
    at = end + 1;
    const size_t tab = content.find('\t');
    bool crcOk = false;
    if (tab == 8) {
      const uint32_t stored = QString::fromLatin1(content.data(), 8).toUInt(&crcOk, 16);
      crcOk = crcOk && stored == Crc(content.substr(9));
    }
    if (!crcOk) {
      records.push_back(DamagedLine(line, QStringLiteral("ligne %1 du journal endommagée").arg(line)));
      continue;
    }
    JournalRecord record = ParseFields(Fields(content.substr(9)), line);
    const bool onDisk = record.kind == JournalRecord::Folder || record.kind == JournalRecord::Replace ||
                        record.kind == JournalRecord::Create || record.kind == JournalRecord::MakeFolder;
    if (onDisk && !PlainPath(record.path)) {
      record = DamagedLine(line, QStringLiteral("%1 n'est pas un chemin de l'installation").arg(record.path));
    } else if (record.kind == JournalRecord::Folder) {
      if (!record.path.endsWith(QLatin1Char('\\')) || record.host.empty()) {
        record = DamagedLine(line, QStringLiteral("ligne %1 du journal illisible").arg(line));
      } else {
        folders.append(record.path.toUpper());
      }
    } else if (onDisk) {
      const QString name = record.path.mid(ExtractFilePath(record.path).size());
      if (name.isEmpty() || !folders.contains(ExtractFilePath(record.path).toUpper())) {
        record = DamagedLine(line, QStringLiteral("%1 est hors des dossiers de l'installation").arg(record.path));
      }
    }
    records.push_back(record);
  }
  return records;
}

bool AppendToJournal(const JournalRecord& record) {
  const platform::String path = toW(JournalPath());
  std::string bytes = JournalLine(record);
  if (record.kind == JournalRecord::Begin) {
    if (!platform::CreateDirectoryTree(toW(JournalFolder()))) return false;
    // An unfinished unit is restored before a new one may begin: its
    // journal is never written over.
    if (platform::FileExists(path)) {
      platform::SetLastError(platform::kErrorAlreadyExists);
      return false;
    }
    bytes = kHeader + bytes;
  }
  return platform::AppendFileDurably(path, bytes);
}

}  // namespace kelvaro
