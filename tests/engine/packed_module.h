// A packed executable made in a test: a small base followed by named
// payloads, written with the packager's own writer and made the module whose
// resources the engine reads. The module goes back to the running executable
// when the object is destroyed.
#pragma once

#include <zlib.h>

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QString>
#include <string>
#include <utility>
#include <vector>

#include "engine/resource_pack.h"
#include "platform/module_resources.h"
#include "support/text.h"

namespace fixtures {

// The inflated content of a payload: header then data.
inline QByteArray payloadContent(uint64_t size, uint64_t fileTime, const QByteArray& data) {
  QByteArray content(16, '\0');
  for (int i = 0; i < 8; ++i) {
    content[i] = static_cast<char>(size >> (8 * i));
    content[8 + i] = static_cast<char>(fileTime >> (8 * i));
  }
  return content + data;
}

// A zlib stream of any content, for payloads the packager would never make.
inline QByteArray zlibOf(const QByteArray& content) {
  uLongf size = compressBound(static_cast<uLong>(content.size()));
  QByteArray out(static_cast<qsizetype>(size), '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(content.constData()),
            static_cast<uLong>(content.size()), Z_BEST_COMPRESSION);
  out.resize(static_cast<qsizetype>(size));
  return out;
}

class PackedModule {
 public:
  using Blobs = std::vector<std::pair<QString, QByteArray>>;

  // Writes base + payloads to hostPath; with windowsPath non-empty the module
  // is set by that Windows path, otherwise by the host path.
  PackedModule(const std::string& hostPath, const Blobs& payloads, const std::u16string& windowsPath = {})
      : hostPath_(hostPath) {
    QFile file(QString::fromStdString(hostPath));
    file.open(QIODevice::WriteOnly);
    QByteArray base("MZ\x90\0 a base executable", 23);
    QBuffer baseDevice(&base);
    baseDevice.open(QIODevice::ReadOnly);
    kelvaro::PackedExecutableWriter writer(&file);
    writer.appendBase(&baseDevice, static_cast<uint64_t>(base.size()));
    for (const auto& [name, payload] : payloads) writer.appendPayload(name, payload);
    writer.finish();
    file.close();
    ok_ = platform::SetResourceModule(windowsPath.empty() ? kelvaro::toW(QString::fromStdString(hostPath))
                                                          : windowsPath);
  }
  ~PackedModule() { platform::SetResourceModule(u""); }
  PackedModule(const PackedModule&) = delete;
  PackedModule& operator=(const PackedModule&) = delete;

  bool ok() const { return ok_; }
  const std::string& hostPath() const { return hostPath_; }

 private:
  std::string hostPath_;
  bool ok_ = false;
};

}  // namespace fixtures
