// Trusted updates end to end: real packs made by kelvaro-pack, damaged,
// cut, re-signed or edited the way a copy or an attacker would, run by the
// real kelvaro-update-batch over a fixture prefix where an older address
// manager is installed. A refused update must leave every file of the prefix,
// the registry files among them, byte for byte as it was.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "engine/resource_pack.h"
#include "engine/update_signature.h"
#include "fixtures/packed_update.h"
#include "platform/prefix/appended_blobs.h"
#include "platform/prefix/data_resources.h"

#if defined(KELVARO_UPDATE_BATCH) && defined(KELVARO_PACK) && defined(KELVARO_INSPECT)

namespace {

namespace fs = std::filesystem;
using fixtures::BatchRun;

const QString kFailed = QStringLiteral("\n\nLa mise à jour a échouée !\n");

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class TrustTest : public fixtures::PackedUpdateTest {
 protected:
  void SetUp() override {
    carryTorvidaUpdate("torvida_1_2_3_10.dll");
    installTorvida("torvida_1_2_3_9.dll");
    before_ = snapshot();
  }

  // Every file of the prefix but the test's own work folder, with its bytes.
  std::map<std::string, std::string> snapshot() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(prefix.root())) {
      const std::string path = entry.path().string();
      if (path.rfind(work, 0) == 0 || !entry.is_regular_file()) continue;
      files[path] = readBytes(path);
    }
    return files;
  }

  // A refusal: the one line on the report and in the box, the closing line,
  // exit code 1, and nothing changed.
  void expectRefused(const BatchRun& run, const QString& line) {
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, line + kFailed);
    EXPECT_EQ(run.err, QStringLiteral("error: ") + line + QStringLiteral("\n"));
    EXPECT_TRUE(snapshot() == before_) << "the prefix changed";
  }

  void expectUpdated(const BatchRun& run) {
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_EQ(prefix.readFile(fixtures::kTorvidaLibrary), fixture("torvida_1_2_3_10.dll"));
  }

  // A key pair made by kelvaro-pack: the path without .secret or .public.
  QString newKey(const std::string& name) {
    const QString path = QString::fromStdString(work + "/" + name);
    const BatchRun made = runPacker({QStringLiteral("--new-key"), path});
    EXPECT_EQ(made.exitCode, 0) << made.err.toStdString();
    return path;
  }
  static QString fingerprint(const QString& key) {
    return kelvaro::KeyFingerprint(kelvaro::ReadPublicKey(key + QStringLiteral(".public")));
  }

  // Where each carried file's stored bytes lie in the packed update.
  static std::vector<platform::prefix::BlobEntry> blobs(const std::string& update) {
    std::vector<platform::prefix::BlobEntry> entries;
    EXPECT_TRUE(platform::prefix::ReadBlobDirectory(update, &entries));
    return entries;
  }

  // The update copied to a new file of its own, with change applied to its bytes.
  std::string altered(const std::string& update, const std::function<void(std::string*)>& change) {
    const std::string copy = update + "-" + std::to_string(++copies_);
    std::string bytes = readBytes(update);
    change(&bytes);
    writeBytes(copy, bytes);
    fs::permissions(copy, fs::perms::owner_all);
    return copy;
  }

  BatchRun inspect(const QStringList& args) { return fixtures::RunTool(QStringLiteral(KELVARO_INSPECT), args); }

  std::map<std::string, std::string> before_;
  int copies_ = 0;
};

// Where the index starts, from the trailer at the end of a packed update.
uint64_t indexOffset(const std::string& bytes) {
  uint64_t offset = 0;
  for (int i = 7; i >= 0; --i) offset = (offset << 8) | static_cast<unsigned char>(bytes[bytes.size() - 40 + 8 + i]);
  return offset;
}

QString digestMismatch(const std::u16string& name) {
  return QStringLiteral(
             "Le fichier intégré \"%1\" est endommagé : son empreinte SHA-256 ne correspond pas à celle "
             "de l'index.")
      .arg(QString::fromStdU16String(name));
}

