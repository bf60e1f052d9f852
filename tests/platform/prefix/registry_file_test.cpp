// The registry files of the prefix themselves: what the writer keeps, where
// it puts new keys, how it spells values, what it refuses, and how the cache
// follows changes made by other processes.
#include <fcntl.h>
#include <time.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/fake_wineserver.h"
#include "fixtures/temp_prefix.h"
#include "platform/prefix/registry_wineserver.h"
#include "platform/registry.h"

namespace {

using namespace platform;
namespace fs = std::filesystem;

std::string ReadHost(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteHost(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << path;
}

std::string Utf8(const String& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size()) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (c < 0x80) {
      out.push_back(char(c));
    } else if (c < 0x800) {
      out += {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
      out += {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
    } else {
      out += {char(0xF0 | (c >> 18)), char(0x80 | ((c >> 12) & 0x3F)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
    }
  }
  return out;
}

const char kHeader[] =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n"
    "#arch=win64\n";

// Key names of a file in the order they appear, as written (escapes undone
// only for the separators).
std::vector<std::string> KeyOrder(const std::string& text) {
  std::vector<std::string> keys;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] != '[') continue;
    std::string name = line.substr(1, line.find(']') - 1);
    for (size_t at; (at = name.find("\\\\")) != std::string::npos;) name.replace(at, 2, "\\");
    keys.push_back(name);
  }
  return keys;
}

std::vector<std::string> TempLeftovers(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().find("kvtmp") != std::string::npos) found.push_back(entry.path().string());
  return found;
}

class RegistryFileTest : public ::testing::Test {
 protected:
  std::string userReg() const { return prefix_.root() + "/user.reg"; }
  std::string systemReg() const { return prefix_.root() + "/system.reg"; }

  RegistryKey create(const String& path, RegistryRoot root = RegistryRoot::CurrentUser) {
    RegistryKey key;
    EXPECT_EQ(RegCreateKey(root, path, kKeyAllAccess, &key), kErrorSuccess) << Utf8(path);
    return key;
  }
  String queryString(const String& path, const String& name, RegistryRoot root = RegistryRoot::CurrentUser) {
    RegistryKey key;
    EXPECT_EQ(RegOpenKey(root, path, kKeyRead, &key), kErrorSuccess) << Utf8(path);
    RegistryValue value;
    EXPECT_EQ(RegQueryValue(key, name, &value), kErrorSuccess) << Utf8(name);
    return RegistryDataString(value.data);
  }

  fixtures::TempPrefix prefix_;
};

TEST_F(RegistryFileTest, UntouchedTextIsKeptByteForByte) {
  const std::string before = std::string(kHeader) +
      "#option=kept as written\n"
      "\n"
      "[Control Panel\\\\Desktop] 1700000000\n"
      "#time=1d9f0f0e0d0c0b0\n"
      "\"Wallpaper\"=\"\"\n"
      ";; a hand comment\n"
      "\"Odd spacing\"=dword:00000001   \n"
      "\n";
  const std::string torvida =
      "[Software\\\\KELVARO S.A.\\\\Torvida] 1700000001\n"
      "#time=1d9f0f0e0d0c0b1\n"
      "#class=\"Classe\"\n"
      "\"Bin\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\n"
      "  17,18\n"
      "\"Exp\"=hex(2):25,00,54,00,00,00\n"
      "\"Filename\"=\"C:\\\\Old\"\n"
      "\"Zed\"=str(7):\"a\\0b\\0\"\n"
      "\n";
  const std::string after =
      "[Software\\\\Wine] 1700000002\n"
      "#time=1d9f0f0e0d0c0b2\n"
      "\"Version\"=\"win10\"\n";
  WriteHost(userReg(), before + torvida + after);

  RegistryKey key = create(u"software\\kelvaro s.a.\\torvida");
  ASSERT_EQ(RegSetValue(key, u"FILENAME", kRegSz, RegistryStringData(u"C:\\New")), kErrorSuccess);

  std::string text = ReadHost(userReg());
  text = std::regex_replace(text, std::regex("(\\[Software\\\\\\\\KELVARO S\\.A\\.\\\\\\\\Torvida\\]) \\d+\n#time=[0-9a-f]+\n"),
                            "$1 T\n#time=T\n");
  // The changed key keeps its class, its untouched values as spelled (hex(2)
  // stays hex) and the name's case; only the changed value is new.
  const std::string expected = before +
      "[Software\\\\KELVARO S.A.\\\\Torvida] T\n"
      "#time=T\n"
      "#class=\"Classe\"\n"
      "\"Bin\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\n"
      "  17,18\n"
      "\"Exp\"=hex(2):25,00,54,00,00,00\n"
      "\"Filename\"=\"C:\\\\New\"\n"
      "\"Zed\"=str(7):\"a\\0b\\0\"\n"
      "\n" + after;
  EXPECT_EQ(text, expected);
}

