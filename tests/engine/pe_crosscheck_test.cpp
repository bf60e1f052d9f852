// Our PE version reader against an independent one: for every fixture,
// python3-pefile's view of the version resource (fixtures/pefile_view.py) must
// match what the platform's version functions answer on the same bytes.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cstring>

#include "pe_fixture_files.h"
#include "platform/module_resources.h"
#include "support/text.h"

namespace kelvaro {
namespace {

using fixtures::InstallPeFixture;
using fixtures::TempPrefix;

QJsonObject PefileView(const std::string& fixture) {
#ifndef KELVARO_PEFILE_PYTHON
  ADD_FAILURE() << "no python3 with pefile was found at configure time";
  return {};
#else
  QProcess python;
  python.start(QStringLiteral(KELVARO_PEFILE_PYTHON),
               {QStringLiteral(KELVARO_PEFILE_SCRIPT), QString::fromStdString(fixtures::PeFixtureHostPath(fixture))});
  EXPECT_TRUE(python.waitForFinished(30000));
  EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
  return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
#endif
}

uint32_t Read32(const void* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

class PeCrossCheck : public ::testing::TestWithParam<const char*> {};

TEST_P(PeCrossCheck, OurReaderAgreesWithPefile) {
  TempPrefix prefix;
  const std::string fixture = GetParam();
  const platform::String path = toW(InstallPeFixture(prefix, fixture, "C:\\X\\" + fixture));
  const QJsonObject view = PefileView(fixture);
  ASSERT_TRUE(view.contains(QStringLiteral("version")));

  const uint32_t size = platform::GetFileVersionInfoSize(path);
  if (!view.value(QStringLiteral("version")).toBool()) {
    EXPECT_EQ(size, 0u);
    return;
  }
  ASSERT_EQ(size, uint32_t(view.value(QStringLiteral("resourceSize")).toInt()) * 2 + 4);
  std::vector<uint8_t> block;
  ASSERT_TRUE(platform::GetFileVersionInfo(path, size, &block));

  const void* pointer = nullptr;
  uint32_t length = 0;
  ASSERT_TRUE(platform::VerQueryValue(block, u"\\", &pointer, &length));
  const auto* fixed = static_cast<const uint8_t*>(pointer);
  EXPECT_EQ(Read32(fixed + 8), uint32_t(view.value(QStringLiteral("fileVersionMS")).toDouble()));
  EXPECT_EQ(Read32(fixed + 12), uint32_t(view.value(QStringLiteral("fileVersionLS")).toDouble()));

  const QJsonArray translations = view.value(QStringLiteral("translations")).toArray();
  const bool haveTable = platform::VerQueryValue(block, u"\\VarFileInfo\\Translation", &pointer, &length);
  ASSERT_EQ(haveTable, !translations.isEmpty());
  if (haveTable) {
    ASSERT_EQ(length, uint32_t(translations.size()) * 4);
    for (qsizetype i = 0; i < translations.size(); ++i) {
      const QJsonArray pair = translations.at(i).toArray();
      const uint32_t entry = Read32(static_cast<const uint8_t*>(pointer) + 4 * i);
      EXPECT_EQ(entry & 0xFFFF, uint32_t(pair.at(0).toInt()));
      EXPECT_EQ(entry >> 16, uint32_t(pair.at(1).toInt()));
    }
  }

  const QJsonObject tables = view.value(QStringLiteral("strings")).toObject();
  for (const QString& table : tables.keys()) {
    const QJsonObject strings = tables.value(table).toObject();
    for (const QString& key : strings.keys()) {
      SCOPED_TRACE((table + QLatin1Char('\\') + key).toStdString());
      const QString subBlock = QStringLiteral("\\StringFileInfo\\") + table + QLatin1Char('\\') + key;
      ASSERT_TRUE(platform::VerQueryValue(block, toW(subBlock), &pointer, &length));
      ASSERT_GE(length, 1u) << "the length counts the terminator";
      const QString ours = QString::fromUtf16(static_cast<const char16_t*>(pointer), length - 1);
      EXPECT_EQ(ours, strings.value(key).toString());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, PeCrossCheck,
                         ::testing::Values("torvida_1_2_3_10.dll", "torvida_1_2_3_9.dll", "torvida_2_0_0_0.dll",
                                           "torvida_1_65535_0_0.dll", "german32.dll", "neutral.dll",
                                           "fixed_only.dll", "no_version.dll", "not_pe.dll"));

}  // namespace
}  // namespace kelvaro
