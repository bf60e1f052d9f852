// What a writer killed part-way leaves, its temporary file beside the file
// it was replacing or beside the registry files, goes at the next write
// there; the temporary file of a writer still at work stays.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "fixtures/temp_prefix.h"
#include "platform/files.h"
#include "platform/registry.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Temporaries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("~kvtmp", 0) == 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A child that has begun to replace path and stays at it until killed.
std::unique_ptr<prefixtests::ChildProcess> WriterAtWork(const platform::String& path) {
  return std::make_unique<prefixtests::ChildProcess>([path] {
    auto* writer = new platform::FileWriter;  // open until the child dies
    if (!writer->Open(path) || !writer->Write("part", 4)) _exit(1);
  });
}

TEST(AbandonedTemporaryTest, TheNextReplacementInTheFolderRemovesAKilledWritersFile) {
  fixtures::TempPrefix prefix;
  prefix.writeFile("C:\\Prog\\WKTorvida2.dll", "old");
  prefix.writeFile("C:\\Prog\\Torvida.chm", "help");
  const std::string folder = prefix.hostPath("C:\\Prog");
  auto atWork = WriterAtWork(u"C:\\Prog\\Torvida.chm");
  const std::vector<std::string> ofTheLiveWriter = Temporaries(folder);
  ASSERT_EQ(ofTheLiveWriter.size(), 1u);
  WriterAtWork(u"C:\\Prog\\WKTorvida2.dll")->kill();
  ASSERT_EQ(Temporaries(folder).size(), 2u);

  ASSERT_TRUE(platform::CopyFile(u"C:\\Prog\\Torvida.chm", u"C:\\Prog\\WKTorvida2.dll", false));
  EXPECT_EQ(Temporaries(folder), ofTheLiveWriter);
  EXPECT_EQ(prefix.readFile("C:\\Prog\\WKTorvida2.dll"), "help");

  atWork->kill();
  ASSERT_TRUE(platform::WriteFileContents(u"C:\\Prog\\WKTorvida2.dll", "new"));
  EXPECT_TRUE(Temporaries(folder).empty());
  EXPECT_EQ(prefix.readFile("C:\\Prog\\Torvida.chm"), "help");
}

// Only names this layer makes are taken for its leftovers: a Windows
// program's temporary in the same folder ("~kvtmp<pid>-<n>", its process id
// not one of this host's) and files merely starting alike stay.
TEST(AbandonedTemporaryTest, NamesOfOtherWritersStay) {
  fixtures::TempPrefix prefix;
  prefix.writeFile("C:\\Prog\\WKTorvida2.dll", "old");
  const std::string folder = prefix.hostPath("C:\\Prog");
  WriterAtWork(u"C:\\Prog\\WKTorvida2.dll")->kill();
  const std::vector<std::string> others = {"~kvtmp-notes.txt", "~kvtmp999999-3", "~kvtmp999999-3-0000abcd.bak"};
  for (const std::string& name : others) std::ofstream(folder + "/" + name) << "kept";
  ASSERT_EQ(Temporaries(folder).size(), others.size() + 1);

  ASSERT_TRUE(platform::WriteFileContents(u"C:\\Prog\\WKTorvida2.dll", "new"));
  std::vector<std::string> expected = others;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Temporaries(folder), expected);
}

TEST(AbandonedTemporaryTest, TheNextRegistryWriteRemovesWhatAKilledSaveLeft) {
  fixtures::TempPrefix prefix;
  // The name a save killed between its temporary file and the rename
  // leaves; only writers holding the registry lock make such files.
  std::ofstream(prefix.root() + "/~kvtmp-user.reg-x4Tq9Z") << "WINE REGISTRY Version 2\n[Softw";
  const std::string kept = prefix.root() + "/~kvtmp-notes.txt";
  std::ofstream(kept) << "not a registry file's";

  platform::RegistryKey key;
  ASSERT_EQ(platform::RegCreateKey(platform::RegistryRoot::CurrentUser, u"Software\\KELVARO S.A.\\Torvida",
                                   platform::kKeyAllAccess, &key),
            platform::kErrorSuccess);
  ASSERT_EQ(platform::RegSetValue(key, u"Version", platform::kRegSz, platform::RegistryStringData(u"2")),
            platform::kErrorSuccess);
  EXPECT_EQ(Temporaries(prefix.root()), std::vector<std::string>{"~kvtmp-notes.txt"});
}

}  // namespace