TEST_F(TrustTest, AByteFlippedInAnyCarriedFileChangesNothing) {
  const std::string update = pack();
  const auto entries = blobs(update);
  ASSERT_EQ(entries.size(), 7u);
  for (const auto& blob : entries) {
    SCOPED_TRACE(QString::fromStdU16String(blob.name).toStdString());
    const std::string damaged =
        altered(update, [&](std::string* bytes) { (*bytes)[blob.offset + blob.size / 2] ^= 0x20; });
    expectRefused(run(damaged), digestMismatch(blob.name));
  }
  expectUpdated(run(update));
}

// An index edited by hand in an unsigned update: a stored digest that
// differs from the file's in any of its bytes, the first half or the
// second, refuses the file as damaged.
TEST_F(TrustTest, ADigestEditedInTheIndexIsRefusedWhicheverByteDiffers) {
  const std::string update = pack();
  const auto entries = blobs(update);
  const auto& library =
      *std::find_if(entries.begin(), entries.end(), [](const auto& e) { return e.name == u"WKTORVIDA2.DLL"; });
  const std::string stored(reinterpret_cast<const char*>(library.digest.data()), library.digest.size());
  const std::string bytes = readBytes(update);
  const size_t at = bytes.find(stored, indexOffset(bytes));
  ASSERT_NE(at, std::string::npos) << "the library's digest is not in the index";
  for (size_t byte : {size_t(0), size_t(15), size_t(16), stored.size() - 1}) {
    SCOPED_TRACE("digest byte " + std::to_string(byte));
    expectRefused(run(altered(update, [&](std::string* b) { (*b)[at + byte] ^= 0x01; })), digestMismatch(library.name));
  }
}

TEST_F(TrustTest, ACutUpdateChangesNothing) {
  const std::string update = pack();
  const auto entries = blobs(update);
  const auto& library =
      *std::find_if(entries.begin(), entries.end(), [](const auto& e) { return e.name == u"WKTORVIDA2.DLL"; });
  const uint64_t size = fs::file_size(update);
  const struct {
    const char* what;
    uint64_t keep;
  } cuts[] = {
      {"inside the library", library.offset + library.size / 2},
      {"inside the index", size - 60},
      {"the trailer's last byte", size - 1},
  };
  for (const auto& cut : cuts) {
    SCOPED_TRACE(cut.what);
    const BatchRun result = run(altered(update, [&](std::string* bytes) { bytes->resize(cut.keep); }));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(
        result.out.startsWith(QStringLiteral("La mise à jour est endommagée ou tronquée, son index est "
                                             "illisible : Les données ne sont pas valides.\n")))
        << result.out.toStdString();
    EXPECT_TRUE(result.out.endsWith(kFailed));
    EXPECT_TRUE(snapshot() == before_) << "the prefix changed";
  }
}

TEST_F(TrustTest, AnUpdateOfTheOlderFormatStillRunsAndIsStillChecked) {
  // Packed as before digests: the same payloads, the version 1 index.
  const std::string update = work + "/" + updateName();
  {
    QFile out(QString::fromStdString(update));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    QFile base(QStringLiteral(KELVARO_UPDATE_BATCH));
    ASSERT_TRUE(base.open(QIODevice::ReadOnly));
    kelvaro::PackedExecutableWriter writer(&out);
    writer.appendBase(&base, uint64_t(base.size()));
    for (const QString& file : carriedFiles()) writer.appendFile(QFileInfo(file).fileName(), file);
    writer.finish(nullptr, platform::prefix::kBlobContainerVersionWithoutDigests);
  }
  fs::permissions(update, fs::perms::owner_all);
  const auto entries = blobs(update);
  const auto& library =
      *std::find_if(entries.begin(), entries.end(), [](const auto& e) { return e.name == u"WKTORVIDA2.DLL"; });

  // zlib's own check still stops a damaged file before any change.
  const BatchRun damaged =
      run(altered(update, [&](std::string* bytes) { (*bytes)[library.offset + library.size - 3] ^= 0x01; }));
  EXPECT_EQ(damaged.exitCode, 1);
  EXPECT_TRUE(damaged.out.startsWith(QStringLiteral("Le fichier intégré \"WKTORVIDA2.DLL\" est endommagé : ")))
      << damaged.out.toStdString();
  EXPECT_TRUE(snapshot() == before_) << "the prefix changed";

  // A trusting run refuses it: it cannot be signed.
  const QString key = newKey("maker");
  expectRefused(
      run(update, {QStringLiteral("--trust"), key + QStringLiteral(".public")}),
      QStringLiteral("Mise à jour refusée : elle n'est pas signée et la clé %1 est exigée.").arg(fingerprint(key)));

  // Sound, it runs as it always did, and says nothing of digests.
  const BatchRun sound = run(update);
  expectUpdated(sound);
  EXPECT_FALSE(sound.out.contains(QStringLiteral("empreinte")));
}

