#include "engine/resource_file.h"

#include <QSaveFile>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/payload.h"
#include "platform/files.h"
#include "platform/module_resources.h"
#include "support/errors.h"
#include "support/text.h"

namespace kelvaro {
namespace {

// Inflated bytes are handed to the target file in pieces of this size, so
// extracting a large file needs little memory.
constexpr size_t kExtractChunk = 256 * 1024;

// The resource stored under name, or null when the module carries no such
// resource; any other failure to read the module raises OsError.
std::unique_ptr<platform::ResourceData> findResource(const QString& name) {
  std::unique_ptr<platform::ResourceData> data = platform::FindDataResource(toW(name));
  if (data) return data;
  const uint32_t error = platform::GetLastError();
  if (error == platform::kErrorResourceNameNotFound || error == platform::kErrorResourceTypeNotFound)
    return nullptr;
  throw OsError(error);
}

// Where ExtractResourceFile writes: a file written whole, then committed.
class ExtractTarget {
 public:
  virtual ~ExtractTarget() = default;
  virtual void open() = 0;
  virtual void write(const char* data, size_t size) = 0;
  virtual void commit() = 0;
  // Stamps the committed file; the outcome is not used, as for the rest of
  // the program a file with the wrong time is still the right file.
  virtual void stamp(platform::FileTime fileTime) = 0;
};

class PrefixTarget : public ExtractTarget {
 public:
  explicit PrefixTarget(const QString& path) : path_(path) {}
  void open() override { check(writer_.Open(toW(path_))); }
  void write(const char* data, size_t size) override { check(writer_.Write(data, size)); }
  void commit() override { check(writer_.Commit()); }
  void stamp(platform::FileTime fileTime) override { SetFileLastWriteTime(path_, fileTime); }

 private:
  static void check(bool ok) {
    if (!ok) throw OsError(platform::GetLastError());
  }
  QString path_;
  platform::FileWriter writer_;
};

class HostTarget : public ExtractTarget {
 public:
  explicit HostTarget(const QString& path) : file_(path) {}
  void open() override { check(file_.open(QIODevice::WriteOnly)); }
  void write(const char* data, size_t size) override {
    check(file_.write(data, static_cast<qint64>(size)) == static_cast<qint64>(size));
  }
  void commit() override { check(file_.commit()); }
  void stamp(platform::FileTime fileTime) override {
    using namespace std::chrono;
    // Ticks of 100 ns since 1970; times a clock cannot hold are left alone.
    constexpr int64_t kUnixEpochTicks = platform::kUnixEpochInFileTimeSeconds * 10'000'000;
    constexpr int64_t kTwoCenturies = 200LL * 366 * 86400 * 10'000'000;
    if (fileTime > static_cast<uint64_t>(kUnixEpochTicks + kTwoCenturies)) return;
    const int64_t unixTicks = static_cast<int64_t>(fileTime) - kUnixEpochTicks;
    if (unixTicks < -kTwoCenturies) return;
    const sys_time<nanoseconds> when(nanoseconds(unixTicks * 100));
    std::error_code ignored;
    std::filesystem::last_write_time(file_.fileName().toStdString(), file_clock::from_sys(when), ignored);
  }

 private:
  void check(bool ok) {
    if (!ok)
      throw Error(QStringLiteral("Impossible d'écrire le fichier %1 : %2").arg(file_.fileName(), file_.errorString()));
  }
  QSaveFile file_;
};

// Inflates the resource straight into the target, committing only once the
// payload has checked to its end.
bool extract(const QString& name, ExtractTarget* target) {
  const std::unique_ptr<platform::ResourceData> resource = findResource(name);
  if (!resource) return false;
  PayloadReader reader(name, resource.get());
  const PayloadHeader header = reader.readHeader();
  target->open();
  std::vector<char> chunk(static_cast<size_t>(std::min<uint64_t>(header.size, kExtractChunk)));
  for (uint64_t left = header.size; left > 0;) {
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(left, chunk.size()));
    reader.readData(chunk.data(), piece);
    target->write(chunk.data(), piece);
    left -= piece;
  }
  reader.finish();
  target->commit();
  target->stamp(header.fileTime);
  return true;
}

}  // namespace

bool ReadResourceFile(const QString& name, QByteArray* data, platform::FileTime* fileTime) {
  const std::unique_ptr<platform::ResourceData> resource = findResource(name);
  if (!resource) return false;
  ReadPayload(name, resource.get(), data, fileTime);
  return true;
}

bool ReadResourceFile(const QString& name, QIODevice* stream) {
  QByteArray data;
  platform::FileTime fileTime = 0;
  if (!ReadResourceFile(name, &data, &fileTime)) return false;
  if (stream->write(data) != data.size())
    throw Error(QStringLiteral("Impossible d'écrire le fichier intégré \"%1\" dans le flux : %2")
                    .arg(name, stream->errorString()));
  return true;
}

QString ExtractResourceFile(const QString& name, const QString& targetFileName) {
  PrefixTarget target(targetFileName);
  return extract(name, &target) ? targetFileName : QString();
}

QString ExtractResourceFileToHostPath(const QString& name, const QString& hostPath) {
  HostTarget target(hostPath);
  return extract(name, &target) ? hostPath : QString();
}

bool SetFileLastWriteTime(const QString& fileName, platform::FileTime fileTime) {
  const platform::String path = toW(fileName);
  if (!platform::FileExists(path)) return false;
  if (platform::GetFileAttributes(path) & platform::kAttributeReadOnly) throw OsError(platform::kErrorAccessDenied);
  return platform::SetFileLastWriteTime(path, fileTime);
}

int LoadResourceTextLines(const QString& name, QStringList* lines) {
  lines->clear();
  QByteArray data;
  platform::FileTime fileTime = 0;
  if (!ReadResourceFile(name, &data, &fileTime)) return 0;
  *lines = DecodeTextLines(data);
  return static_cast<int>(lines->size());
}

bool ReadResourceRichText(const QString& name, QByteArray* rtf) {
  rtf->clear();
  platform::FileTime fileTime = 0;
  return ReadResourceFile(name, rtf, &fileTime);
}

}  // namespace kelvaro