// The seconds of the clock the layer stamps keys with. std::time reads a
// coarse clock that can still show the second before at a second's turn.
std::time_t RealtimeSeconds() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec;
}

TEST_F(RegistryFileTest, ChangedKeyGetsAFreshTimestampInBothForms) {
  const std::time_t start = RealtimeSeconds();
  RegistryKey key = create(u"Software\\Stamp");
  ASSERT_EQ(RegSetValue(key, u"v", kRegDword, RegistryDwordData(1)), kErrorSuccess);
  const std::time_t end = RealtimeSeconds();
  std::smatch m;
  const std::string text = ReadHost(userReg());
  ASSERT_TRUE(std::regex_search(text, m, std::regex("\\[Software\\\\\\\\Stamp\\] (\\d+)\n#time=([0-9a-f]+)\n\"v\"=dword:00000001\n")))
      << text;
  const uint64_t seconds = std::stoull(m[1]);
  const uint64_t filetime = std::stoull(m[2], nullptr, 16);
  EXPECT_GE(seconds, uint64_t(start));
  EXPECT_LE(seconds, uint64_t(end));
  EXPECT_EQ(filetime / 10000000 - kUnixEpochInFileTimeSeconds, seconds);
  // Keys the change did not touch keep their stamp.
  EXPECT_NE(text.find("[Environment] 1796862791\n#time=1dd883e092ec922\n"), std::string::npos);
}

TEST_F(RegistryFileTest, NewKeysGoWhereWineSortsThem) {
  struct Case {
    String create;
    std::vector<std::string> order;
  };
  const std::vector<Case> cases = {
      {u"Software\\B", {"Software\\A", "Software\\A\\Z", "Software\\B", "Software\\C", "System"}},
      {u"Software\\A\\M", {"Software\\A", "Software\\A\\M", "Software\\A\\Z", "Software\\C", "System"}},
      {u"Software\\a-x", {"Software\\A", "Software\\A\\Z", "Software\\a-x", "Software\\C", "System"}},
      {u"software\\c\\Sub", {"Software\\A", "Software\\A\\Z", "Software\\C", "software\\c\\Sub", "System"}},
      {u"Aaa", {"Aaa", "Software\\A", "Software\\A\\Z", "Software\\C", "System"}},
      {u"Zed", {"Software\\A", "Software\\A\\Z", "Software\\C", "System", "Zed"}},
      // New parents stay implicit, as in files Wine writes.
      {u"Software\\B\\X\\Y", {"Software\\A", "Software\\A\\Z", "Software\\B\\X\\Y", "Software\\C", "System"}},
  };
  const std::string file = std::string(kHeader) +
      "\n[Software\\\\A] 1700000000\n#time=1d9f0f0e0d0c0b0\n\"a\"=\"1\"\n"
      "\n[Software\\\\A\\\\Z] 1700000000\n#time=1d9f0f0e0d0c0b0\n"
      "\n[Software\\\\C] 1700000000\n#time=1d9f0f0e0d0c0b0\n"
      "\n[System] 1700000000\n#time=1d9f0f0e0d0c0b0\n";
  for (const Case& c : cases) {
    WriteHost(userReg(), file);
    create(c.create);
    const std::string text = ReadHost(userReg());
    EXPECT_EQ(KeyOrder(text), c.order) << Utf8(c.create) << "\n" << text;
    // Every key stays separated by one blank line.
    EXPECT_EQ(text.find("\n\n\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("]", text.find("#arch=win64\n\n[")), text.find("]", text.find("#arch=win64\n\n[")));
  }
}

TEST_F(RegistryFileTest, EscapesReadAndWrittenAsWineDoes) {
  struct Case {
    const char* inFile;   // as found in a file
    String text;          // what a reader gets
    const char* written;  // how the writer spells it back
  };
  const std::vector<Case> cases = {
      {"Soci\\xe9t\\xe9", u"Société", "Soci\\xe9t\\xe9"},
      {"\\x20ac1", u"€1", "\\x20ac1"},   // padded: a hex digit follows
      {"\\x20acz", u"€z", "\\x20acz"},
      {"\\x00e9a", u"éa", "\\x00e9a"},
      {"C:\\\\Temp\\\\", u"C:\\Temp\\", "C:\\\\Temp\\\\"},
      {"say \\\"hi\\\"", u"say \"hi\"", "say \\\"hi\\\""},
      {"a\\tb\\nc\\rd", u"a\tb\nc\rd", "a\\tb\\nc\\rd"},
      {"\\0015", u"\x0001" u"5", "\\0015"},  // octal padded before a digit
      {"\\1x", u"\x0001x", "\\1x"},
      {"\\e[0m", u"\x001b[0m", "\\e[0m"},
      {"\\xd83d\\xde00", u"\U0001F600", "\\xd83d\\xde00"},
      {"Caf\xc3\xa9", u"Café", "Caf\\xe9"},  // UTF-8 typed by hand
      {"Caf\xe9", u"Café", "Caf\\xe9"},      // a stray Latin-1 byte is kept, not dropped
  };
  std::string file = std::string(kHeader) + "\n[Escapes] 1700000000\n";
  for (size_t i = 0; i < cases.size(); ++i) file += "\"v" + std::to_string(i) + "\"=\"" + cases[i].inFile + "\"\n";
  WriteHost(userReg(), file);
  for (size_t i = 0; i < cases.size(); ++i) {
    const String name = u"v" + String(1, char16_t(u'0' + i / 10)) + String(1, char16_t(u'0' + i % 10));
    EXPECT_EQ(queryString(u"Escapes", i < 10 ? u"v" + String(1, char16_t(u'0' + i)) : name), cases[i].text) << cases[i].inFile;
  }
  RegistryKey key = create(u"Written");
  for (size_t i = 0; i < cases.size(); ++i)
    ASSERT_EQ(RegSetValue(key, u"w" + String(1, char16_t(u'a' + i)), kRegSz, RegistryStringData(cases[i].text)), kErrorSuccess);
  const std::string text = ReadHost(userReg());
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string line = std::string("\n\"w") + char('a' + i) + "\"=\"" + cases[i].written + "\"\n";
    EXPECT_NE(text.find(line), std::string::npos) << cases[i].written;
  }
}

