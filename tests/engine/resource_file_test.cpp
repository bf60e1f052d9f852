// Carried files read by name: into memory, into a stream, onto disk and as
// text lines, from packed executables made here.
#include <gtest/gtest.h>

#include <QBuffer>
#include <filesystem>

#include "engine/resource_file.h"
#include "fixtures/temp_prefix.h"
#include "packed_module.h"
#include "platform/files.h"
#include "support/errors.h"

namespace {

using fixtures::PackedModule;
using kelvaro::EncodePayload;

constexpr platform::FileTime kPacked = 133500000000000000ull;  // 2024-01-20
constexpr platform::FileTime kLater = 133600000000000000ull;   // 2024-05-15

class ResourceFileTest : public ::testing::Test {
 protected:
  void carry(const PackedModule::Blobs& payloads) {
    module_.reset();  // its destructor resets the module
    module_ = std::make_unique<PackedModule>(prefix_.hostPath("C:\\Update\\MajTorvida.exe"), payloads,
                                             u"c:\\update\\MAJTORVIDA.EXE");
    ASSERT_TRUE(module_->ok());
  }
  void SetUp() override { prefix_.makeDirectory("C:\\Update"); prefix_.makeDirectory("C:\\Target"); }
  void TearDown() override { module_.reset(); }

  platform::FileTime lastWriteTime(const QString& path) {
    platform::FileTime time = 0;
    EXPECT_TRUE(platform::GetFileLastWriteTime(kelvaro::toW(path), &time));
    return time;
  }

