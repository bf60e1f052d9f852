// What the layer reads from the prefix's registry: Windows version, computer
// and user names, the temporary folder, and the French system texts.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>

#include "fixtures/temp_prefix.h"
#include "platform/files.h"
#include "platform/prefix/host_text.h"
#include "platform/system.h"

namespace {

using platform::String;
using platform::prefix::HostText;
using platform::prefix::WindowsText;

constexpr const char* kSystemHeader = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n";
constexpr const char* kUserHeader =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n";

void Rewrite(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string UnixUser() { return getpwuid(geteuid())->pw_name; }

TEST(WineSettingsTest, WindowsVersionFromCurrentVersion) {
  const std::string key = "\n[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion] 1796862791\n";
  const struct {
    const char* what;
    std::string values;
    uint32_t major, minor, build;
  } cases[] = {
      {"dwords win over the string", key + "\"CurrentBuildNumber\"=\"19045\"\n\"CurrentMajorVersionNumber\"=dword:0000000a\n"
                                          "\"CurrentMinorVersionNumber\"=dword:00000000\n\"CurrentVersion\"=\"6.3\"\n", 10, 0, 19045},
      {"a new prefix says Windows 7", key + "\"CurrentBuildNumber\"=\"7601\"\n\"CurrentVersion\"=\"6.1\"\n", 6, 1, 7601},
      {"back to win7 after win10", key + "\"CurrentMajorVersionNumber\"=dword:00000006\n\"CurrentMinorVersionNumber\"=dword:00000001\n"
                                        "\"CurrentVersion\"=\"6.1\"\n", 6, 1, 0},
      {"an unreadable string", key + "\"CurrentVersion\"=\"seven\"\n", 10, 0, 0},
      {"no key at all", "", 10, 0, 0},
  };
  for (const auto& c : cases) {
    fixtures::TempPrefix prefix;
    Rewrite(prefix.root() + "/system.reg", kSystemHeader + c.values);
    const platform::WindowsVersion version = platform::GetWindowsVersion();
    EXPECT_EQ(version.major, c.major) << c.what;
    EXPECT_EQ(version.minor, c.minor) << c.what;
    EXPECT_EQ(version.build, c.build) << c.what;
    EXPECT_TRUE(version.ntFamily);
  }
}

TEST(WineSettingsTest, ComputerNameFromTheRegistryOrTheHost) {
  {
    fixtures::TempPrefix prefix;
    String name;
    ASSERT_TRUE(platform::GetComputerName(&name));
    EXPECT_EQ(name, u"POSTE-TEST");
  }
  {
    fixtures::TempPrefix prefix;
    Rewrite(prefix.root() + "/system.reg", std::string(kSystemHeader) +
        "\n[System\\\\CurrentControlSet\\\\Control\\\\ComputerName\\\\ComputerName] 1796862791\n"
        "\"ComputerName\"=\"POSTE-COMPTABILITE-2\"\n");
    String name;
    ASSERT_TRUE(platform::GetComputerName(&name));
    EXPECT_EQ(name, u"POSTE-COMPTABIL");
  }
  {
    fixtures::TempPrefix prefix;
    Rewrite(prefix.root() + "/system.reg", kSystemHeader);
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::string expected = std::string(host).substr(0, std::string(host).find('.'));
    for (char& c : expected) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    String name;
    ASSERT_TRUE(platform::GetComputerName(&name));
    EXPECT_EQ(HostText(name), expected.substr(0, 15));
  }
}

TEST(WineSettingsTest, UserNameFromTheRegistryOrTheUnixUser) {
  {
    fixtures::TempPrefix prefix;
    Rewrite(prefix.root() + "/user.reg", std::string(kUserHeader) +
        "\n[Volatile Environment] 1796862791\n\"USERNAME\"=\"Fran\\xe7oise\"\n");
    String name;
    ASSERT_TRUE(platform::GetUserName(&name));
    EXPECT_EQ(name, u"Françoise");
  }
  {
    fixtures::TempPrefix prefix;
    Rewrite(prefix.root() + "/user.reg", kUserHeader);
    String name;
    ASSERT_TRUE(platform::GetUserName(&name));
    EXPECT_EQ(HostText(name), UnixUser());
  }
}

TEST(WineSettingsTest, TemporaryFolderFromTempExpandedAndCreated) {
  const String user = WindowsText(UnixUser());
  const struct {
    const char* what;
    std::string environment;
    String expected;
  } cases[] = {
      {"as wineboot writes it", "\"TEMP\"=str(2):\"C:\\\\users\\\\" + UnixUser() + "\\\\Temp\"\n",
       u"C:\\users\\" + user + u"\\Temp\\"},
      {"with variables", "\"TEMP\"=str(2):\"%USERPROFILE%\\\\AppData\\\\Local\\\\Temp\"\n",
       u"C:\\users\\" + user + u"\\AppData\\Local\\Temp\\"},
      {"unknown variables stay", "\"TEMP\"=str(2):\"C:\\\\%NOPE%\\\\x\"\n", u"C:\\%NOPE%\\x\\"},
      {"trailing backslash kept single", "\"TEMP\"=\"C:\\\\Tmp\\\\\"\n", u"C:\\Tmp\\"},
      {"absent", "", u"C:\\users\\" + user + u"\\Temp\\"},
  };
  for (const auto& c : cases) {
    fixtures::TempPrefix prefix;
    std::filesystem::remove_all(prefix.driveC() + "/users");
    Rewrite(prefix.root() + "/user.reg",
            std::string(kUserHeader) + "\n[Environment] 1796862791\n" + c.environment);
    const String temp = platform::GetTempPath();
    EXPECT_EQ(temp, c.expected) << c.what;
    EXPECT_TRUE(platform::DirectoryExists(temp)) << c.what;
  }
}

TEST(WineSettingsTest, EveryProcessOfThisMachineIsInTheConsoleSession) {
  uint32_t session = 0;
  ASSERT_TRUE(platform::ProcessIdToSessionId(platform::GetCurrentProcessId(), &session));
  EXPECT_EQ(session, 1u);
  ASSERT_TRUE(platform::ProcessIdToSessionId(1, &session));  // init, another process
  EXPECT_EQ(session, 1u);
  EXPECT_FALSE(platform::ProcessIdToSessionId(0xFFFFFFF0u, &session));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidParameter);
}

TEST(WineSettingsTest, SystemTextsAreTheFrenchOnes) {
  const struct {
    uint32_t code;
    String text;
  } cases[] = {
      {2, u"Le fichier spécifié est introuvable.\r\n"},
      {3, u"Le chemin d’accès spécifié est introuvable.\r\n"},
      {5, u"Accès refusé.\r\n"},
      {32, u"Le processus ne peut pas accéder au fichier car ce fichier est utilisé par un autre processus.\r\n"},
      {80, u"Le fichier existe.\r\n"},
      {112, u"Espace insuffisant sur le disque.\r\n"},
      {145, u"Le répertoire n’est pas vide.\r\n"},
      {183, u"Impossible de créer un fichier déjà existant.\r\n"},
      {1814, u"Le nom de ressource spécifié est introuvable dans le fichier image.\r\n"},
      {99999, u""},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::FormatSystemMessage(c.code), c.text) << c.code;
  for (uint32_t code : {8u, 13u, 21u, 29u, 30u, 33u, 39u, 87u, 122u, 123u, 206u, 1245u, 1009u, 1015u, 1018u, 1812u, 1813u}) {
    const String text = platform::FormatSystemMessage(code);
    ASSERT_GT(text.size(), 2u) << code;
    EXPECT_EQ(text.substr(text.size() - 2), u"\r\n") << code;
  }
}

}  // namespace