TEST_F(RegistryFileTest, ValuesAreWrittenInWineForm) {
  struct Case {
    String name;
    uint32_t type;
    std::string data;
    const char* line;
  };
  std::string thirty;
  for (int i = 0; i < 30; ++i) thirty.push_back(char(i));
  const std::vector<Case> cases = {
      {u"a", kRegDword, RegistryDwordData(1234), "\"a\"=dword:000004d2\n"},
      {u"b", kRegExpandSz, RegistryStringData(u"%TEMP%\\x"), "\"b\"=str(2):\"%TEMP%\\\\x\"\n"},
      {u"c", kRegMultiSz, std::string("o\0n\0e\0\0\0t\0w\0o\0\0\0\0\0", 18), "\"c\"=str(7):\"one\\0two\\0\"\n"},
      {u"d", kRegBinary, thirty,
       "\"d\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\n"
       "  17,18,19,1a,1b,1c,1d\n"},
      {u"e", kRegQword, std::string("\x01\0\0\0\0\0\0\x80", 8), "\"e\"=hex(b):01,00,00,00,00,00,00,80\n"},
      {u"f", kRegSz, std::string("a\0b", 3), "\"f\"=hex(1):61,00,62\n"},
      {u"g", kRegDword, std::string("\x01\x02", 2), "\"g\"=hex(4):01,02\n"},
      {u"", kRegSz, RegistryStringData(u"défaut"), "@=\"d\\x00e9faut\"\n"},  // 'f' is a hex digit
      {u"h", kRegBinary, "", "\"h\"=hex:\n"},
  };
  RegistryKey key = create(u"Forms");
  for (const Case& c : cases) ASSERT_EQ(RegSetValue(key, c.name, c.type, c.data), kErrorSuccess);
  const std::string text = ReadHost(userReg());
  for (const Case& c : cases) EXPECT_NE(text.find(c.line), std::string::npos) << c.line << "\n" << text;
}

TEST_F(RegistryFileTest, AMalformedFileFailsWithItsLineAndIsNeverWritten) {
  struct Case {
    std::string bad;  // appended after line 7
    uint32_t line;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"[Software\\\\Bad 1700000000\n", 8, "ligne de clé non terminée (« ] » manquant)"},
      {"[\\\\Software] 1700000000\n", 8, "nom de clé invalide (commence par une barre oblique inverse)"},
      {"\"x\"=qword:01\n", 8, "type de valeur inconnu"},
      {"\"x\"=str(z):\"a\"\n", 8, "type de valeur inconnu"},
      {"\"x\"=hex:01,zz\n", 8, "donnée hexadécimale invalide"},
      {"\"x\"=hex:01,\\\n  02,0g\n", 9, "donnée hexadécimale invalide"},
      {"\"x\"=hex:01,\\", 9, "donnée hexadécimale invalide"},  // continued into the next key line
      {"\"x\"=dword:123456789\n", 8, "donnée dword invalide"},
      {"\"x\"=dword:12 34\n", 8, "texte inattendu après la donnée"},
      {"\"x\"=\"\\xzz\"\n", 8, "séquence \\x sans chiffre hexadécimal"},
      {"\"x\"=\"never closed\n\"y\"=\"1\"\n", 8, "chaîne non terminée"},
      {"\"x\" \"y\"\n", 8, "« = » attendu après le nom de la valeur"},
      {"garbage\n", 8, "ligne inattendue"},
      {"\"x\"=\"" + std::string(20 << 20, 'a') + "\n", 8, "chaîne non terminée"},
  };
  const std::string good = std::string(kHeader) + "\n[Software\\\\Good] 1700000000\n\"Kept\"=\"yes\"\n";
  for (const Case& c : cases) {
    const std::string file = good + c.bad + "\n[Software\\\\After] 1700000000\n\"v\"=\"1\"\n";
    WriteHost(userReg(), file);
    RegistryKey key;
    EXPECT_EQ(RegOpenKey(RegistryRoot::CurrentUser, u"Software\\Good", kKeyRead, &key), kErrorRegistryCorrupt) << c.reason;
    EXPECT_EQ(Utf8(RegistryFileError()), userReg() + ", ligne " + std::to_string(c.line) + " : " + c.reason);
    EXPECT_EQ(RegCreateKey(RegistryRoot::CurrentUser, u"Software\\New", kKeyAllAccess, &key), kErrorRegistryCorrupt);
    EXPECT_EQ(ReadHost(userReg()), file) << c.reason;
    // The other root is not affected.
    EXPECT_EQ(RegOpenKey(RegistryRoot::LocalMachine, u"Software\\Microsoft\\Windows NT\\CurrentVersion", kKeyRead, &key),
              kErrorSuccess);
  }
}

