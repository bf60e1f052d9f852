// Damaged carried files and damaged containers: a clear error naming the
// file, outputs and existing targets untouched, and a lookup that never reads
// another file's bytes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "engine/resource_file.h"
#include "fixtures/temp_prefix.h"
#include "packed_module.h"
#include "platform/files.h"
#include "platform/prefix/appended_blobs.h"
#include "support/errors.h"

namespace {

using fixtures::payloadContent;
using fixtures::PackedModule;
using fixtures::zlibOf;
using kelvaro::EncodePayload;

constexpr platform::FileTime kPacked = 133500000000000000ull;

QByteArray withLastByteFlipped(QByteArray bytes) {
  bytes[bytes.size() - 1] = static_cast<char>(bytes.back() ^ 0x01);
  return bytes;
}

struct DamagedPayload {
  const char* what;
  QByteArray payload;
  const char* reason;  // part of the message
};

std::vector<DamagedPayload> damagedPayloads() {
  const QByteArray good = EncodePayload(QByteArray(5000, 'k') + "tail", kPacked);
  return {
      {"not zlib", "these bytes are not a zlib stream", "non valides"},
      {"no bytes at all", QByteArray(), "tronqué"},
      {"cut inside the deflate data", good.left(good.size() / 2), "tronqué"},
      {"cut inside the Adler-32", good.left(good.size() - 2), "tronqué"},
      {"wrong Adler-32", withLastByteFlipped(good), "Adler-32"},
      {"bytes after the stream", good + "xx", "en trop"},
      {"header cut short", zlibOf(QByteArray(10, '\0')), "en-tête"},
      {"fewer bytes than announced", zlibOf(payloadContent(20, kPacked, "ten bytes!")), "plus courtes"},
      {"more bytes than announced", zlibOf(payloadContent(5, kPacked, "ten bytes!")), "plus longues"},
      {"2 GiB announced", zlibOf(payloadContent(0x80000000ull, kPacked, "x")), "2 Go"},
      {"high bits announced", zlibOf(payloadContent((1ull << 32) + 1, kPacked, "x")), "2 Go"},
      {"huge size, tiny payload", zlibOf(payloadContent(0x7FFFFFFF, kPacked, "x")), "plus courtes"},
  };
}

// Caps the process's address space a little above what it uses now, so that
// a block of the announced size cannot be allocated while it lives: a size
// check that comes too late shows as a failed allocation, not as the same
// error after a 2 GB block.
class AddressSpaceCap {
 public:
  AddressSpaceCap() {
    getrlimit(RLIMIT_AS, &saved_);
    std::ifstream statm("/proc/self/statm");
    rlim_t pages = 0;
    statm >> pages;
    rlimit cap = saved_;
    cap.rlim_cur = std::min<rlim_t>(saved_.rlim_cur, pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + kHeadroom);
    active_ = pages > 0 && setrlimit(RLIMIT_AS, &cap) == 0;
  }
  ~AddressSpaceCap() { setrlimit(RLIMIT_AS, &saved_); }
  bool active() const { return active_; }

 private:
  static constexpr rlim_t kHeadroom = 256u << 20;
  rlimit saved_{};
  bool active_ = false;
};

class ResourceDamageTest : public ::testing::Test {
 protected:
  void carry(const PackedModule::Blobs& payloads) {
    module_.reset();  // its destructor resets the module
    module_ = std::make_unique<PackedModule>(prefix_.hostPath("C:\\Update\\MajTorvida.exe"), payloads);
    ASSERT_TRUE(module_->ok());
  }
  void SetUp() override { prefix_.makeDirectory("C:\\Update"); }
  void TearDown() override { module_.reset(); }

  fixtures::TempPrefix prefix_;
  std::unique_ptr<PackedModule> module_;
};

TEST_F(ResourceDamageTest, DamagedPayloadRaisesNamingTheFileAndChangesNothing) {
  for (const DamagedPayload& c : damagedPayloads()) {
    SCOPED_TRACE(c.what);
    carry({{"WKTORVIDA2.DLL", c.payload}});
    QByteArray data("untouched");
    platform::FileTime time = 7;
    const AddressSpaceCap cap;
    ASSERT_TRUE(cap.active());
    try {
      kelvaro::ReadResourceFile("WKTorvida2.dll", &data, &time);
      ADD_FAILURE() << "no error";
    } catch (const kelvaro::Error& error) {
      EXPECT_TRUE(error.message().contains("WKTorvida2.dll")) << error.what();
      EXPECT_TRUE(error.message().contains(QString::fromUtf8(c.reason))) << error.what();
    }
    EXPECT_EQ(data, "untouched");
    EXPECT_EQ(time, 7u);

    QByteArray held("held");
    QBuffer stream(&held);
    stream.open(QIODevice::ReadWrite);
    EXPECT_THROW(kelvaro::ReadResourceFile("WKTorvida2.dll", &stream), kelvaro::Error);
    EXPECT_EQ(held, "held");

    // The installed file stays whole, and no temporary file is left beside it.
    prefix_.writeFile("C:\\Programs\\WKTorvida2.dll", "installed");
    EXPECT_THROW(kelvaro::ExtractResourceFile("WKTorvida2.dll", "C:\\Programs\\WKTorvida2.dll"), kelvaro::Error);
    EXPECT_EQ(prefix_.readFile("C:\\Programs\\WKTorvida2.dll"), "installed");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(prefix_.hostPath("C:\\Programs")), {}), 1);
  }
}