TEST_F(TrustTest, ATrustingRunTakesOnlyWhatItsKeySigned) {
  const QString maker = newKey("maker");
  const QString other = newKey("other");
  const QStringList trust{QStringLiteral("--trust"), maker + QStringLiteral(".public")};
  const std::string unsignedUpdate = pack();
  const std::string unsignedCopy = altered(unsignedUpdate, [](std::string*) {});
  const std::string update = pack({QStringLiteral("--sign"), maker + QStringLiteral(".secret")});
  const std::string resigned = altered(update, [](std::string*) {});
  ASSERT_EQ(runPacker({QStringLiteral("--sign"), other + QStringLiteral(".secret"), QString::fromStdString(resigned)})
                .exitCode,
            0);
  // Edited after signing: one byte of the first digest, which follows the
  // entry's offset and size at the start of the index.
  const std::string edited = altered(update, [&](std::string* bytes) { (*bytes)[indexOffset(*bytes) + 16] ^= 0x01; });

  const QString alteredAfterSigning = QStringLiteral(
      "Mise à jour refusée : sa signature ne correspond pas à son contenu, modifié "
      "après la signature.");
  expectRefused(
      run(unsignedCopy, trust),
      QStringLiteral("Mise à jour refusée : elle n'est pas signée et la clé %1 est exigée.").arg(fingerprint(maker)));
  expectRefused(run(resigned, trust), QStringLiteral("Mise à jour refusée : elle est signée par la clé %1 et non par "
                                                     "la clé %2.")
                                          .arg(fingerprint(other), fingerprint(maker)));
  expectRefused(run(edited, trust), alteredAfterSigning);
  // A broken signature is damage, trusted key or not.
  expectRefused(run(edited), alteredAfterSigning);

  const BatchRun accepted = run(update, trust);
  expectUpdated(accepted);
  EXPECT_TRUE(accepted.out.contains(QStringLiteral("\nMise à jour signée par la clé %1.\n").arg(fingerprint(maker))))
      << accepted.out.toStdString();
}