TEST_F(RegistryFileTest, ADamagedKeyIsRefusedAtItsLineWhileTheOthersRead) {
  // Value lines are read when their key is first used: a fault in one key
  // refuses that key, names its line, and keeps every write out of the file.
  const std::string file = std::string(kHeader) +
                           "\n[Software\\\\Damaged] 1700000000\n\"x\"=dword:12 34\n"  // line 7
                           "\n[Software\\\\Good] 1700000000\n\"Kept\"=\"yes\"\n";
  WriteHost(userReg(), file);
  EXPECT_EQ(queryString(u"Software\\Good", u"Kept"), u"yes");
  const std::string where = userReg() + ", ligne 7 : texte inattendu après la donnée";
  RegistryKey key;
  EXPECT_EQ(RegOpenKey(RegistryRoot::CurrentUser, u"Software\\Damaged", kKeyRead, &key), kErrorRegistryCorrupt);
  EXPECT_EQ(Utf8(RegistryFileError()), where);
  RegistryKey good;
  ASSERT_EQ(RegOpenKey(RegistryRoot::CurrentUser, u"Software\\Good", kKeyAllAccess, &good), kErrorSuccess);
  EXPECT_EQ(RegSetValue(good, u"New", kRegSz, RegistryStringData(u"no")), kErrorRegistryCorrupt);
  EXPECT_EQ(Utf8(RegistryFileError()), where);
  EXPECT_EQ(ReadHost(userReg()), file);
}

TEST_F(RegistryFileTest, ADamagedKeyNameIsRefusedAtItsLineOnceALookupMeetsIt) {
  // Key names are read in full when a lookup needs them: a fault far from
  // the keys read leaves them readable until a lookup meets it, and from
  // then on the file is refused at its line, and never written.
  std::string file = std::string(kHeader) + "\n";
  for (int i = 0; i < 100; ++i) file += "[Software\\\\K" + std::to_string(100 + i) + "] 1700000000\n\"v\"=\"1\"\n";
  const uint32_t damagedLine = 6 + 200;
  file += "[Software\\\\Z\\xzz] 1700000000\n";
  WriteHost(userReg(), file);
  EXPECT_EQ(queryString(u"Software\\K105", u"v"), u"1");
  RegistryKey key;
  EXPECT_EQ(RegOpenKey(RegistryRoot::CurrentUser, u"Software\\Z", kKeyRead, &key), kErrorRegistryCorrupt);
  const std::string where = userReg() + ", ligne " + std::to_string(damagedLine) + " : séquence \\x sans chiffre hexadécimal";
  EXPECT_EQ(Utf8(RegistryFileError()), where);
  EXPECT_EQ(RegOpenKey(RegistryRoot::CurrentUser, u"Software\\K105", kKeyAllAccess, &key), kErrorRegistryCorrupt);
  EXPECT_EQ(Utf8(RegistryFileError()), where);
  EXPECT_EQ(RegCreateKey(RegistryRoot::CurrentUser, u"Software\\New", kKeyAllAccess, &key), kErrorRegistryCorrupt);
  EXPECT_EQ(ReadHost(userReg()), file);
}

