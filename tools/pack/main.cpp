// kelvaro-pack: makes an update executable, lists what one carries, and
// extracts one carried file.
//
//   kelvaro-pack -o OUT [--base EXE] [--sign NAME.secret] FILE...
//   kelvaro-pack --sign NAME.secret EXE      signs a packed update in place
//   kelvaro-pack --new-key NAME              writes NAME.secret and NAME.public
//   kelvaro-pack --list EXE
//   kelvaro-pack --extract EXE NAME TARGET
//
// Without --base the update is packed onto the wizard beside the packer:
// the installed, stripped /usr/bin/kelvaro-update, or in the build folder the
// stripped copy the build puts beside the packer.
//
// Paths are host paths. Exit code 0 on success, 1 on failure (with a message
// on standard error), 2 on a usage error; --help tells the same.
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QTimeZone>
#include <cstdio>
#include <memory>

#include "engine/payload.h"
#include "engine/resource_file.h"
#include "engine/resource_pack.h"
#include "engine/update_signature.h"
#include "standard_options.h"
#include "platform/module_resources.h"
#include "support/errors.h"
#include "support/text.h"

namespace {

void printLine(FILE* to, const QString& line) {
  const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
}

const QString kUsage = QStringLiteral(
    "usage: kelvaro-pack -o OUT [--base EXE] [--sign NAME.secret] FILE...\n"
    "       kelvaro-pack --sign NAME.secret EXE\n"
    "       kelvaro-pack --new-key NAME\n"
    "       kelvaro-pack --list EXE\n"
    "       kelvaro-pack --extract EXE NAME TARGET");

const QString kHelp = kUsage + QStringLiteral(
    "\n\n"
    "Makes an update executable: a copy of the wizard (or of EXE) that carries\n"
    "the given files, each under its own file name. What an update installs is\n"
    "decided by what it carries: Updates.txt names the product, AppInfo1.txt and\n"
    "AppInfo2.txt hold its texts, FileNames.txt and PrintLists.txt the companion\n"
    "files and print lists to install.\n"
    "\n"
    "Options:\n"
    "  -o OUT                 write the update executable to OUT\n"
    "  --base EXE             the executable to copy (default: the wizard,\n"
    "                         kelvaro-update, built beside kelvaro-pack)\n"
    "  --sign NAME.secret     sign the update with that secret key; with EXE\n"
    "                         alone, sign (or sign again) a packed update in place\n"
    "  --new-key NAME         make a key pair: NAME.secret (readable by you\n"
    "                         alone) and NAME.public, for --trust\n"
    "  --list EXE             list what EXE carries: name, size, time (UTC)\n"
    "  --extract EXE NAME TARGET\n"
    "                         write the file EXE carries as NAME to TARGET\n"
    "  --help                 show this help and exit\n"
    "  --version              show the version and exit\n"
    "\n"
    "Exit codes:\n"
    "  0  done\n"
    "  1  failed (a file that cannot be read or written, a name not carried);\n"
    "     the reason is on standard error\n"
    "  2  bad arguments\n");

int usage() {
  printLine(stderr, kUsage + QStringLiteral("\n(kelvaro-pack --help tells more)"));
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

bool isPackOption(const QString& arg) {
  return arg == QLatin1String("-o") || arg == QLatin1String("--base") || arg == QLatin1String("--sign");
}

QString wizardBesideThePacker() {
  return QCoreApplication::applicationDirPath() + QStringLiteral("/kelvaro-update");
}

int pack(const QStringList& args) {
  QString output;
  QString base;
  QString keyFile;
  QStringList files;
  for (qsizetype i = 0; i < args.size(); ++i) {
    if (isPackOption(args[i]) && i + 1 < args.size()) {
      (args[i] == QLatin1String("-o") ? output : args[i] == QLatin1String("--base") ? base : keyFile) = args[i + 1];
      ++i;
    } else {
      files.append(args[i]);
    }
  }
  kelvaro::SecretKey key;
  if (!keyFile.isEmpty()) kelvaro::ReadSecretKey(keyFile, &key);
  if (output.isEmpty()) {
    // --sign KEY EXE: an update already packed.
    if (keyFile.isEmpty() || !base.isEmpty() || files.size() != 1) return usage();
    kelvaro::SignPackedExecutable(files.first(), key);
    return 0;
  }
  if (base.isEmpty()) base = wizardBesideThePacker();
  kelvaro::PackExecutable(output, base, files, keyFile.isEmpty() ? nullptr : &key);
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
    printLine(stdout, QStringLiteral("%1\t%2\t%3")
                                  .arg(kelvaro::toQ(name), QString::number(header.size), isoTime(header.fileTime)));
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
  if (const auto code = tools::AnswerStandardOption(args, QStringLiteral("kelvaro-pack"), kHelp)) return *code;
  if (args.size() == 2 && args[0] == QLatin1String("--list")) return list(args[1]);
  if (args.size() == 4 && args[0] == QLatin1String("--extract")) return extract(args[1], args[2], args[3]);
  if (args.size() == 2 && args[0] == QLatin1String("--new-key")) {
    kelvaro::WriteNewKeyPair(args[1]);
    return 0;
  }
  if (!args.isEmpty() && isPackOption(args[0])) return pack(args);
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
