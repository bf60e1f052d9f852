// The report's file methods against real files in a prefix: the lines they
// write, the copy over read-only and in-use files, and the errors they raise.
#include <sys/stat.h>

#include <optional>

#include "engine_fixture.h"
#include "support/console_user.h"
#include "support/errors.h"

namespace {

using kelvaro::Error;
using kelvaro::OsError;

class UpdateReport : public enginetest::EngineTest {
 protected:
  QStringList& report() { return scripted.user.report; }
  bool readOnly(const std::string& windowsPath) {
    struct stat info {};
    ::stat(prefix.hostPath(windowsPath).c_str(), &info);
    return (info.st_mode & 0222) == 0;
  }
};

TEST_F(UpdateReport, CopyWritesTwoLinesAndReplacesAReadOnlyTarget) {
  writeFile("C:\\Src\\new.dll", "new bytes");
  writeFile("C:\\Dest\\old.dll", "old bytes");
  ::chmod(prefix.hostPath("C:\\Dest\\old.dll").c_str(), 0444);
  ASSERT_TRUE(readOnly("C:\\Dest\\old.dll"));

  engine->LogCopyFile(QStringLiteral("C:\\Src\\new.dll"), QStringLiteral("C:\\Dest\\old.dll"), true);
  EXPECT_EQ(report(), (QStringList{QStringLiteral("Copie de C:\\Src\\new.dll"), QStringLiteral("vers C:\\Dest\\old.dll\r\n")}));
  EXPECT_EQ(prefix.readFile("C:\\Dest\\old.dll"), "new bytes");
  EXPECT_FALSE(readOnly("C:\\Dest\\old.dll")) << "normal attributes afterwards";
  EXPECT_EQ(scripted.user.delays, 1) << "the report repaints between entries";

  report().clear();
  engine->LogCopyFile(QStringLiteral("C:\\Src\\new.dll"), QStringLiteral("C:\\Dest\\quiet.dll"), false);
  EXPECT_TRUE(report().isEmpty());
  EXPECT_EQ(prefix.readFile("C:\\Dest\\quiet.dll"), "new bytes");
}

// The copy takes the source's attributes; a read-only carried file must
// still leave a writable installed copy, new or replaced.
TEST_F(UpdateReport, CopyOfAReadOnlySourceIsWritable) {
  writeFile("C:\\Src\\locked.dll", "new bytes");
  ::chmod(prefix.hostPath("C:\\Src\\locked.dll").c_str(), 0444);
  writeFile("C:\\Dest\\old.dll", "old bytes");
  for (const char* target : {"C:\\Dest\\old.dll", "C:\\Dest\\new.dll"}) {
    SCOPED_TRACE(target);
    engine->LogCopyFile(QStringLiteral("C:\\Src\\locked.dll"), QString::fromLatin1(target), false);
    EXPECT_EQ(prefix.readFile(target), "new bytes");
    EXPECT_FALSE(readOnly(target));
  }
}

// Failed copies: the message names both files and the system's text.
struct CopyFailure {
  const char* name;
  const char* source;
  const char* target;
  uint32_t code;
  bool holdTarget;
};

class CopyFailures : public UpdateReport, public ::testing::WithParamInterface<CopyFailure> {};

TEST_P(CopyFailures, RaiseTheComposedMessageAndKeepTheTarget) {
  const CopyFailure& c = GetParam();
  writeFile("C:\\Src\\new.dll", "new bytes");
  writeFile("C:\\Dest\\old.dll", "old bytes");
  std::optional<enginetest::FileHolder> holder;
  if (c.holdTarget) holder.emplace(prefix.hostPath("C:\\Dest\\old.dll"));
  const QString source = QString::fromLatin1(c.source);
  const QString target = QString::fromLatin1(c.target);
  try {
    engine->LogCopyFile(source, target, true);
    FAIL() << "no error raised";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(), QStringLiteral("Source: ") + source + QStringLiteral("\r\nTarget: ") + target +
                                   QStringLiteral("\r\n\r\nError: ") + OsError(c.code).message());
    EXPECT_TRUE(error.message().contains(QStringLiteral("Erreur système.  Code : %1.\r\n").arg(c.code)));
  }
  EXPECT_EQ(report().size(), 2) << "the lines come before the attempt";
  EXPECT_EQ(prefix.readFile("C:\\Dest\\old.dll"), "old bytes");
}

INSTANTIATE_TEST_SUITE_P(
    LogCopyFile, CopyFailures,
    ::testing::Values(CopyFailure{"MissingSource", "C:\\Src\\absent.dll", "C:\\Dest\\old.dll", 2, false},
                      CopyFailure{"MissingFolder", "C:\\Src\\new.dll", "C:\\Nowhere\\x.dll", 3, false},
                      CopyFailure{"TargetInUse", "C:\\Src\\new.dll", "C:\\Dest\\old.dll", 32, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdateReport, SameAndNotReplacedWriteTheirEntries) {
  engine->LogSameFile(QStringLiteral("C:\\P\\a.dll"));
  engine->LogNotReplacedFile(QStringLiteral("C:\\P\\b.dll"));
  EXPECT_EQ(report(), (QStringList{QStringLiteral("Le fichier C:\\P\\a.dll"),
                                   QStringLiteral("est à jour : il n'est pas remplacé.\r\n"),
                                   QStringLiteral("Le fichier C:\\P\\b.dll"),
                                   QStringLiteral("n'est pas remplacé !!!\r\n")}));
}

TEST_F(UpdateReport, DeleteWritesItsLineThenDeletesOrRaises) {
  writeFile("C:\\P\\old.tmp", "x");
  engine->LogDeleteFile(QStringLiteral("C:\\P\\old.tmp"));
  EXPECT_FALSE(exists("C:\\P\\old.tmp"));
  try {
    engine->LogDeleteFile(QStringLiteral("C:\\P\\old.tmp"));
    FAIL() << "deleting a missing file raised nothing";
  } catch (const OsError& error) {
    EXPECT_EQ(error.code(), 2u);
  }
  EXPECT_EQ(report(), (QStringList{QStringLiteral("Fichier C:\\P\\old.tmp est supprimé.\r\n"),
                                   QStringLiteral("Fichier C:\\P\\old.tmp est supprimé.\r\n")}));
}

TEST_F(UpdateReport, WithoutAReportTheFileOperationsStillHappen) {
  kelvaro::TdmUpdateCommon unbound;
  writeFile("C:\\Src\\new.dll", "new bytes");
  prefix.makeDirectory("C:\\Dest");
  unbound.AddToLog(QStringLiteral("perdu"));
  unbound.LogCopyFile(QStringLiteral("C:\\Src\\new.dll"), QStringLiteral("C:\\Dest\\n.dll"), true);
  EXPECT_EQ(prefix.readFile("C:\\Dest\\n.dll"), "new bytes");
  EXPECT_TRUE(report().isEmpty());
}

TEST_F(UpdateReport, OnTheConsoleEachLineIsALine) {
  kelvaro::ConsoleUser console;
  engine->InitLog(&console);
  testing::internal::CaptureStdout();
  engine->AddToLog(QStringLiteral("Mise à jour : T  01.02.2026 10:00:00\r\n"), 10);
  engine->LogSameFile(QStringLiteral("C:\\P\\a.dll"));
  EXPECT_EQ(QString::fromStdString(testing::internal::GetCapturedStdout()),
            QStringLiteral("Mise à jour : T  01.02.2026 10:00:00\n\nLe fichier C:\\P\\a.dll\n"
                           "est à jour : il n'est pas remplacé.\n\n"));
}

}  // namespace