TEST_F(RegistryFileTest, FilesThatAreNotRegistryFilesAreRefused) {
  struct Case {
    std::string file;
    uint32_t line;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n", 1, "en-tête « WINE REGISTRY Version 2 » absent"},
      {std::string("\x00\x01\x02", 3), 1, "en-tête « WINE REGISTRY Version 2 » absent"},
      {std::string(kHeader) + "\"x\"=\"y\"\n", 5, "valeur placée avant la première clé"},
      {std::string(kHeader) + "[K]\n\"x\"=hex:01,\\", 6, "donnée hexadécimale coupée en fin de fichier"},
  };
  for (const Case& c : cases) {
    WriteHost(userReg(), c.file);
    RegistryKey key;
    EXPECT_EQ(RegOpenKey(RegistryRoot::CurrentUser, u"", kKeyRead, &key), kErrorRegistryCorrupt);
    EXPECT_EQ(Utf8(RegistryFileError()), userReg() + ", ligne " + std::to_string(c.line) + " : " + c.reason);
    EXPECT_EQ(RegCreateKey(RegistryRoot::CurrentUser, u"Software\\New", kKeyAllAccess, &key), kErrorRegistryCorrupt);
    EXPECT_EQ(ReadHost(userReg()), c.file);
  }
}

TEST_F(RegistryFileTest, AGiganticValidValueReadsBack) {
  std::string hex;
  for (int i = 0; i < (4 << 20); ++i) hex += "5a,";
  hex.pop_back();
  WriteHost(userReg(), std::string(kHeader) + "\n[Big] 1700000000\n\"blob\"=hex:" + hex + "\n");
  RegistryKey key;
  ASSERT_EQ(RegOpenKey(RegistryRoot::CurrentUser, u"Big", kKeyRead, &key), kErrorSuccess);
  RegistryValue value;
  ASSERT_EQ(RegQueryValue(key, u"blob", &value), kErrorSuccess);
  EXPECT_EQ(value.data, std::string(4 << 20, 'Z'));
}

TEST_F(RegistryFileTest, DuplicateSectionsMergeAndAreWrittenAsOne) {
  prefix_.appendUserReg("[Volatile Environment]\n\"USERNAME\"=\"second\"\n\"Extra\"=dword:00000002\n");
  EXPECT_EQ(queryString(u"Volatile Environment", u"USERNAME"), u"second");
  RegistryKey key = create(u"volatile environment");
  RegistryValue value;
  ASSERT_EQ(RegQueryValue(key, u"Extra", &value), kErrorSuccess);
  EXPECT_EQ(RegistryDataDword(value.data), 2u);
  ASSERT_EQ(RegSetValue(key, u"Third", kRegSz, RegistryStringData(u"3")), kErrorSuccess);
  const std::string text = ReadHost(userReg());
  EXPECT_EQ(KeyOrder(text), (std::vector<std::string>{"Environment", "Volatile Environment"})) << text;
  EXPECT_EQ(queryString(u"Volatile Environment", u"USERNAME"), u"second");
  EXPECT_EQ(queryString(u"Volatile Environment", u"Third"), u"3");
  std::vector<String> names;
  ASSERT_EQ(RegEnumValueNames(key, &names), kErrorSuccess);
  // A new value goes before the first name that sorts after it.
  EXPECT_EQ(names, (std::vector<String>{u"Third", u"USERNAME", u"Extra"}));
}

TEST_F(RegistryFileTest, ReadOnlyRegistryRefusesWritesAndStaysIntact) {
  // Even for root, whom permissions do not stop, missing write bits count.
  struct Case {
    const char* label;
    std::string path;  // made read-only
    mode_t mode;
  };
  const std::vector<Case> cases = {
      {"read-only file", systemReg(), 0444},
      {"read-only prefix folder", prefix_.root(), 0555},
  };
  const String existing = u"Software\\Microsoft\\Windows NT\\CurrentVersion";
  for (const Case& c : cases) {
    const std::string before = ReadHost(systemReg());
    ASSERT_EQ(chmod(c.path.c_str(), c.mode), 0);
    RegistryKey key;
    EXPECT_EQ(RegOpenKey(RegistryRoot::LocalMachine, existing, kKeyAllAccess, &key), kErrorAccessDenied) << c.label;
    EXPECT_EQ(RegCreateKey(RegistryRoot::LocalMachine, u"Software\\KELVARO S.A.", kKeyAllAccess, &key), kErrorAccessDenied)
        << c.label;
    // Reading still works, and an existing key is opened by create with read access.
    EXPECT_EQ(queryString(existing, u"CurrentVersion", RegistryRoot::LocalMachine), u"6.3") << c.label;
    EXPECT_EQ(RegCreateKey(RegistryRoot::LocalMachine, existing, kKeyRead, &key), kErrorSuccess) << c.label;
    ASSERT_EQ(chmod(c.path.c_str(), c.path == prefix_.root() ? 0755 : 0644), 0);
    EXPECT_EQ(ReadHost(systemReg()), before) << c.label;
    EXPECT_TRUE(TempLeftovers(prefix_.root()).empty()) << c.label;
  }
  // Once writable again, a write goes through.
  create(u"Software\\KELVARO S.A.", RegistryRoot::LocalMachine);
}