  fixtures::TempPrefix prefix_;
  std::unique_ptr<PackedModule> module_;
};

TEST_F(ResourceFileTest, FindsStoredNamesIgnoringAsciiCase) {
  carry({{"UPDATES.TXT", EncodePayload("Torvida", kPacked)},
         {"Mon Fichier.lst", EncodePayload("list", kPacked)},
         {"café.txt", EncodePayload("é", kPacked)}});
  struct Case {
    const char* asked;
    bool found;
  } cases[] = {{"updates.TXT", true}, {"Updates.txt", true},     {"UPDATES.TXT", true},
               {"mon fichier.LST", true}, {"CAFé.TXT", true},    {"Updates.tx", false},
               {"Updates.txt ", false},   {"AppInfo1.txt", false}};
  for (const Case& c : cases) {
    QByteArray data("untouched");
    platform::FileTime time = 7;
    EXPECT_EQ(kelvaro::ReadResourceFile(QString::fromUtf8(c.asked), &data, &time), c.found) << c.asked;
    if (!c.found) {
      EXPECT_EQ(data, "untouched") << c.asked;
      EXPECT_EQ(time, 7u) << c.asked;
    }
  }
  QByteArray data;
  platform::FileTime time = 0;
  ASSERT_TRUE(kelvaro::ReadResourceFile("updates.TXT", &data, &time));
  EXPECT_EQ(data, "Torvida");
  EXPECT_EQ(time, kPacked);
}

TEST_F(ResourceFileTest, AbsentFileChangesNothingAnywhere) {
  carry({{"UPDATES.TXT", EncodePayload("Torvida", kPacked)}});
  QByteArray held("held");
  QBuffer stream(&held);
  stream.open(QIODevice::ReadWrite);
  stream.seek(2);
  EXPECT_FALSE(kelvaro::ReadResourceFile("Steps.txt", &stream));
  EXPECT_EQ(held, "held");
  EXPECT_EQ(stream.pos(), 2);

  EXPECT_EQ(kelvaro::ExtractResourceFile("Steps.txt", "C:\\Target\\Steps.txt"), QString());
  EXPECT_FALSE(platform::FileExists(u"C:\\Target\\Steps.txt"));

  QStringList lines{"stale"};
  EXPECT_EQ(kelvaro::LoadResourceTextLines("Steps.txt", &lines), 0);
  EXPECT_TRUE(lines.isEmpty());

  QByteArray rtf("stale");
  EXPECT_FALSE(kelvaro::ReadResourceRichText("UpdateInfo.txt", &rtf));
  EXPECT_TRUE(rtf.isEmpty());
}

TEST_F(ResourceFileTest, ExecutableWithoutCarriedFilesHasNone) {
  const std::string plain = prefix_.hostPath("C:\\Update\\plain.exe");
  prefix_.writeFile("C:\\Update\\plain.exe", "MZ nothing carried, not even a trailer");
  ASSERT_TRUE(platform::SetResourceModule(kelvaro::toW(QString::fromStdString(plain))));
  QByteArray data;
  platform::FileTime time = 0;
  EXPECT_FALSE(kelvaro::ReadResourceFile("Updates.txt", &data, &time));
  EXPECT_TRUE(platform::ListDataResources().empty());
  platform::SetResourceModule(u"");
}

TEST_F(ResourceFileTest, EmptyCarriedFile) {
  carry({{"EMPTY.TXT", EncodePayload(QByteArray(), kPacked)}});
  QByteArray data("x");
  platform::FileTime time = 0;
  ASSERT_TRUE(kelvaro::ReadResourceFile("Empty.txt", &data, &time));
  EXPECT_TRUE(data.isEmpty());
  EXPECT_EQ(time, kPacked);

  ASSERT_EQ(kelvaro::ExtractResourceFile("Empty.txt", "C:\\Target\\Empty.txt"), "C:\\Target\\Empty.txt");
  EXPECT_EQ(prefix_.readFile("C:\\Target\\Empty.txt"), "");
  EXPECT_EQ(lastWriteTime("C:\\Target\\Empty.txt"), kPacked);

  QStringList lines{"stale"};
  EXPECT_EQ(kelvaro::LoadResourceTextLines("Empty.txt", &lines), 0);
  EXPECT_TRUE(lines.isEmpty());
}

TEST_F(ResourceFileTest, StreamFormWritesAtPositionWithoutRewinding) {
  carry({{"APPINFO2.TXT", EncodePayload("-data-", kPacked)}});
  QByteArray held("0123456789");
  QBuffer stream(&held);
  stream.open(QIODevice::ReadWrite);
  stream.seek(4);
  ASSERT_TRUE(kelvaro::ReadResourceFile("AppInfo2.txt", &stream));
  EXPECT_EQ(held, "0123-data-");
  EXPECT_EQ(stream.pos(), 10);

  stream.seek(10);
  ASSERT_TRUE(kelvaro::ReadResourceFile("AppInfo2.txt", &stream));
  EXPECT_EQ(held, "0123-data--data-");
  EXPECT_EQ(stream.pos(), 16);
}

TEST_F(ResourceFileTest, StreamThatRefusesTheBytesRaises) {
  carry({{"APPINFO2.TXT", EncodePayload("data", kPacked)}});
  QByteArray held;
  QBuffer readOnly(&held);
  readOnly.open(QIODevice::ReadOnly);
  EXPECT_THROW(kelvaro::ReadResourceFile("AppInfo2.txt", &readOnly), kelvaro::Error);
}

TEST_F(ResourceFileTest, ExtractReplacesNewerFileAndGivesItTheStoredTime) {
  // Noise, so that both the compressed payload and the data span several
  // pieces of reading and extraction, which must join up.
  QByteArray library(700 * 1024, '\0');
  uint32_t state = 1;
  for (char& byte : library) byte = static_cast<char>((state = state * 1664525u + 1013904223u) >> 24);
  carry({{"WKTORVIDA2.DLL", EncodePayload(library, kPacked)}});
  prefix_.writeFile("C:\\Target\\WKTorvida2.dll", "the installed, newer library");
  ASSERT_TRUE(platform::SetFileLastWriteTime(u"C:\\Target\\WKTorvida2.dll", kLater));

  const QString target = "C:\\target\\wktorvida2.DLL";
  ASSERT_EQ(kelvaro::ExtractResourceFile("WKTorvida2.dll", target), target);
  EXPECT_EQ(QByteArray::fromStdString(prefix_.readFile("C:\\Target\\WKTorvida2.dll")), library);
  EXPECT_EQ(lastWriteTime("C:\\Target\\WKTorvida2.dll"), kPacked);
  // The existing file was replaced, not joined by a second one of another case.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(prefix_.hostPath("C:\\Target")), {}), 1);
}

TEST_F(ResourceFileTest, ExtractToMissingFolderRaisesAndCreatesNothing) {
  carry({{"HELP.CHM", EncodePayload("help", kPacked)}});
  EXPECT_THROW(kelvaro::ExtractResourceFile("Help.chm", "C:\\Missing\\Help.chm"), kelvaro::OsError);
  EXPECT_FALSE(platform::DirectoryExists(u"C:\\Missing"));
}

TEST_F(ResourceFileTest, ExtractToHostPathStampsTheStoredTime) {
  carry({{"HELP.CHM", EncodePayload("help", kPacked)}});
  fixtures::TempDir dir;
  const QString target = QString::fromStdString(dir.path() + "/Help.chm");
  ASSERT_EQ(kelvaro::ExtractResourceFileToHostPath("help.chm", target), target);
  EXPECT_EQ(kelvaro::HostFileLastWriteTime(target), kPacked);
}

TEST_F(ResourceFileTest, SetFileLastWriteTime) {
  EXPECT_FALSE(kelvaro::SetFileLastWriteTime("C:\\Target\\absent.txt", kPacked));
  prefix_.writeFile("C:\\Target\\a.txt", "a");
  EXPECT_TRUE(kelvaro::SetFileLastWriteTime("C:\\Target\\A.TXT", kPacked));
  EXPECT_EQ(lastWriteTime("C:\\Target\\a.txt"), kPacked);
  ASSERT_TRUE(platform::SetFileAttributes(u"C:\\Target\\a.txt", platform::kAttributeReadOnly));
  EXPECT_THROW(kelvaro::SetFileLastWriteTime("C:\\Target\\a.txt", kLater), kelvaro::OsError);
  EXPECT_EQ(lastWriteTime("C:\\Target\\a.txt"), kPacked);
}

TEST_F(ResourceFileTest, LoadsTextLinesOfCarriedFile) {
  carry({{"FILENAMES.TXT", EncodePayload("Torvida.chm\r\nIBANKernel.dll\r\nR\xE9sum\xE9.txt\r\n", kPacked)}});
  QStringList lines{"stale"};
  EXPECT_EQ(kelvaro::LoadResourceTextLines("FileNames.txt", &lines), 3);
  EXPECT_EQ(lines, QStringList({"Torvida.chm", "IBANKernel.dll", QString::fromUtf8("Résumé.txt")}));
}

TEST_F(ResourceFileTest, RichTextBytesComeUnchanged) {
  const QByteArray rtf("{\\rtf1\\ansi Nouveaut\\'e9s\\par}");
  carry({{"UPDATEINFO.TXT", EncodePayload(rtf, kPacked)}});
  QByteArray bytes;
  ASSERT_TRUE(kelvaro::ReadResourceRichText("UpdateInfo.txt", &bytes));
  EXPECT_EQ(bytes, rtf);
}

}  // namespace
