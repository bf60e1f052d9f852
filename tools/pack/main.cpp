// kelvaro-pack: makes an update executable, lists what one carries, and
// extracts one carried file.
//
//   kelvaro-pack -o OUT [--base EXE] FILE...
//   kelvaro-pack --list EXE
//   kelvaro-pack --extract EXE NAME TARGET
//
// Without --base the update is packed onto the wizard beside the packer:
// the installed, stripped /usr/bin/kelvaro-update, or in the build folder the
// stripped copy the build puts beside the packer.
//
// Paths are host paths. Exit code 0 on success, 1 on failure (with a message
// on standard error), 2 on a usage error.
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QTimeZone>
#include <cstdio>
#include <memory>

#include "engine/payload.h"
#include "engine/resource_file.h"
#include "engine/resource_pack.h"
#include "platform/module_resources.h"
#include "support/errors.h"
#include "support/text.h"

namespace {

void printLine(FILE* to, const QString& line) {
  const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
}

int usage() {
  printLine(stderr, QStringLiteral("usage: kelvaro-pack -o OUT [--base EXE] FILE...\n"
                                   "       kelvaro-pack --list EXE\n"
                                   "       kelvaro-pack --extract EXE NAME TARGET"));
  return 2;
}

// Makes EXE the module whose resources are read.
void useModule(const QString& exe) {
  const QString path = QFileInfo(exe).absoluteFilePath();
  if (!QFileInfo(path).isFile()) throw kelvaro::Error(QStringLiteral("%1 : fichier introuvable.").arg(exe));
  if (!platform::SetResourceModule(kelvaro::toW(path))) throw kelvaro::OsError(platform::GetLastError());
}

QString isoTime(platform::FileTime fileTime) {
  const qint64 unixMs = static_cast<qint64>(fileTime / 10'000) -
                        static_cast<qint64>(platform::kUnixEpochInFileTimeSeconds) * 1000;
  return QDateTime::fromMSecsSinceEpoch(unixMs, QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
}

QString wizardBesideThePacker() {
  return QCoreApplication::applicationDirPath() + QStringLiteral("/kelvaro-update");
}

int pack(const QStringList& args) {
  QString output;
  QString base = wizardBesideThePacker();
  QStringList files;
  for (qsizetype i = 0; i < args.size(); ++i) {
    if ((args[i] == QLatin1String("-o") || args[i] == QLatin1String("--base")) && i + 1 < args.size()) {
      (args[i] == QLatin1String("-o") ? output : base) = args[i + 1];
      ++i;
    } else {
      files.append(args[i]);
    }
  }
  if (output.isEmpty()) return usage();
  kelvaro::PackExecutable(output, base, files);
  return 0;
}

int list(const QString& exe) {
  useModule(exe);
  platform::SetLastError(platform::kErrorSuccess);
  const std::vector<platform::String> names = platform::ListDataResources();
  if (names.empty() && platform::GetLastError() != platform::kErrorSuccess)
    throw kelvaro::OsError(platform::GetLastError());
  for (const platform::String& name : names) {
    std::unique_ptr<platform::ResourceData> data = platform::FindDataResource(name);
    if (!data) throw kelvaro::OsError(platform::GetLastError());
    kelvaro::PayloadReader reader(kelvaro::toQ(name), data.get());
    const kelvaro::PayloadHeader header = reader.readHeader();
    printLine(stdout, QStringLiteral("%1\t%2\t%3").arg(kelvaro::toQ(name)).arg(header.size).arg(isoTime(header.fileTime)));
  }
  return 0;
}

int extract(const QString& exe, const QString& name, const QString& target) {
  useModule(exe);
  if (kelvaro::ExtractResourceFileToHostPath(name, target).isEmpty()) {
    printLine(stderr, QStringLiteral("%1 n'intègre pas de fichier %2.").arg(exe, name));
    return 1;
  }
  return 0;
}

int run(const QStringList& args) {
  if (args.size() == 2 && args[0] == QLatin1String("--list")) return list(args[1]);
  if (args.size() == 4 && args[0] == QLatin1String("--extract")) return extract(args[1], args[2], args[3]);
  if (!args.isEmpty() && (args[0] == QLatin1String("-o") || args[0] == QLatin1String("--base"))) return pack(args);
  return usage();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  try {
    return run(app.arguments().mid(1));
  } catch (const kelvaro::Error& error) {
    printLine(stderr, QStringLiteral("kelvaro-pack: ") + error.message());
    return 1;
  }
}
