// A prefix that belongs to a workstation user, written by a process run as
// root (an administrator's roll-out): every file and folder the layer writes
// stays that user's, and the layer tells the prefix is not the caller's.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "fixtures/temp_prefix.h"
#include "fixtures/test_user.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace {

namespace fs = std::filesystem;
using fixtures::Ownership;
using fixtures::OwnershipOf;

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  stat(path.c_str(), &status);
  return status.st_mode & 07777;
}

class ForeignPrefixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!user_.available()) GTEST_SKIP() << user_.whyNot();
    // Files the workstation user made, with permissions of their own.
    prefix_.writeFile("C:\\WKelvaro\\Programs\\lib.dll", "old library");
    prefix_.writeFile("C:\\WKelvaro\\multiste.txt", "Default\r\n");
    ASSERT_TRUE(user_.giveTree(prefix_.root()));
    ASSERT_EQ(chmod(prefix_.hostPath("C:\\WKelvaro\\Programs\\lib.dll").c_str(), 0664), 0);
    ASSERT_EQ(chmod(prefix_.hostPath("C:\\WKelvaro\\multiste.txt").c_str(), 0660), 0);
    ASSERT_EQ(chmod((prefix_.root() + "/user.reg").c_str(), 0600), 0);
    // What root brings along: a file of its own, outside the prefix's folders.
    prefix_.writeFile("C:\\carried.dll", "new library");
    ASSERT_EQ(chown(prefix_.hostPath("C:\\carried.dll").c_str(), 0, 0), 0);
    ASSERT_EQ(chmod(prefix_.hostPath("C:\\carried.dll").c_str(), 0644), 0);
  }

  Ownership user() const { return {user_.uid(), user_.gid()}; }

  fixtures::TestUser user_;
  fixtures::TempPrefix prefix_;
};

TEST_F(ForeignPrefixTest, TheLayerTellsWhoOwnsThePrefix) {
  platform::InstallationOwnership ownership = platform::GetInstallationOwnership();
  EXPECT_FALSE(ownership.ours);
  EXPECT_EQ(ownership.owner, std::u16string(user_.name().begin(), user_.name().end()));
  EXPECT_EQ(ownership.location, std::u16string(prefix_.root().begin(), prefix_.root().end()));

  ASSERT_EQ(lchown(prefix_.root().c_str(), geteuid(), getegid()), 0);
  EXPECT_TRUE(platform::GetInstallationOwnership().ours);
  fs::remove_all(prefix_.root());
  EXPECT_TRUE(platform::GetInstallationOwnership().ours) << "a prefix yet to be made belongs to nobody";
}

TEST_F(ForeignPrefixTest, ReplacedFilesKeepTheirOwnerAndPermissions) {
  struct Case {
    const char* what;
    std::string target;  // Windows path of the file replaced
    std::function<bool()> write;
    mode_t mode;  // expected afterwards
  };
  const std::vector<Case> cases = {
      {"copy over the library", "C:\\WKelvaro\\Programs\\lib.dll",
       [] { return platform::CopyFile(u"C:\\carried.dll", u"C:\\WKelvaro\\Programs\\lib.dll", false); }, 0664},
      {"whole write of the company file", "C:\\WKelvaro\\multiste.txt",
       [] { return platform::WriteFileContents(u"C:\\WKelvaro\\multiste.txt", "Default\r\nNouvelle\r\n"); }, 0660},
      {"file written front to back", "C:\\WKelvaro\\Programs\\lib.dll",
       [] {
         platform::FileWriter writer;
         return writer.Open(u"C:\\WKelvaro\\Programs\\lib.dll") && writer.Write("streamed", 8) && writer.Commit();
       },
       0664},
      {"move over the library", "C:\\WKelvaro\\Programs\\lib.dll",
       [this] {
         prefix_.writeFile("C:\\moved.dll", "moved");
         return platform::MoveFileReplace(u"C:\\moved.dll", u"C:\\WKelvaro\\Programs\\lib.dll");
       },
       0644},  // a rename carries the source's permissions, as MoveFileExW does
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(c.write()) << platform::GetLastError();
    const std::string host = prefix_.hostPath(c.target);
    EXPECT_EQ(OwnershipOf(host), user());
    EXPECT_EQ(ModeOf(host), c.mode);
  }
}

TEST_F(ForeignPrefixTest, NewFilesAndFoldersTakeTheirFolderOwner) {
  ASSERT_TRUE(platform::CreateDirectoryTree(u"C:\\WKelvaro\\Images07\\Sous"));
  ASSERT_TRUE(platform::CopyFile(u"C:\\carried.dll", u"C:\\WKelvaro\\Programs\\new.dll", false));
  ASSERT_TRUE(platform::WriteFileContents(u"C:\\WKelvaro\\Images07\\Sous\\new.txt", "text"));
  // The temporary folder comes back, as the user's, when it has gone.
  fs::remove_all(prefix_.driveC() + "/users");
  const platform::String temp = platform::GetTempPath();
  for (const char* path : {"C:\\WKelvaro\\Images07", "C:\\WKelvaro\\Images07\\Sous", "C:\\WKelvaro\\Programs\\new.dll",
                           "C:\\WKelvaro\\Images07\\Sous\\new.txt"}) {
    EXPECT_EQ(OwnershipOf(prefix_.hostPath(path)), user()) << path;
  }
  EXPECT_EQ(OwnershipOf(platform::ToNativePath(temp)), user());
  EXPECT_EQ(OwnershipOf(prefix_.driveC() + "/users"), user());
  EXPECT_EQ(ModeOf(prefix_.hostPath("C:\\WKelvaro\\Programs\\new.dll")), 0644u) << "a new copy has the source's";
}

TEST_F(ForeignPrefixTest, RegistryFilesStayTheUsers) {
  platform::RegistryKey key;
  ASSERT_EQ(platform::RegCreateKey(platform::RegistryRoot::CurrentUser, u"Software\\KELVARO S.A.\\Torvida\\Program",
                                   platform::kKeyAllAccess, &key),
            platform::kErrorSuccess);
  ASSERT_EQ(platform::RegSetValue(key, u"Filename", platform::kRegSz, platform::RegistryStringData(u"C:\\x.dll")),
            platform::kErrorSuccess);
  // system.reg did not exist: made new, it is the prefix's owner's too.
  fs::remove(prefix_.root() + "/system.reg");
  platform::RegistryKey machine;
  ASSERT_EQ(platform::RegCreateKey(platform::RegistryRoot::LocalMachine, u"Software\\KELVARO S.A.", platform::kKeyAllAccess,
                                   &machine),
            platform::kErrorSuccess);
  EXPECT_EQ(OwnershipOf(prefix_.root() + "/user.reg"), user());
  EXPECT_EQ(ModeOf(prefix_.root() + "/user.reg"), 0600u);
  EXPECT_EQ(OwnershipOf(prefix_.root() + "/system.reg"), user());
  EXPECT_EQ(OwnershipOf(prefix_.root() + "/.kelvaro-registry.lock"), user());
}

}  // namespace
