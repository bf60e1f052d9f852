// Data resources of the running module through FindResourceW: the resources
// come from data_resources.rc, linked in by windres. Natively the same
// functions read blobs appended to a packed file (tests/engine covers them);
// this executable is where the real Windows loader answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/module_resources.h"
#include "platform/win_types.h"

namespace {

using platform::String;

std::string WholeResource(platform::ResourceData& data) {
  std::string bytes;
  char buffer[7];  // small on purpose: the reads go in several pieces
  for (;;) {
    const int64_t n = data.Read(bytes.size(), buffer, sizeof buffer);
    EXPECT_GE(n, 0);
    if (n <= 0) return bytes;
    bytes.append(buffer, size_t(n));
  }
}

std::string SourceFile(const char* name) {
  std::ifstream in(std::string(KELVARO_WIN32_TEST_SOURCES) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(DataResourcesTest, NamesIgnoreCaseAndBytesComeBackWhole) {
  const struct {
    String name;
    std::string bytes;
  } cases[] = {
      {u"Welcome.rtf", SourceFile("welcome.rtf")},
      {u"WELCOME.RTF", SourceFile("welcome.rtf")},
      {u"setup.bin", std::string("\x00\x01\x00\xff\x41\x7f", 6)},
      {u"Empty.dat", std::string()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
    auto data = platform::FindDataResource(c.name);
    ASSERT_TRUE(data) << "error " << platform::GetLastError();
    EXPECT_EQ(data->size(), c.bytes.size());
    EXPECT_EQ(WholeResource(*data), c.bytes);
    char byte;
    EXPECT_EQ(data->Read(data->size() + 10, &byte, 1), 0);
  }
}

TEST(DataResourcesTest, MissingNameIsResourceNameNotFound) {
  platform::SetLastError(0);
  EXPECT_FALSE(platform::FindDataResource(u"Absent.rtf"));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorResourceNameNotFound);
}

TEST(DataResourcesTest, ListNamesTheResourcesInUpperCase) {
  std::vector<String> names = platform::ListDataResources();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<String>{u"EMPTY.DAT", u"SETUP.BIN", u"WELCOME.RTF"}));
}

TEST(DataResourcesTest, AnotherModuleAndBackToTheRunningOne) {
  // A PE file without data resources: nothing is found in it.
  ASSERT_TRUE(platform::SetResourceModule(platform::FromNativePath(KELVARO_PE_FIXTURES "/neutral.dll")))
      << "error " << platform::GetLastError();
  EXPECT_FALSE(platform::FindDataResource(u"Welcome.rtf"));
  EXPECT_TRUE(platform::ListDataResources().empty());
  // A module that cannot be loaded leaves the current one in place.
  EXPECT_FALSE(platform::SetResourceModule(u"C:\\kelvaro-absent\\update.exe"));
  EXPECT_FALSE(platform::FindDataResource(u"Welcome.rtf"));
  ASSERT_TRUE(platform::SetResourceModule(u""));
  EXPECT_TRUE(platform::FindDataResource(u"Welcome.rtf"));
}

}  // namespace
