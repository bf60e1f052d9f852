// Update executables for the benchmarks: a small stand-in base, then the
// payloads given, packed as kelvaro-pack packs them.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QString>
#include <string>
#include <utility>
#include <vector>

#include "engine/resource_pack.h"
#include "platform/prefix/appended_blobs.h"

namespace bench {

// payloads: name and encoded payload (kelvaro::EncodePayload), in order.
inline void WritePackedModule(const std::string& path, const std::vector<std::pair<QString, QByteArray>>& payloads,
                              uint32_t version = platform::prefix::kBlobContainerVersion) {
  QFile file(QString::fromStdString(path));
  file.open(QIODevice::WriteOnly);
  QByteArray base("MZ bench base");
  QBuffer baseDevice(&base);
  baseDevice.open(QIODevice::ReadOnly);
  kelvaro::PackedExecutableWriter writer(&file);
  writer.appendBase(&baseDevice, static_cast<uint64_t>(base.size()));
  for (const auto& [name, payload] : payloads) writer.appendPayload(name, payload);
  writer.finish(nullptr, version);
}

}  // namespace bench
