// The registry through the platform interface only: the same cases run over
// the prefix's .reg files and over the real Windows API.
#include <string>
#include <vector>

#include "platform/conformance.h"
#include "platform/registry.h"

namespace conformance {
namespace {

using namespace platform;

class RegistryTest : public ConformanceTest {
 protected:
  RegistryKey create(const String& path, uint32_t access = kKeyAllAccess) {
    RegistryKey key;
    EXPECT_EQ(RegCreateKey(RegistryRoot::CurrentUser, path, access, &key), kErrorSuccess) << Utf8(path);
    return key;
  }
  uint32_t open(const String& path, uint32_t access, RegistryKey* key) {
    return RegOpenKey(RegistryRoot::CurrentUser, path, access, key);
  }
  std::vector<String> subkeys(const String& path) {
    RegistryKey key;
    EXPECT_EQ(open(path, kKeyRead, &key), kErrorSuccess) << Utf8(path);
    std::vector<String> names;
    String name;
    for (uint32_t i = 0; RegEnumKey(key, i, &name) == kErrorSuccess; ++i) names.push_back(name);
    return names;
  }
};

TEST_F(RegistryTest, MissingKeyAndValueAnswerFileNotFound) {
  RegistryKey key;
  EXPECT_EQ(open(registryKey(), kKeyRead, &key), kErrorFileNotFound);
  EXPECT_FALSE(key.isOpen());
  EXPECT_EQ(open(registryKey() + u"\\Deeper\\Still", kKeyRead, &key), kErrorFileNotFound);

  create(registryKey());
  ASSERT_EQ(open(registryKey(), kKeyRead, &key), kErrorSuccess);
  RegistryValue value;
  EXPECT_EQ(RegQueryValue(key, u"Absent", &value), kErrorFileNotFound);
  EXPECT_EQ(RegQueryValue(key, u"", &value), kErrorFileNotFound);
}

TEST_F(RegistryTest, CreateMakesEveryMissingLevelAndOpensAnExistingKey) {
  create(registryKey() + u"\\Torvida\\Program\\Options");
  for (const String& level : {registryKey(), registryKey() + u"\\Torvida", registryKey() + u"\\Torvida\\Program"}) {
    RegistryKey key;
    EXPECT_EQ(open(level, kKeyRead, &key), kErrorSuccess) << Utf8(level);
  }
  // Creating an existing key opens it and keeps its values.
  RegistryKey first = create(registryKey() + u"\\Torvida");
  ASSERT_EQ(RegSetValue(first, u"Kept", kRegDword, RegistryDwordData(7)), kErrorSuccess);
  RegistryKey again = create(registryKey() + u"\\TORVIDA");
  RegistryValue value;
  ASSERT_EQ(RegQueryValue(again, u"kept", &value), kErrorSuccess);
  EXPECT_EQ(RegistryDataDword(value.data), 7u);
  EXPECT_EQ(subkeys(registryKey() + u"\\Torvida"), std::vector<String>{u"Program"});
}

TEST_F(RegistryTest, EveryTypeComesBackAsWritten) {
  struct Case {
    const char* label;
    String name;
    uint32_t type;
    std::string data;
  };
  const std::vector<Case> cases = {
      {"string", u"Filename", kRegSz, RegistryStringData(u"C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll")},
      {"empty string", u"Empty", kRegSz, RegistryStringData(u"")},
      {"expandable", u"DataDir", kRegExpandSz, RegistryStringData(u"%TEMP%\\Torvida")},
      {"dword", u"Build", kRegDword, RegistryDwordData(1234)},
      {"dword max", u"Max", kRegDword, RegistryDwordData(0xFFFFFFFFu)},
      {"binary", u"Bin", kRegBinary, std::string("\x01\x02\xab\xff\x00", 5)},
      {"long binary", u"Long", kRegBinary, std::string(300, '\x5a')},
      {"multi", u"Multi", kRegMultiSz, std::string("o\0n\0e\0\0\0t\0w\0o\0\0\0\0\0", 18)},
      {"qword", u"Big", kRegQword, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
      {"string without NUL", u"Odd", kRegSz, std::string("a\0b", 3)},
      {"default value", u"", kRegSz, RegistryStringData(u"default")},
  };
  RegistryKey key = create(registryKey());
  for (const Case& c : cases) ASSERT_EQ(RegSetValue(key, c.name, c.type, c.data), kErrorSuccess) << c.label;
  // Read back through a key opened afresh, so the values come from storage.
  RegistryKey reader;
  ASSERT_EQ(open(registryKey(), kKeyRead, &reader), kErrorSuccess);
  for (const Case& c : cases) {
    RegistryValue value;
    ASSERT_EQ(RegQueryValue(reader, c.name, &value), kErrorSuccess) << c.label;
    EXPECT_EQ(value.type, c.type) << c.label;
    EXPECT_EQ(value.data, c.data) << c.label;
  }
  // Writing again replaces type and data.
  ASSERT_EQ(RegSetValue(key, u"Build", kRegSz, RegistryStringData(u"1234")), kErrorSuccess);
  RegistryValue value;
  ASSERT_EQ(RegQueryValue(reader, u"BUILD", &value), kErrorSuccess);
  EXPECT_EQ(value.type, uint32_t(kRegSz));
  EXPECT_EQ(RegistryDataString(value.data), u"1234");
}

TEST_F(RegistryTest, DeletedValueIsGoneAndOthersStay) {
  RegistryKey key = create(registryKey());
  ASSERT_EQ(RegSetValue(key, u"One", kRegSz, RegistryStringData(u"1")), kErrorSuccess);
  ASSERT_EQ(RegSetValue(key, u"Two", kRegSz, RegistryStringData(u"2")), kErrorSuccess);
  EXPECT_EQ(RegDeleteValue(key, u"ONE"), kErrorSuccess);
  EXPECT_EQ(RegDeleteValue(key, u"One"), kErrorFileNotFound);
  RegistryValue value;
  EXPECT_EQ(RegQueryValue(key, u"One", &value), kErrorFileNotFound);
  ASSERT_EQ(RegQueryValue(key, u"Two", &value), kErrorSuccess);
  EXPECT_EQ(RegistryDataString(value.data), u"2");
  std::vector<String> names;
  ASSERT_EQ(RegEnumValueNames(key, &names), kErrorSuccess);
  EXPECT_EQ(names, std::vector<String>{u"Two"});
}

TEST_F(RegistryTest, SubkeysEnumerateSortedIgnoringCase) {
  for (const char16_t* name : {u"charlie", u"Bravo", u"alpha", u"Delta"}) create(registryKey() + u"\\" + String(name));
  EXPECT_EQ(subkeys(registryKey()), (std::vector<String>{u"alpha", u"Bravo", u"charlie", u"Delta"}));
  RegistryKey key;
  ASSERT_EQ(open(registryKey(), kKeyRead, &key), kErrorSuccess);
  String name;
  EXPECT_EQ(RegEnumKey(key, 4, &name), kErrorNoMoreItems);
}

TEST_F(RegistryTest, DeleteKeyRemovesOnlyALeaf) {
  create(registryKey() + u"\\Parent\\Child");
  RegistryKey root = create(registryKey());
  EXPECT_EQ(RegDeleteKey(root, u"Parent"), kErrorAccessDenied);  // it has a subkey
  EXPECT_EQ(RegDeleteKey(root, u"Parent\\Child"), kErrorSuccess);
  EXPECT_EQ(RegDeleteKey(root, u"Parent\\Child"), kErrorFileNotFound);
  RegistryKey key;
  EXPECT_EQ(open(registryKey() + u"\\Parent\\Child", kKeyRead, &key), kErrorFileNotFound);
  // The parent outlives its last child.
  EXPECT_EQ(open(registryKey() + u"\\Parent", kKeyRead, &key), kErrorSuccess);
  EXPECT_TRUE(subkeys(registryKey() + u"\\Parent").empty());
  EXPECT_EQ(RegDeleteKey(root, u"parent"), kErrorSuccess);
  EXPECT_TRUE(subkeys(registryKey()).empty());
}

TEST_F(RegistryTest, KeyOpenedForReadingRefusesChanges) {
  create(registryKey());
  RegistryKey key;
  ASSERT_EQ(open(registryKey(), kKeyRead, &key), kErrorSuccess);
  EXPECT_EQ(RegSetValue(key, u"x", kRegDword, RegistryDwordData(1)), kErrorAccessDenied);
  EXPECT_EQ(RegDeleteValue(key, u"x"), kErrorAccessDenied);
  RegistryKey writeOnly;
  ASSERT_EQ(open(registryKey(), kKeySetValue, &writeOnly), kErrorSuccess);
  RegistryValue value;
  EXPECT_EQ(RegQueryValue(writeOnly, u"x", &value), kErrorAccessDenied);
}

TEST_F(RegistryTest, AccentedNamesAndValuesSurviveStorage) {
  const String keyPath = registryKey() + u"\\Société Générale\\Café €";
  {
    RegistryKey key = create(keyPath);
    ASSERT_EQ(RegSetValue(key, u"Prénom ü", kRegSz, RegistryStringData(u"Zoë paie 12 € à l'Œuvre\t\"cité\"")), kErrorSuccess);
    ASSERT_EQ(RegSetValue(key, u"Chemin", kRegExpandSz, RegistryStringData(u"%TEMP%\\Données")), kErrorSuccess);
  }
  EXPECT_EQ(subkeys(registryKey()), std::vector<String>{u"Société Générale"});
  RegistryKey key;
  ASSERT_EQ(open(registryKey() + u"\\Société Générale\\Café €", kKeyRead, &key), kErrorSuccess);
  std::vector<String> names;
  ASSERT_EQ(RegEnumValueNames(key, &names), kErrorSuccess);
  EXPECT_EQ(names, (std::vector<String>{u"Chemin", u"Prénom ü"}));
  RegistryValue value;
  ASSERT_EQ(RegQueryValue(key, u"Prénom ü", &value), kErrorSuccess);
  EXPECT_EQ(RegistryDataString(value.data), u"Zoë paie 12 € à l'Œuvre\t\"cité\"");
  ASSERT_EQ(RegQueryValue(key, u"Chemin", &value), kErrorSuccess);
  EXPECT_EQ(value.type, uint32_t(kRegExpandSz));
  EXPECT_EQ(RegistryDataString(value.data), u"%TEMP%\\Données");
}

TEST_F(RegistryTest, AccentedCapitalsMatchTheirSmallLetters) {
  RegistryKey key = create(registryKey() + u"\\ÉTÉ");
  ASSERT_EQ(RegSetValue(key, u"CLÉ", kRegDword, RegistryDwordData(3)), kErrorSuccess);
  RegistryKey lower;
  ASSERT_EQ(open(registryKey() + u"\\été", kKeyRead, &lower), kErrorSuccess);
  RegistryValue value;
  ASSERT_EQ(RegQueryValue(lower, u"clé", &value), kErrorSuccess);
  EXPECT_EQ(RegistryDataDword(value.data), 3u);
}

// Wine reads a key path one component at a time and skips repeated
// backslashes, so "A\\\\B" names A\B and a trailing backslash is ignored; a
// leading backslash is refused with ERROR_BAD_PATHNAME. Nothing else is made.
TEST_F(RegistryTest, EmptyPathComponents) {
  struct Case {
    const char* label;
    String path;
    uint32_t code;
  };
  const std::vector<Case> cases = {
      {"doubled backslash", registryKey() + u"\\A\\\\B", kErrorSuccess},
      {"trailing backslash", registryKey() + u"\\A\\B\\", kErrorSuccess},
      {"leading backslash", u"\\" + registryKey() + u"\\A", kErrorBadPathname},
  };
  for (const Case& c : cases) {
    RegistryKey key;
    EXPECT_EQ(RegCreateKey(RegistryRoot::CurrentUser, c.path, kKeyAllAccess, &key), c.code) << c.label;
    RegistryKey opened;
    EXPECT_EQ(open(c.path, kKeyRead, &opened), c.code) << c.label;
  }
  EXPECT_EQ(subkeys(registryKey()), std::vector<String>{u"A"});
  EXPECT_EQ(subkeys(registryKey() + u"\\A"), std::vector<String>{u"B"});
}

}  // namespace
}  // namespace conformance
