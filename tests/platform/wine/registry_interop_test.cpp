// The registry layer and the real Wine on one prefix made by wineboot: what
// Wine writes the layer reads, what the layer writes Wine reads (and saves
// back without losing it), accented names both ways, and the refusal to
// write while a wineserver owns the files.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/prefix/registry_wineserver.h"
#include "platform/registry.h"

namespace {

using namespace platform;
namespace fs = std::filesystem;

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

// Ends the prefix's server, so that it has saved the registry and no longer
// owns the files.
void StopServer() {
  Shell("wineserver -k");
  Shell("wineserver -w");
}

std::string Utf8(const String& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size()) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (c < 0x80) out.push_back(char(c));
    else if (c < 0x800) out += {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
    else if (c < 0x10000) out += {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
    else out += {char(0xF0 | (c >> 18)), char(0x80 | ((c >> 12) & 0x3F)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
  }
  return out;
}

// A file `reg export` wrote: UTF-16LE with a byte order mark, CR LF.
std::string ReadExport(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  const std::string bytes = s.str();
  String text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    text.push_back(char16_t(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  std::string out = Utf8(text);
  std::string lf;
  for (char c : out)
    if (c != '\r') lf.push_back(c);
  return lf;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Removes the key at path under HKCU with everything below it.
void DeleteTree(const String& path) {
  RegistryKey key;
  if (RegOpenKey(RegistryRoot::CurrentUser, path, kKeyAllAccess, &key) != kErrorSuccess) return;
  std::vector<String> children;
  String child;
  while (RegEnumKey(key, static_cast<uint32_t>(children.size()), &child) == kErrorSuccess) children.push_back(child);
  for (const String& name : children) DeleteTree(path + u"\\" + name);
  const size_t cut = path.rfind(u'\\');
  RegistryKey parent;
  if (RegOpenKey(RegistryRoot::CurrentUser, path.substr(0, cut), kKeyAllAccess, &parent) == kErrorSuccess)
    RegDeleteKey(parent, path.substr(cut + 1));
}

const String kBase = u"Software\\KelvaroInterop";

class RegistryInteropTest : public ::testing::Test {
 protected:
  // The prefix is made once and kept between runs: each case starts
  // without what an earlier run wrote under kBase, so that it sees only
  // what it writes itself.
  void SetUp() override {
    const char* prefix = std::getenv("KELVARO_WINE_PREFIX");
    if (!prefix || !*prefix) GTEST_SKIP() << "KELVARO_WINE_PREFIX names no prefix made by wineboot";
    prefix_ = prefix;
    setenv("WINEPREFIX", prefix, 1);
    setenv("WINEDEBUG", "-all", 1);
    StopServer();
    DeleteTree(kBase);
  }
  void TearDown() override {
    if (!prefix_.empty()) StopServer();
  }

  std::string prefix_;
};

TEST_F(RegistryInteropTest, WhatWineWritesTheLayerReads) {
  const std::string key = "HKCU\\Software\\KelvaroInterop\\De Wine\\Clé été";
  ASSERT_EQ(Shell("wine reg add '" + key + "' /v Texte /t REG_SZ /d 'Société Générale 12 €' /f"), 0);
  ASSERT_EQ(Shell("wine reg add '" + key + "' /v Nombre /t REG_DWORD /d 1234 /f"), 0);
  ASSERT_EQ(Shell("wine reg add '" + key + "' /v Chemin /t REG_EXPAND_SZ /d '%TEMP%\\Données' /f"), 0);
  ASSERT_EQ(Shell("wine reg add '" + key + "' /ve /d 'défaut' /f"), 0);
  StopServer();

  RegistryKey opened;
  ASSERT_EQ(RegOpenKey(RegistryRoot::CurrentUser, kBase + u"\\de wine\\CLÉ ÉTÉ", kKeyRead, &opened), kErrorSuccess);
  struct Case {
    String name;
    uint32_t type;
    std::string data;
  };
  const std::vector<Case> cases = {
      {u"Texte", kRegSz, RegistryStringData(u"Société Générale 12 €")},
      {u"Nombre", kRegDword, RegistryDwordData(1234)},
      {u"Chemin", kRegExpandSz, RegistryStringData(u"%TEMP%\\Données")},
      {u"", kRegSz, RegistryStringData(u"défaut")},
  };
  for (const Case& c : cases) {
    RegistryValue value;
    ASSERT_EQ(RegQueryValue(opened, c.name, &value), kErrorSuccess) << Utf8(c.name);
    EXPECT_EQ(value.type, c.type) << Utf8(c.name);
    EXPECT_EQ(RegistryDataString(value.data), RegistryDataString(c.data)) << Utf8(c.name);
    EXPECT_EQ(value.data, c.data) << Utf8(c.name);
  }
  // The machine's own keys, as wineboot wrote them, read as well.
  RegistryKey machine;
  EXPECT_EQ(RegOpenKey(RegistryRoot::LocalMachine, u"Software\\Microsoft\\Windows NT\\CurrentVersion", kKeyRead, &machine),
            kErrorSuccess);
  RegistryValue version;
  EXPECT_EQ(RegQueryValue(machine, u"CurrentVersion", &version), kErrorSuccess);
}

TEST_F(RegistryInteropTest, WhatTheLayerWritesWineReadsAndSavesBack) {
  const String path = kBase + u"\\De nous\\Données €";
  std::string binary;
  for (int i = 0; i < 300; ++i) binary.push_back(char(i * 7));
  {
    RegistryKey key;
    ASSERT_EQ(RegCreateKey(RegistryRoot::CurrentUser, path, kKeyAllAccess, &key), kErrorSuccess);
    ASSERT_EQ(RegSetValue(key, u"Texte", kRegSz, RegistryStringData(u"Zoë paie 12 € \"cité\"")), kErrorSuccess);
    ASSERT_EQ(RegSetValue(key, u"Nombre", kRegDword, RegistryDwordData(1234)), kErrorSuccess);
    ASSERT_EQ(RegSetValue(key, u"Chemin", kRegExpandSz, RegistryStringData(u"%TEMP%\\été")), kErrorSuccess);
    ASSERT_EQ(RegSetValue(key, u"Binaire", kRegBinary, binary), kErrorSuccess);
    ASSERT_EQ(RegSetValue(key, u"Multi", kRegMultiSz, std::string("u\0n\0\0\0d\0\xe9\0\0\0\0\0", 14)), kErrorSuccess);
  }
  // Wine reads the file: its export is UTF-16, so every character is exact.
  const std::string exported = prefix_ + "/kelvaro-export.reg";
  ASSERT_EQ(Shell("wine reg export 'HKCU\\Software\\KelvaroInterop\\De nous' '" + exported + "' /y"), 0);
  // reg export wraps long hex lines: join them to compare.
  std::string text = ReadExport(exported);
  for (size_t at; (at = text.find("\\\n  ")) != std::string::npos;) text.erase(at, 4);
  fs::remove(exported);
  for (const char* line : {"[HKEY_CURRENT_USER\\Software\\KelvaroInterop\\De nous\\Données €]\n",
                           "\"Texte\"=\"Zoë paie 12 € \\\"cité\\\"\"\n", "\"Nombre\"=dword:000004d2\n",
                           "\"Chemin\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,5c,00,e9,00,74,00,e9,00,00,00\n",
                           "\"Multi\"=hex(7):75,00,6e,00,00,00,64,00,e9,00,00,00,00,00\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  }
  // Wine changes something else and saves the whole file: ours survives.
  ASSERT_EQ(Shell("wine reg add 'HKCU\\Software\\KelvaroInterop\\Autre' /v x /d y /f"), 0);
  StopServer();
  RegistryKey key;
  ASSERT_EQ(RegOpenKey(RegistryRoot::CurrentUser, path, kKeyRead, &key), kErrorSuccess);
  RegistryValue value;
  ASSERT_EQ(RegQueryValue(key, u"Binaire", &value), kErrorSuccess);
  EXPECT_EQ(value.data, binary);
  ASSERT_EQ(RegQueryValue(key, u"Texte", &value), kErrorSuccess);
  EXPECT_EQ(RegistryDataString(value.data), u"Zoë paie 12 € \"cité\"");
  RegistryKey other;
  EXPECT_EQ(RegOpenKey(RegistryRoot::CurrentUser, kBase + u"\\Autre", kKeyRead, &other), kErrorSuccess);
}

// Wine's answer for empty path components, which the layer follows: a
// doubled backslash counts as one and a trailing one is dropped.
TEST_F(RegistryInteropTest, EmptyPathComponentsNameTheSameKeyInWine) {
  ASSERT_EQ(Shell("wine reg add 'HKCU\\Software\\KelvaroInterop\\Double\\\\B' /f"), 0);
  ASSERT_EQ(Shell("wine reg add 'HKCU\\Software\\KelvaroInterop\\Trailing\\' /f"), 0);
  StopServer();
  for (const String& path : {kBase + u"\\Double\\B", kBase + u"\\Double\\\\B", kBase + u"\\Trailing"}) {
    RegistryKey key;
    EXPECT_EQ(RegOpenKey(RegistryRoot::CurrentUser, path, kKeyRead, &key), kErrorSuccess) << Utf8(path);
  }
  RegistryKey parent;
  ASSERT_EQ(RegOpenKey(RegistryRoot::CurrentUser, kBase + u"\\Double", kKeyRead, &parent), kErrorSuccess);
  String name;
  ASSERT_EQ(RegEnumKey(parent, 0, &name), kErrorSuccess);
  EXPECT_EQ(name, u"B");
  EXPECT_EQ(RegEnumKey(parent, 1, &name), kErrorNoMoreItems);
}

// Runs command and gives its standard output.
std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

bool ServerSeen(const std::string& prefix) {
  for (int i = 0; i < 100; ++i) {
    if (prefix::WineserverRunning(prefix)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// A server that stays (a program left open, here wineserver -p) gets the
// change through Wine's registry tool: Wine has it at once, the layer reads
// it back at once, and it is in the file once Wine has saved.
TEST_F(RegistryInteropTest, WritesBesideARunningWineserverGoThroughWine) {
  ASSERT_EQ(Shell("wineserver -p"), 0);
  ASSERT_TRUE(ServerSeen(prefix_)) << "no server seen in " << prefix::WineserverFolders(prefix_).back();
  RegistryKey key;
  ASSERT_EQ(RegCreateKey(RegistryRoot::CurrentUser, kBase + u"\\Serveur", kKeyAllAccess, &key), kErrorSuccess);
  ASSERT_EQ(RegSetValue(key, u"Filename", kRegSz, RegistryStringData(u"C:\\WKelvaro\\Programs\\été.dll")),
            kErrorSuccess)
      << Utf8(RegistryRefusalReason());
  ASSERT_EQ(RegSetValue(key, u"Build", kRegDword, RegistryDwordData(1234)), kErrorSuccess)
      << Utf8(RegistryRefusalReason());
  RegistryValue value;
  ASSERT_EQ(RegQueryValue(key, u"Filename", &value), kErrorSuccess);
  EXPECT_EQ(RegistryDataString(value.data), u"C:\\WKelvaro\\Programs\\été.dll");
  EXPECT_TRUE(prefix::WineserverRunning(prefix_)) << "the server was left running";
  const std::string live = Output("wine reg query 'HKCU\\Software\\KelvaroInterop\\Serveur' /v Build 2>/dev/null");
  EXPECT_NE(live.find("0x4d2"), std::string::npos) << live;
  // The quote and backslash of the text handed to Wine's tool, and a
  // character outside Windows-1252, in a value's name and data: Wine holds
  // them exactly as written (its export is UTF-16, every character exact).
  const String trickyName = u"Nom \"cité\" \\ ł";
  const String trickyData = u"C:\\Données\\\"ł\"\\";
  ASSERT_EQ(RegSetValue(key, trickyName, kRegSz, RegistryStringData(trickyData)), kErrorSuccess)
      << Utf8(RegistryRefusalReason());
  const std::string exported = prefix_ + "/kelvaro-export.reg";
  ASSERT_EQ(Shell("wine reg export 'HKCU\\Software\\KelvaroInterop\\Serveur' '" + exported + "' /y"), 0);
  const std::string liveText = ReadExport(exported);
  fs::remove(exported);
  EXPECT_NE(liveText.find("\"Nom \\\"cité\\\" \\\\ ł\"=\"C:\\\\Données\\\\\\\"ł\\\"\\\\\"\n"), std::string::npos)
      << liveText;

  StopServer();
  ASSERT_EQ(RegQueryValue(key, trickyName, &value), kErrorSuccess);
  EXPECT_EQ(value.type, kRegSz);
  EXPECT_EQ(RegistryDataString(value.data), trickyData);
  const std::string saved = ReadText(prefix_ + "/user.reg");
  EXPECT_NE(saved.find("\"Filename\"=\"C:\\\\WKelvaro\\\\Programs\\\\\\xe9t\\xe9.dll\""), std::string::npos);
  ASSERT_EQ(RegQueryValue(key, u"Build", &value), kErrorSuccess);
  EXPECT_EQ(RegistryDataDword(value.data), 1234u);
}

// A server that only lingers after its last program is waited for, and the
// file is written directly once it has gone.
TEST_F(RegistryInteropTest, ALingeringWineserverIsWaitedFor) {
  RegistryKey key;
  ASSERT_EQ(RegCreateKey(RegistryRoot::CurrentUser, kBase + u"\\Attente", kKeyAllAccess, &key), kErrorSuccess);
  ASSERT_EQ(Shell("wine reg query 'HKCU\\Environment'"), 0);
  ASSERT_TRUE(ServerSeen(prefix_));
  ASSERT_EQ(RegSetValue(key, u"v", kRegDword, RegistryDwordData(7)), kErrorSuccess);
  EXPECT_FALSE(prefix::WineserverRunning(prefix_));
  EXPECT_NE(ReadText(prefix_ + "/user.reg").find("\"v\"=dword:00000007"), std::string::npos);
}

}  // namespace