TEST_F(TrustTest, BadKeysAndSignatureBlocksAreRefusedCleanly) {
  const QString maker = newKey("maker");
  EXPECT_EQ(fs::status((maker + ".secret").toStdString()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  const std::string secretBefore = readBytes((maker + ".secret").toStdString());
  const BatchRun again = runPacker({QStringLiteral("--new-key"), maker});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_TRUE(again.err.contains(QStringLiteral("existe déjà"))) << again.err.toStdString();
  EXPECT_EQ(readBytes((maker + ".secret").toStdString()), secretBefore) << "a key is never replaced";

  const std::string update = pack({QStringLiteral("--sign"), maker + QStringLiteral(".secret")});
  const std::string publicText = readBytes((maker + ".public").toStdString());
  const struct {
    const char* what;
    std::string text;
  } notKeys[] = {
      {"empty", ""},
      {"some text", "hello\n"},
      {"the secret key", secretBefore},
      {"one digit short", publicText.substr(0, publicText.size() - 2) + "\n"},
      {"a digit that is not hex", publicText.substr(0, publicText.size() - 2) + "g\n"},
      {"a third line", publicText + "more\n"},
      {"a large file", publicText + std::string(1 << 20, 'x')},
  };
  const std::string keyFile = work + "/key.public";
  for (const auto& notKey : notKeys) {
    SCOPED_TRACE(notKey.what);
    writeBytes(keyFile, notKey.text);
    const BatchRun result = run(update, {QStringLiteral("--trust"), QString::fromStdString(keyFile)});
    EXPECT_EQ(result.exitCode, 64);
    EXPECT_EQ(result.err, QStringLiteral("kelvaro-update-batch: ") + QString::fromStdString(keyFile) +
                              QStringLiteral(" n'est pas un fichier de clé publique Kelvaro.\n"));
    EXPECT_EQ(result.out, QString());
    EXPECT_TRUE(snapshot() == before_) << "the prefix changed";
  }
  // Signing with a public key: refused, the update unchanged.
  const std::string signedBytes = readBytes(update);
  const BatchRun wrongKind =
      runPacker({QStringLiteral("--sign"), maker + QStringLiteral(".public"), QString::fromStdString(update)});
  EXPECT_EQ(wrongKind.exitCode, 1);
  EXPECT_TRUE(wrongKind.err.contains(QStringLiteral("n'est pas un fichier de clé secrète Kelvaro.")))
      << wrongKind.err.toStdString();
  EXPECT_EQ(readBytes(update), signedBytes);

  // A signature block one byte short or long: the index is not found whole.
  for (const int change : {-1, +1}) {
    SCOPED_TRACE(change);
    const std::string damaged = altered(update, [&](std::string* bytes) {
      const size_t signatureEnd = bytes->size() - 40;
      if (change < 0)
        bytes->erase(signatureEnd - 1, 1);
      else
        bytes->insert(signatureEnd, 1, '\0');
    });
    const BatchRun result = run(damaged, {QStringLiteral("--trust"), maker + QStringLiteral(".public")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.startsWith(QStringLiteral("La mise à jour est endommagée ou tronquée")))
        << result.out.toStdString();
    EXPECT_TRUE(snapshot() == before_) << "the prefix changed";
  }
}

TEST_F(TrustTest, InspectVerifyShowsEachFileAndTheSignature) {
  const QString maker = newKey("maker");
  const QString other = newKey("other");
  const std::string update = pack({QStringLiteral("--sign"), maker + QStringLiteral(".secret")});
  const auto entries = blobs(update);
  const auto& library =
      *std::find_if(entries.begin(), entries.end(), [](const auto& e) { return e.name == u"WKTORVIDA2.DLL"; });

  const BatchRun sound = inspect({QStringLiteral("verify"), QString::fromStdString(update), QStringLiteral("--trust"),
                                  maker + QStringLiteral(".public")});
  EXPECT_EQ(sound.exitCode, 0) << sound.err.toStdString();
  const QStringList lines = sound.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 10) << sound.out.toStdString();
  // Each file's digest is the SHA-256 of its stored bytes, as sha256sum says.
  QProcess sha;
  sha.start(QStringLiteral("sh"),
            {QStringLiteral("-c"),
             QStringLiteral("tail -c +%1 \"$0\" | head -c %2 | sha256sum").arg(library.offset + 1).arg(library.size),
             QString::fromStdString(update)});
  ASSERT_TRUE(sha.waitForFinished(10000));
  const QString libraryDigest = QString::fromLatin1(sha.readAllStandardOutput()).section(QLatin1Char(' '), 0, 0);
  EXPECT_TRUE(lines.contains(QStringLiteral("WKTORVIDA2.DLL\t%1\tcorrect").arg(libraryDigest)))
      << sound.out.toStdString();
  EXPECT_EQ(lines.mid(7),
            (QStringList{QStringLiteral("Empreintes SHA-256 : dans l'index."),
                         QStringLiteral("Signature : clé %1, valide.").arg(fingerprint(maker)),
                         QStringLiteral("Clé de confiance %1 : mise à jour acceptée.").arg(fingerprint(maker))}));

  const BatchRun otherKey = inspect({QStringLiteral("verify"), QString::fromStdString(update),
                                     QStringLiteral("--trust"), other + QStringLiteral(".public")});
  EXPECT_EQ(otherKey.exitCode, 1);
  EXPECT_TRUE(otherKey.out.endsWith(QStringLiteral("et non par la clé %1.\n").arg(fingerprint(other))));

  // Every file is listed even after a bad one.
  const std::string damaged =
      altered(update, [&](std::string* bytes) { (*bytes)[library.offset + library.size / 2] ^= 0x20; });
  const BatchRun bad = inspect({QStringLiteral("verify"), QString::fromStdString(damaged)});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_EQ(bad.out.count(QLatin1Char('\n')), 9);
  EXPECT_TRUE(bad.out.contains(QStringLiteral("\t") + digestMismatch(library.name) + QStringLiteral("\n")));
}

}  // namespace

#endif
