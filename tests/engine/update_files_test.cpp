// Temporary files of a run, the listed companion files, the file-in-use test
// and the drive the updater runs from.
#include <sys/stat.h>

#include <QRegularExpression>
#include <optional>

#include "engine/file_in_use.h"
#include "engine/windows_installer.h"
#include "engine_fixture.h"

namespace {

using namespace kelvaro;

class UpdateFilesTest : public enginetest::EngineTest {
 protected:
  std::string tempFile(const std::string& name) const {
    return engine->installer().GetTempPath().toStdString() + name;
  }
};

TEST_F(UpdateFilesTest, TemporaryNamesAreFreshFilesInTheUserTemporaryFolder) {
  const QString name = engine->BuildTempFilename(QStringLiteral("Update"));
  EXPECT_TRUE(QRegularExpression(QRegularExpression::anchoredPattern(
                                     QRegularExpression::escape(engine->installer().GetTempPath()) +
                                     QStringLiteral("Update(0|[1-9]\\d{0,6})\\.tmp")))
                  .match(name)
                  .hasMatch())
      << name.toStdString();
  EXPECT_FALSE(platform::FileExists(toW(name)));
}

TEST_F(UpdateFilesTest, DestructionDeletesEveryUpdateTemporaryFile) {
  const std::string earlier = tempFile("Update12.tmp");
  const std::string otherCase = tempFile("update7.TMP");
  const std::string other = tempFile("Other.tmp");
  const std::string inUse = tempFile("Update99.tmp");
  writeFile(earlier, "old run");
  writeFile(otherCase, "old run, other case");
  writeFile(other, "not ours");
  const std::string carried = engine->BuildTempFilename(QStringLiteral("Update")).toStdString();
  prefix.writeFile(carried, "this run");
  writeFile(inUse, "in use");
  {
    enginetest::FileHolder holder(prefix.hostPath(inUse));
    engine.reset();
  }
  EXPECT_FALSE(exists(earlier));
  EXPECT_FALSE(exists(otherCase));
  EXPECT_FALSE(exists(carried));
  EXPECT_TRUE(exists(other));
  EXPECT_TRUE(exists(inUse)) << "a file in use stays, without an error";
}

TEST_F(UpdateFilesTest, CopyListedFiles) {
  carry({{QStringLiteral("A.dll"), "a"}, {QStringLiteral("C.dll"), "c"}});
  prefix.makeDirectory("C:\\Dest");
  EXPECT_TRUE(engine->CopyListedFiles(QStringLiteral("C:\\Dest"), true)) << "an empty list copies nothing";
  EXPECT_TRUE(report().isEmpty());

  engine->namesList() = QStringList{QStringLiteral("A.dll"), QStringLiteral("B.dll"), QStringLiteral("C.dll")};
  EXPECT_FALSE(engine->CopyListedFiles(QStringLiteral("C:\\Dest"), false));
  EXPECT_EQ(read("C:\\Dest\\A.dll"), "a");
  EXPECT_EQ(read("C:\\Dest\\C.dll"), "c");
  EXPECT_FALSE(exists("C:\\Dest\\B.dll"));
  EXPECT_TRUE(report().isEmpty()) << "no lines without LogFlag";
}

TEST_F(UpdateFilesTest, FileInUseError) {
  writeFile("C:\\P\\free.dll", "x");
  writeFile("C:\\P\\readonly.dll", "x");
  chmod(prefix.hostPath("C:\\P\\readonly.dll").c_str(), 0444);
  writeFile("C:\\P\\running.exe", "x");
  enginetest::FileHolder running(prefix.hostPath("C:\\P\\running.exe"));
  EXPECT_EQ(FileInUseError(QStringLiteral("C:\\P\\absent.dll")), 0);
  EXPECT_EQ(FileInUseError(QStringLiteral("C:\\P\\free.dll")), 0);
  EXPECT_EQ(FileInUseError(QStringLiteral("C:\\P\\readonly.dll")), 5);
  EXPECT_EQ(FileInUseError(QStringLiteral("C:\\P\\running.exe")), 32);
}

TEST_F(UpdateFilesTest, SourceDriveType) {
  prefix.addDrive('e', prefix.root() + "/cdrom", "cdrom");
  SetUpdaterExecutable(QStringLiteral("E:\\MajTorvida.exe"));
  EXPECT_EQ(engine->GetSourceDriveType(), int(platform::kDriveCdrom));
  SetUpdaterExecutable(QStringLiteral("C:\\MajTorvida.exe"));
  EXPECT_EQ(engine->GetSourceDriveType(), int(platform::kDriveFixed));
  SetUpdaterExecutable(QString());
}

}  // namespace