TEST_F(RegistryFileTest, MissingPrefixHasNoKeysAndIsNotCreated) {
  const std::string absent = prefix_.root() + "/absent";
  setenv("WINEPREFIX", absent.c_str(), 1);
  RegistryKey key;
  for (RegistryRoot root : {RegistryRoot::CurrentUser, RegistryRoot::LocalMachine}) {
    EXPECT_EQ(RegOpenKey(root, u"Software", kKeyRead, &key), kErrorFileNotFound);
    EXPECT_EQ(RegOpenKey(root, u"", kKeyRead, &key), kErrorFileNotFound);
    EXPECT_EQ(RegCreateKey(root, u"Software\\KELVARO S.A.", kKeyAllAccess, &key), kErrorPathNotFound);
  }
  EXPECT_FALSE(fs::exists(absent));
}

TEST_F(RegistryFileTest, AMissingFileInAnExistingPrefixIsAnEmptyRegistry) {
  fs::remove(userReg());
  RegistryKey key;
  EXPECT_EQ(RegOpenKey(RegistryRoot::CurrentUser, u"Environment", kKeyRead, &key), kErrorFileNotFound);
  create(u"Software\\KELVARO S.A.\\Multiste");
  const std::string text = ReadHost(userReg());
  EXPECT_EQ(text.rfind(kHeader, 0), 0u) << text;
  EXPECT_EQ(KeyOrder(text), std::vector<std::string>{"Software\\KELVARO S.A.\\Multiste"});
}