// A container whose trailer or index lies: the lookup answers
// kErrorInvalidData, and the engine turns that into an OsError.
TEST_F(ResourceDamageTest, DamagedContainerIsInvalidDataNotACrash) {
  using platform::prefix::BlobEntry;
  const std::string base = "MZ base";
  const std::string blobs = "0123456789";  // two blobs of 5 bytes after the base
  const uint64_t indexOffset = base.size() + blobs.size();
  const auto index = [&](std::vector<BlobEntry> entries) {
    return platform::prefix::EncodeBlobIndex(entries, base.size(), indexOffset);
  };
  const std::string sound = index({{u"A.TXT", 7, 5}, {u"B.TXT", 12, 5}});
  const auto patchedTrailer = [&](int field, uint64_t value, int width) {
    std::string text = sound;
    for (int i = 0; i < width; ++i) text[text.size() - 40 + field + i] = static_cast<char>(value >> (8 * i));
    return text;
  };
  struct Case {
    const char* what;
    std::string tail;
  } cases[] = {
      {"blob past the index", index({{u"A.TXT", 7, 5}, {u"B.TXT", 12, 50}})},
      {"blob inside the base", index({{u"A.TXT", 2, 5}, {u"B.TXT", 12, 5}})},
      {"overlapping blobs", index({{u"A.TXT", 7, 6}, {u"B.TXT", 12, 5}})},
      {"offset overflowing", index({{u"A.TXT", 7, 5}, {u"B.TXT", ~0ull - 2, 5}})},
      {"same name twice", index({{u"A.TXT", 7, 5}, {u"a.txt", 12, 5}})},
      {"control character in a name", index({{u"A\nB", 7, 5}, {u"B.TXT", 12, 5}})},
      {"absurd count", patchedTrailer(24, 0xFFFFFFFF, 4)},
      {"count one too many", patchedTrailer(24, 3, 4)},
      {"index offset past the end", patchedTrailer(8, 1ull << 40, 8)},
      {"index size past the start", patchedTrailer(16, 1ull << 40, 8)},
      {"base past the index", patchedTrailer(0, indexOffset + 1, 8)},
      {"unknown version", patchedTrailer(28, 3, 4)},
      {"signature one byte short", platform::prefix::SignedBlobTail(sound, std::string(95, 's'))},
      {"signature in a container without digests",
       platform::prefix::SignedBlobTail(
           platform::prefix::EncodeBlobIndex({{u"A.TXT", 7, 5}, {u"B.TXT", 12, 5}}, base.size(), indexOffset, 1),
           std::string(platform::prefix::kBlobSignatureSize, 's'))},
      {"only a trailer", sound.substr(sound.size() - 40)},
  };
  const std::string module = prefix_.hostPath("C:\\Update\\MajTorvida.exe");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::ofstream(module, std::ios::binary | std::ios::trunc) << base << blobs << c.tail;
    ASSERT_TRUE(platform::SetResourceModule(kelvaro::toW(QString::fromStdString(module))));
    platform::SetLastError(0);
    EXPECT_EQ(platform::FindDataResource(u"A.TXT"), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidData);
    try {
      QByteArray data;
      platform::FileTime time = 0;
      kelvaro::ReadResourceFile("A.txt", &data, &time);
      ADD_FAILURE() << "no error";
    } catch (const kelvaro::OsError& error) {
      EXPECT_EQ(error.code(), platform::kErrorInvalidData);
    }
  }
  // The sound container itself reads.
  std::ofstream(module, std::ios::binary | std::ios::trunc) << base << blobs << sound;
  const std::unique_ptr<platform::ResourceData> b = platform::FindDataResource(u"b.txt");
  ASSERT_NE(b, nullptr);
  char bytes[8] = {};
  EXPECT_EQ(b->Read(0, bytes, sizeof bytes), 5);
  EXPECT_EQ(std::string(bytes, 5), "56789");
  platform::SetResourceModule(u"");
}

TEST_F(ResourceDamageTest, ModuleThatCannotBeOpened) {
  EXPECT_FALSE(platform::SetResourceModule(u"C:\\Update\\Absent.exe"));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
  EXPECT_FALSE(platform::SetResourceModule(u"/nonexistent/kelvaro/update"));
  EXPECT_FALSE(platform::SetResourceModule(u"C:\\Update"));  // a folder
}

std::uint64_t bytesReadSoFar() {
  std::ifstream io("/proc/self/io");
  std::string key;
  std::uint64_t value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return 0;
}

TEST_F(ResourceDamageTest, LookupReadsNoOtherFilesBytes) {
  // Damaged neighbours on both sides, one large: reading the small file
  // touches neither.
  const QByteArray large(32 << 20, '\xFF');
  carry({{"BEFORE.BIN", large}, {"UPDATES.TXT", EncodePayload("Torvida", kPacked)}, {"AFTER.BIN", "junk"}});
  const std::uint64_t before = bytesReadSoFar();
  QByteArray data;
  platform::FileTime time = 0;
  ASSERT_TRUE(kelvaro::ReadResourceFile("Updates.txt", &data, &time));
  const std::uint64_t read = bytesReadSoFar() - before;
  EXPECT_EQ(data, "Torvida");
  EXPECT_LT(read, 64u * 1024) << "bytes read for one small file: " << read;
  EXPECT_THROW(kelvaro::ReadResourceFile("Before.bin", &data, &time), kelvaro::Error);
}

}  // namespace
