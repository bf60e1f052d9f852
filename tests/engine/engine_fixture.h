// What the engine's tests share: a temporary prefix, a scripted user that
// also receives the report, an update executable carrying the files a test
// names, and the engine itself.
#pragma once

#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QString>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "engine/resource_pack.h"
#include "engine/update_common.h"
#include "engine/update_run.h"
#include "fixtures/temp_prefix.h"
#include "platform/files.h"
#include "platform/module_resources.h"
#include "support/scripted_user.h"
#include "support/text.h"

namespace enginetest {

// The connection module's timers want an application object; one for the
// whole test program, created once whichever test file asks first.
inline void EnsureApplication() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "engine_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
}

// A FILETIME for a day offset from a fixed date, so tests can make files
// older or newer than each other without touching version resources.
inline platform::FileTime Day(int offset) {
  constexpr uint64_t kSomeDay = 1700000000ull;  // a Unix time in November 2023
  const uint64_t base = (kSomeDay + platform::kUnixEpochInFileTimeSeconds) * 10000000ull;
  return base + uint64_t(int64_t(offset) * 86400ll * 10000000ll);
}

// Packs files (name -> bytes, all stamped with time) into an update
// executable at hostPath and makes it the module whose resources are read.
inline void CarryFiles(const std::string& hostPath, const std::map<QString, QByteArray>& files,
                       platform::FileTime time = Day(0)) {
  QFile out(QString::fromStdString(hostPath));
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) throw std::runtime_error("cannot write " + hostPath);
  kelvaro::PackedExecutableWriter writer(&out);
  QByteArray base("MZ fake base executable");
  QBuffer baseDevice(&base);
  baseDevice.open(QIODevice::ReadOnly);
  writer.appendBase(&baseDevice, uint64_t(base.size()));
  for (const auto& [name, bytes] : files) writer.appendPayload(name, kelvaro::EncodePayload(bytes, time));
  writer.finish();
  out.close();
  platform::SetResourceModule(kelvaro::toW(QString::fromStdString(hostPath)));
}

// Another process holding a host file open, as a running program holds its
// library: the file is "in use" until the object is destroyed.
class FileHolder {
 public:
  explicit FileHolder(const std::string& hostPath) {
    process_.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec 3<\"$1\"; echo ready; exec sleep 60"),
                                          QStringLiteral("sh"), QString::fromStdString(hostPath)});
    if (!process_.waitForReadyRead(10000)) throw std::runtime_error("the holding process did not start");
  }
  ~FileHolder() {
    process_.kill();
    process_.waitForFinished(5000);
  }
  FileHolder(const FileHolder&) = delete;
  FileHolder& operator=(const FileHolder&) = delete;

 private:
  QProcess process_;
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    engine = std::make_unique<kelvaro::TdmUpdateCommon>();
    engine->InitLog(&scripted.user);
    carry({});
  }
  void TearDown() override {
    engine.reset();
    // Back to the test program itself, which carries nothing.
    platform::SetResourceModule(kelvaro::toW(QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe").string())));
  }

  std::string modulePath() const { return prefix.root() + "/MajTest"; }
  void carry(const std::map<QString, QByteArray>& files, platform::FileTime time = Day(0)) {
    CarryFiles(modulePath(), files, time);
  }

  // Writes a file on a prefix drive and sets its last-write time.
  void writeFile(const std::string& windowsPath, const std::string& bytes, platform::FileTime time = Day(0)) {
    prefix.writeFile(windowsPath, bytes);
    platform::SetFileLastWriteTime(kelvaro::toW(QString::fromStdString(windowsPath)), time);
  }
  std::string read(const std::string& windowsPath) const { return prefix.readFile(windowsPath); }
  bool exists(const std::string& windowsPath) const {
    return std::filesystem::exists(prefix.hostPath(windowsPath));
  }
  QStringList& report() { return scripted.user.report; }

  fixtures::TempPrefix prefix;
  kelvaro::ScopedScriptedUser scripted;
  std::unique_ptr<kelvaro::TdmUpdateCommon> engine;
};

}  // namespace enginetest

namespace enginetest {

// A program file whose fixed file version is major.minor.0.0: a copy of the
// fixture library with its VS_FIXEDFILEINFO version words changed (the
// version strings keep saying 1.2.3.10; only the fixed version is compared).
inline std::string ProgramWithVersion(uint16_t major, uint16_t minor = 0) {
  std::ifstream in(std::string(KELVARO_PE_FIXTURES) + "/torvida_1_2_3_10.dll", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string signature("\xBD\x04\xEF\xFE", 4);
  const size_t at = bytes.find(signature);
  if (at == std::string::npos) throw std::runtime_error("fixture without fixed file info");
  const uint32_t ms = uint32_t(major) << 16 | minor;
  for (int i = 0; i < 4; ++i) bytes[at + 8 + i] = char((ms >> (8 * i)) & 0xFF);
  for (int i = 0; i < 4; ++i) bytes[at + 12 + i] = 0;
  return bytes;
}

}  // namespace enginetest