TEST_F(RegistryFileTest, WritesLeaveNoTemporaryFileAndKeepTheFileMode) {
  ASSERT_EQ(chmod(userReg().c_str(), 0600), 0);
  RegistryKey key = create(u"Software\\Modes");
  for (int i = 0; i < 5; ++i) ASSERT_EQ(RegSetValue(key, u"v", kRegDword, RegistryDwordData(i)), kErrorSuccess);
  EXPECT_TRUE(TempLeftovers(prefix_.root()).empty());
  struct stat st {};
  ASSERT_EQ(stat(userReg().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(RegistryFileTest, ConcurrentWritersInOtherProcessesLoseNothing) {
  create(u"Software\\Race");  // the parent's cache is now warm and will go stale
  constexpr int kWriters = 3, kValues = 15;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      RegistryKey key;
      int failures = RegOpenKey(RegistryRoot::CurrentUser, u"Software\\Race", kKeyAllAccess, &key) != kErrorSuccess;
      for (int i = 0; i < kValues; ++i) {
        String name = u"w" + String(1, char16_t(u'0' + w)) + u"-" + String(1, char16_t(u'a' + i));
        failures += RegSetValue(key, name, kRegDword, RegistryDwordData(w * 100 + i)) != kErrorSuccess;
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  RegistryKey key;
  ASSERT_EQ(RegOpenKey(RegistryRoot::CurrentUser, u"Software\\Race", kKeyRead, &key), kErrorSuccess);
  std::vector<String> names;
  ASSERT_EQ(RegEnumValueNames(key, &names), kErrorSuccess);
  EXPECT_EQ(names.size(), size_t(kWriters * kValues));
  EXPECT_TRUE(TempLeftovers(prefix_.root()).empty());
}

// A short wait for a lingering server, and how often it began and ended.
class CountedWineserverWait : public fixtures::ShortWineserverWait {
 public:
  CountedWineserverWait() {
    prefix::SetWineserverWaitObserver([this](bool waiting) { (waiting ? begun : ended)++; });
  }
  ~CountedWineserverWait() { prefix::SetWineserverWaitObserver(nullptr); }
  int begun = 0;
  int ended = 0;
};

// A server that lingers and ends within the wait is simply waited for.
TEST_F(RegistryFileTest, AWriteWaitsForALingeringWineserver) {
  RegistryKey key = create(u"Software\\Served");
  CountedWineserverWait wait;
  fixtures::FakeWineserver server(prefix_.root());
  ASSERT_TRUE(server.locked());
  std::thread ending([&server] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.Stop();
  });
  EXPECT_EQ(RegSetValue(key, u"v", kRegDword, RegistryDwordData(2)), kErrorSuccess);
  ending.join();
  EXPECT_EQ(wait.begun, 1);
  EXPECT_EQ(wait.ended, 1);
  EXPECT_NE(ReadHost(userReg()).find("\"v\"=dword:00000002"), std::string::npos);
}

// A server that stays owns the files: the change goes to Wine, and where
// Wine is not there to take it, the write is refused with the reason and
// neither the file nor the layer's view changes.
TEST_F(RegistryFileTest, AWriteBesideAWineserverWithoutWineIsRefusedWithItsReason) {
  RegistryKey before = create(u"Software\\Served");
  ASSERT_EQ(RegSetValue(before, u"v", kRegDword, RegistryDwordData(1)), kErrorSuccess);
  const std::string text = ReadHost(userReg());
  CountedWineserverWait wait;
  fixtures::FakeWineserver server(prefix_.root());
  ASSERT_TRUE(server.locked());
  fixtures::WithoutWine noWine;
  const String refused =
      u"Wine est en cours d'exécution dans ce préfixe et l'outil de registre de Wine est introuvable (Wine n'est "
      u"pas installé) : fermez ses programmes, puis recommencez.";
  RegistryKey key;
  EXPECT_EQ(RegSetValue(before, u"v", kRegDword, RegistryDwordData(2)), kErrorAccessDenied);
  EXPECT_EQ(RegistryRefusalReason(), refused);
  EXPECT_EQ(RegCreateKey(RegistryRoot::CurrentUser, u"Software\\Other", kKeyAllAccess, &key), kErrorAccessDenied);
  EXPECT_EQ(RegDeleteKey(before, u""), kErrorAccessDenied);
  EXPECT_EQ(RegistryRefusalReason(), refused);
  EXPECT_EQ(wait.begun, 1) << "a server that outlived one wait is not waited for again";
  // Opening for writing is no longer refused: the change itself decides.
  EXPECT_EQ(RegOpenKey(RegistryRoot::CurrentUser, u"Software\\Served", kKeyAllAccess, &key), kErrorSuccess);
  RegistryValue value;
  ASSERT_EQ(RegQueryValue(key, u"v", &value), kErrorSuccess);
  EXPECT_EQ(RegistryDataDword(value.data), 1u);
  EXPECT_EQ(ReadHost(userReg()), text);
  // A server that ended leaves its folder behind, unlocked: writes go again.
  server.Stop();
  EXPECT_FALSE(prefix::WineserverRunning(prefix_.root()));
  EXPECT_EQ(RegSetValue(before, u"v", kRegDword, RegistryDwordData(2)), kErrorSuccess);
  EXPECT_EQ(RegistryRefusalReason(), u"");
}

// Debian's Wine names its server's folder in the prefix without the folder
// that holds it, its temporary folder: TMPDIR when set. A server there owns
// the files as any other does.
TEST_F(RegistryFileTest, AServerFolderNamedInTheTemporaryFolderOwnsTheFiles) {
  RegistryKey key = create(u"Software\\Served");
  const std::string text = ReadHost(userReg());
  fixtures::ShortWineserverWait shortWait;
  fixtures::FakeWineserver server(prefix_.root(), fixtures::FakeWineserver::Naming::NameInTmpdir);
  ASSERT_TRUE(server.locked());
  EXPECT_TRUE(prefix::WineserverRunning(prefix_.root()));
  EXPECT_EQ(prefix::LiveWineserverFolder(prefix_.root()), server.folder());
  fixtures::WithoutWine noWine;
  EXPECT_EQ(RegSetValue(key, u"v", kRegDword, RegistryDwordData(2)), kErrorAccessDenied);
  EXPECT_EQ(ReadHost(userReg()), text);
}

// Stands for Wine's registry tool for the life of the object: a `wine` first
// on PATH that counts its runs and exits with an error for the first
// `failures` of them, then with success.
class ScriptedWine {
 public:
  explicit ScriptedWine(int failures) : folder_(fs::temp_directory_path() / ("kelvaro-wine-" + std::to_string(getpid()))) {
    fs::create_directories(folder_);
    const std::string runs = (folder_ / "runs").string();
    WriteHost((folder_ / "wine").string(), "#!/bin/sh\necho run >> '" + runs + "'\n[ $(wc -l < '" + runs +
                                               "') -gt " + std::to_string(failures) + " ] || exit 1\n");
    fs::permissions(folder_ / "wine", fs::perms::owner_all);
    if (const char* path = std::getenv("PATH")) savedPath_ = path;
    setenv("PATH", (folder_.string() + ":" + savedPath_).c_str(), 1);
  }
  ~ScriptedWine() {
    setenv("PATH", savedPath_.c_str(), 1);
    fs::remove_all(folder_);
  }
  ScriptedWine(const ScriptedWine&) = delete;
  ScriptedWine& operator=(const ScriptedWine&) = delete;

  int runs() const {
    const std::string text = ReadHost((folder_ / "runs").string());
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  }

 private:
  fs::path folder_;
  std::string savedPath_;
};

// Wine's start-up fails now and then for reasons of its own, and the same
// import goes through when run again: a refusal is tried again a few times
// before it stands, and then it is reported with Wine's code.
TEST_F(RegistryFileTest, AWriteHandedToWineIsTriedAgainAfterARefusal) {
  struct Case {
    int failures;
    uint32_t code;
    int runs;
  };
  const std::vector<Case> cases = {{0, kErrorSuccess, 1}, {1, kErrorSuccess, 2}, {2, kErrorSuccess, 3},
                                   {3, kErrorAccessDenied, 3}};
  RegistryKey key = create(u"Software\\Served");
  CountedWineserverWait wait;
  fixtures::FakeWineserver server(prefix_.root());
  ASSERT_TRUE(server.locked());
  for (const Case& c : cases) {
    SCOPED_TRACE("Wine fails " + std::to_string(c.failures) + " times");
    ScriptedWine wine(c.failures);
    EXPECT_EQ(RegSetValue(key, u"v", kRegDword, RegistryDwordData(c.failures)), c.code);
    EXPECT_EQ(wine.runs(), c.runs);
    if (c.code == kErrorSuccess) {
      EXPECT_EQ(RegistryRefusalReason(), u"");
      RegistryValue value;
      ASSERT_EQ(RegQueryValue(key, u"v", &value), kErrorSuccess);
      EXPECT_EQ(RegistryDataDword(value.data), uint32_t(c.failures));
    } else {
      EXPECT_EQ(RegistryRefusalReason(),
                u"Wine est en cours d'exécution dans ce préfixe et l'outil de registre de Wine a refusé la "
                u"modification (code 1) : fermez ses programmes, puis recommencez.");
    }
  }
}

// What a dead or foreign server leaves: the layer decides from what answers,
// so it neither waits nor refuses, and writes the file at once.
TEST_F(RegistryFileTest, LeftoversOfNoLiveServerNeitherStallNorStopAWrite) {
  struct Case {
    const char* label;
    std::function<void(const std::string& root)> leave;
  };
  const std::vector<Case> cases = {
      {"wineserver file naming a missing folder",
       [](const std::string& root) { WriteHost(root + "/wineserver", "/nonexistent/wine-gone\n"); }},
      {"wineserver file climbing out of /tmp", [](const std::string& root) { WriteHost(root + "/wineserver", "../etc\n"); }},
      {"wineserver file naming a folder of someone else",
       [](const std::string& root) { WriteHost(root + "/wineserver", "/root\n"); }},
      {"stale lock and socket of a killed server",
       [](const std::string& root) {
         const std::string folder = prefix::WineserverFolder(root);
         fs::create_directories(folder);
         WriteHost(folder + "/lock", "");
         const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         std::snprintf(address.sun_path, sizeof address.sun_path, "%s/socket", folder.c_str());
         ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
         close(fd);  // bound, never listening: nobody accepts
       }},
      {"socket alone, nobody accepting",
       [](const std::string& root) {
         const std::string folder = prefix::WineserverFolder(root);
         fs::remove(folder + "/lock");
       }},
      {"a lock that is a named pipe nobody writes",
       [](const std::string& root) { ASSERT_EQ(mkfifo((prefix::WineserverFolder(root) + "/lock").c_str(), 0600), 0); }},
  };
  CountedWineserverWait wait;
  fixtures::OwnWineserverTempFolder temp;
  ASSERT_EQ(prefix::WineserverFolder(prefix_.root()).rfind(temp.folder() + "/.wine-", 0), 0u);
  RegistryKey key = create(u"Software\\Leftovers");
  uint32_t n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    c.leave(prefix_.root());
    EXPECT_FALSE(prefix::WineserverRunning(prefix_.root()));
    EXPECT_EQ(RegSetValue(key, u"v", kRegDword, RegistryDwordData(++n)), kErrorSuccess);
    char expected[32];
    std::snprintf(expected, sizeof expected, "\"v\"=dword:%08x", n);
    EXPECT_NE(ReadHost(userReg()).find(expected), std::string::npos);
  }
  EXPECT_EQ(wait.begun, 0);
}

TEST_F(RegistryFileTest, AFileRewrittenByAnotherProcessIsReadAgain) {
  struct Case {
    const char* label;
    bool rename;  // replaced through a new file, or overwritten in place
  };
  for (const Case& c : {Case{"renamed over", true}, Case{"overwritten in place", false}}) {
    const std::string file = std::string(kHeader) + "\n[Software\\\\Cache] 1700000000\n\"v\"=\"old\"\n";
    WriteHost(userReg(), file);
    RegistryKey held;
    ASSERT_EQ(RegOpenKey(RegistryRoot::CurrentUser, u"Software\\Cache", kKeyRead, &held), kErrorSuccess);
    RegistryValue value;
    ASSERT_EQ(RegQueryValue(held, u"v", &value), kErrorSuccess);
    ASSERT_EQ(RegistryDataString(value.data), u"old");
    // Same size, so only the file's identity and times tell the change.
    std::string changed = file;
    changed.replace(changed.find("old"), 3, "new");
    if (c.rename) {
      WriteHost(userReg() + ".other", changed);
      fs::rename(userReg() + ".other", userReg());
    } else {
      WriteHost(userReg(), changed);
    }
    EXPECT_EQ(queryString(u"Software\\Cache", u"v"), u"new") << c.label;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(RegQueryValue(held, u"v", &value), kErrorSuccess);
    EXPECT_EQ(RegistryDataString(value.data), u"new") << c.label;
    // A key removed by the other process is reported as deleted.
    WriteHost(userReg(), std::string(kHeader));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(RegQueryValue(held, u"v", &value), kErrorKeyDeleted) << c.label;
  }
}

}  // namespace
