// A registry file that another program changes while this process has it
// mapped: truncated and written again in place, emptied, or replaced through
// a rename. The process never dies of it, never reads past the file's end,
// and reads either the old text whole or the new one.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fixtures/temp_prefix.h"
#include "platform/prefix/mapped_file.h"
#include "platform/prefix/registry_store.h"
#include "platform/registry.h"

namespace {

using namespace platform;
using platform::prefix::RegistryDocument;
using platform::prefix::RegistryStore;

constexpr char kHeader[] = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n";
constexpr int kKeys = 2000;  // about 30 pages of text

String KeyPath(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "Software\\Big\\K%04d", i);
  return String(name, name + std::char_traits<char>::length(name));
}

std::string ManyKeys() {
  std::string text = kHeader;
  char line[96];
  for (int i = 0; i < kKeys; ++i) {
    std::snprintf(line, sizeof line, "\n[Software\\\\Big\\\\K%04d] 1700000000\n\"v\"=\"old %d\"\n", i, i);
    text += line;
  }
  return text;
}

const std::string kNewText = std::string(kHeader) + "\n[Software\\\\Big\\\\K1999] 1700000000\n\"v\"=\"new\"\n";

// What another program does to the file: in place through an open
// descriptor, as a careless editor would, or through a new file renamed
// over it, as Wine and this project's writer do.
enum class Change { TruncateAndRewrite, Empty, Rename };

void ChangeFile(const std::string& path, Change change) {
  if (change == Change::Rename) {
    std::ofstream(path + ".new", std::ios::binary) << kNewText;
    std::filesystem::rename(path + ".new", path);
    return;
  }
  const int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
  ASSERT_GE(fd, 0);
  if (change == Change::TruncateAndRewrite) {
    ASSERT_EQ(write(fd, kNewText.data(), kNewText.size()), ssize_t(kNewText.size()));
  }
  close(fd);
}

String Value(RegistryDocument& document, int i) {
  const uint32_t key = document.Find(KeyPath(i));
  if (key == RegistryDocument::kNoKey) return u"(none)";
  const prefix::RegistryEntry* entry = document.FindValue(key, u"v");
  return entry ? RegistryDataString(entry->data) : u"(no value)";
}

TEST(RegistryMapping, AFileChangedWhileMappedReadsAsTheOldOrTheNewText) {
  struct Case {
    const char* label;
    Change change;
    bool stillOld;  // what was mapped still reads whole
    String newValue;
  };
  const std::vector<Case> cases = {
      {"truncated and rewritten in place", Change::TruncateAndRewrite, false, u"new"},
      {"emptied", Change::Empty, false, u"(none)"},
      {"replaced through a rename", Change::Rename, true, u"new"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fixtures::TempPrefix prefix(fixtures::TempPrefix::Use::AsOther);
    const std::string path = prefix.root() + "/user.reg";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << ManyKeys();
    RegistryStore store(prefix.root(), "user.reg", kHeader);
    RegistryDocument* document = nullptr;
    ASSERT_EQ(store.Current(true, &document), kErrorSuccess);
    EXPECT_EQ(Value(*document, 0), u"old 0");

    ChangeFile(path, c.change);
    // Key lines and values far past the new end of the file: a plain
    // mapping would end the process with SIGBUS here.
    const String last = Value(*document, kKeys - 1);
    EXPECT_EQ(store.Torn(), !c.stillOld);
    if (c.stillOld) {
      EXPECT_EQ(last, u"old 1999");
    }

    // The file as it is now: read again, never a mix of both texts.
    ASSERT_EQ(store.Current(true, &document), kErrorSuccess);
    EXPECT_FALSE(store.Torn());
    EXPECT_EQ(Value(*document, kKeys - 1), c.newValue);
    EXPECT_EQ(Value(*document, 0), u"(none)");
  }
}

TEST(RegistryMapping, AKeyHeldOpenListsTheSubkeysOfTheNewText) {
  fixtures::TempPrefix prefix;
  const std::string path = prefix.root() + "/user.reg";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << ManyKeys();
  RegistryKey big;
  ASSERT_EQ(RegOpenKey(RegistryRoot::CurrentUser, u"Software\\Big", kKeyRead, &big), kErrorSuccess);
  ChangeFile(path, Change::TruncateAndRewrite);
  // Read from the old mapping (until the file is looked at again) or from
  // the new file: the names are the new text's either way.
  String name;
  ASSERT_EQ(RegEnumKey(big, 0, &name), kErrorSuccess);
  EXPECT_EQ(name, u"K1999");
  EXPECT_EQ(RegEnumKey(big, 1, &name), kErrorNoMoreItems);
}

// The hazard the mapping guards against, shown on a plain mapping of the
// same kind of file: without the guard, the reads above end the process.
// The guard is in place (a guarded mapping of another file is open), so this
// also shows that a bus error it does not answer for goes on as before.
TEST(RegistryMapping, APlainMappingOfATruncatedFileEndsTheProcess) {
#ifdef KELVARO_SANITIZED_BUILD
  GTEST_SKIP() << "AddressSanitizer reports the bus error and exits instead of dying of it";
#endif
  fixtures::TempPrefix prefix(fixtures::TempPrefix::Use::AsOther);
  const std::string path = prefix.root() + "/user.reg";
  const std::string text = ManyKeys();
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  EXPECT_EXIT(
      {
        const int other = open((prefix.root() + "/system.reg").c_str(), O_RDONLY);
        const auto guarded = platform::prefix::MappedFile::Open(other, 16);
        if (!guarded) std::_Exit(2);
        const int fd = open(path.c_str(), O_RDONLY);
        const auto* bytes = static_cast<const volatile char*>(mmap(nullptr, text.size(), PROT_READ, MAP_PRIVATE, fd, 0));
        ChangeFile(path, Change::TruncateAndRewrite);
        std::_Exit(bytes[text.size() - 1] == '\n' ? 0 : 1);
      },
      ::testing::KilledBySignal(SIGBUS), "");
}

}  // namespace

namespace {

// A file too large for the index is refused before anything of it is
// mapped or read: a sparse file of 2 GiB costs the test no disk, and would
// cost the reader 2 GiB of memory if it were mapped and populated first.
TEST(RegistryMapping, AFileTooLargeForTheIndexIsRefusedUnread) {
  fixtures::TempPrefix prefix(fixtures::TempPrefix::Use::AsOther);
  const std::string path = prefix.root() + "/user.reg";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << kHeader;
  std::filesystem::resize_file(path, RegistryDocument::kLargestFile);
  RegistryStore store(prefix.root(), "user.reg", kHeader);
  RegistryDocument* document = nullptr;
  EXPECT_EQ(store.Current(true, &document), kErrorRegistryCorrupt);
  EXPECT_NE(store.error().find("fichier trop volumineux"), std::string::npos) << store.error();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  EXPECT_LT(usage.ru_maxrss, 1024L * 1024) << "KB: the file was read or mapped whole";
}

}  // namespace
