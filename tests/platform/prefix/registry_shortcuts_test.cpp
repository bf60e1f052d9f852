// The document's shortcuts against what the text spells: key lines indexed
// straight from the file's bytes, each checked only past what it shares
// with the line before, lines out of order merged into order, and value
// lines read only when their key is used. Each case is text where a wrong
// shortcut would read another name, accept a damaged line or make a key
// twice.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/prefix/registry_document.h"

namespace {

using platform::String;
using platform::prefix::RegistryDocument;

constexpr char kHead[] = "WINE REGISTRY Version 2\n\n[K] 1700000000\n";  // the next line is line 4

std::string Utf16(const String& text) {
  std::string out;
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out.append(2, '\0');
}

TEST(RegistryShortcuts, ValueLinesReadWhatTheySpell) {
  struct Case {
    std::string line;  // one value line of key K
    String name;
    uint32_t type;
    std::string data;
  };
  const std::string hex60 = [] {
    std::string bytes;
    for (int i = 0; i < 60; ++i) bytes.push_back(static_cast<char>(i * 7));
    return bytes;
  }();
  const std::string hex60Line = [&] {
    std::string line = "\"h\"=hex:";
    char buffer[4];
    for (size_t i = 0; i < hex60.size(); ++i) {
      std::snprintf(buffer, sizeof buffer, i % 2 ? "%02X" : "%02x", unsigned(static_cast<unsigned char>(hex60[i])));
      line += buffer;
      if (i + 1 < hex60.size()) line += i == 20 ? ",\\\n  " : ",";
    }
    return line + "\n";
  }();
  const std::vector<Case> cases = {
      {"\"a\\\"b\"=\"c\"\n", u"a\"b", 1, Utf16(u"c")},                 // an escaped quote inside the name
      {"\"a\\\\\"=\"c\"\n", u"a\\", 1, Utf16(u"c")},                    // an escaped backslash right before the quote
      {"\"a\\\\\\\"\"=\"c\"\n", u"a\\\"", 1, Utf16(u"c")},              // three backslashes, then the quote
      {"@=\"x\\\"=\\\"y\"\n", u"", 1, Utf16(u"x\"=\"y")},               // quotes and '=' escaped in the data
      {"\"Caf\\xe9\"=\"\\x20ac1\"  \r\n", u"Caf\u00e9", 1, Utf16(u"\u20ac1")},
      {"\"e\"=str(2):\"%T%\\\\x\"\n", u"e", 2, Utf16(u"%T%\\x")},
      {"\"d\"=dword:0000BEEF\n", u"d", 4, std::string("\xEF\xBE\0\0", 4)},
      {"\"long " + std::string(70, 'n') + "\"=\"v\\\\\"\n", u"long " + String(70, u'n'), 1, Utf16(u"v\\")},
      {hex60Line, u"h", 3, hex60},
      {"\"m\"=hex(7):41,00,00,00\n", u"m", 7, std::string("A\0\0\0", 4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    RegistryDocument doc;
    uint32_t line = 0;
    std::string reason;
    const std::string text = kHead + c.line;
    ASSERT_TRUE(doc.Parse(text, &line, &reason)) << line << ": " << reason;
    const platform::prefix::RegistryEntry* entry = doc.FindValue(doc.Find(u"K"), c.name);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->type, c.type);
    EXPECT_EQ(entry->data, c.data);
    EXPECT_EQ(doc.Serialize(0), text);
  }
}

TEST(RegistryShortcuts, DamagedShortLinesAreRefusedAtTheirLine) {
  struct Case {
    std::string line;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"\"a\"=\"b\\\"\n", "chaîne non terminée"},                      // the closing quote is escaped
      {"\"a\\\"=\"b\"\n", "« = » attendu après le nom de la valeur"},  // so is the name's
      {"\"a\"=\"b\"c\n", "texte inattendu après la donnée"},
      {"\"a\"=\"\\xg\"\n", "séquence \\x sans chiffre hexadécimal"},
      {"\"a\"=\"b\\\n\"\n", "chaîne non terminée"},
      {"\"h\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,1g,11\n", "donnée hexadécimale invalide"},
      {"\"h\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10;11\n", "donnée hexadécimale invalide"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    RegistryDocument doc;
    uint32_t line = 0;
    std::string reason;
    EXPECT_FALSE(doc.Parse(kHead + c.line + "\"next\"=\"ok\"\n", &line, &reason));
    EXPECT_EQ(line, 4u);
    EXPECT_EQ(reason, c.reason);
  }
}

TEST(RegistryShortcuts, KeyNamesReadAsTheFullReaderSpellsThem) {
  // Each key line follows one whose name shares its start, which loading
  // takes as checked; the rest is checked eight bytes a step, so the odd
  // spots fall at various offsets and right where the shared start ends.
  struct Case {
    std::string name;  // between the brackets
    String path;
  };
  const std::vector<Case> cases = {
      {"Long\\\\\\\\Name", u"Long\\Name"},  // the shared start ends inside a run of four backslashes
      {"Long\\xe9", u"Long\u00e9"},        // ... or after the first backslash of an escape
      {"Long\\\\Name\\\\\\\\Empty", u"Long\\Name\\Empty"},
      {"Long\\\\Name\\\\", u"Long\\Name"},  // a trailing separator
      {"Long\\\\Na\\]me", u"Long\\Na]me"},
      {"Long\\\\Caf\\xe9", u"Long\\Caf\u00e9"},
      {"Long\\\\CAF\xc3\x89", u"Long\\caf\u00e9"},  // UTF-8 as it is, found ignoring case
      {"Long\\\\\xc9t\xc9", u"Long\\\u00e9t\u00e9"},   // bytes that are not UTF-8: Latin-1
      {"Long\\\\Name\\tTab", u"Long\\Name\tTab"},
      {"Long\\\\Name\x7f", u"Long\\Name\x7f"},
      {"Long\\\\Name\\\\Deeper\\\\And deeper still", u"Long\\Name\\Deeper\\And deeper still"},
      {"Long\\\\N\\\\ame", u"Long\\N\\ame"},
      {"Long\\0", String(u"Long\0", 5)},  // a NUL sorts after the separator, not with it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = "WINE REGISTRY Version 2\n\n[Long\\\\Name] 1\n\"p\"=\"0\"\n\n[" + c.name + "] 1\n\"v\"=\"1\"\n";
    RegistryDocument doc;
    uint32_t line = 0;
    std::string reason;
    ASSERT_TRUE(doc.Parse(text, &line, &reason)) << line << ": " << reason;
    EXPECT_NE(doc.Find(u"Long"), RegistryDocument::kNoKey);
    const uint32_t key = doc.Find(c.path);
    ASSERT_NE(key, RegistryDocument::kNoKey);
    const platform::prefix::RegistryEntry* value = doc.FindValue(key, u"v");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->data, Utf16(u"1"));
    EXPECT_EQ(doc.Serialize(0), text);
  }
}

TEST(RegistryShortcuts, KeysSpeltAgainOrOutOfOrderAreOneKey) {
  // Parents spelt in another case, a sibling before its predecessor, and a
  // key listed again after others: each path is still one key.
  const std::string text =
      "WINE REGISTRY Version 2\n\n"
      "[Soft\\\\B\\\\One] 1\n\"v\"=\"1\"\n\n"
      "[soft\\\\b\\\\Two] 1\n\"v\"=\"2\"\n\n"
      "[Soft\\\\A] 1\n\"v\"=\"3\"\n\n"
      "[SOFT\\\\B] 1\n\"w\"=\"4\"\n\n"
      "[Soft\\\\b\\\\one] 1\n\"x\"=\"5\"\n\n"
      "[Soft\\\\Caf\\xe9\\\\In] 1\n\"v\"=\"6\"\n\n"
      "[Soft\\\\CAF\\xc9\\\\In] 1\n\"w\"=\"7\"\n";
  RegistryDocument doc;
  uint32_t line = 0;
  std::string reason;
  ASSERT_TRUE(doc.Parse(text, &line, &reason)) << line << ": " << reason;
  const uint32_t soft = doc.Find(u"soft");
  ASSERT_NE(soft, RegistryDocument::kNoKey);
  EXPECT_EQ(doc.SubkeyNames(soft), (std::vector<String>{u"A", u"B", u"Caf\u00e9"}));
  EXPECT_EQ(doc.SubkeyNames(doc.Find(u"Soft\\B")), (std::vector<String>{u"One", u"Two"}));
  EXPECT_EQ(doc.ValueNames(doc.Find(u"SOFT\\B\\ONE")), (std::vector<String>{u"v", u"x"}));
  EXPECT_EQ(doc.ValueNames(doc.Find(u"soft\\b")), (std::vector<String>{u"w"}));
  EXPECT_EQ(doc.ValueNames(doc.Find(u"Soft\\caf\u00e9\\in")), (std::vector<String>{u"v", u"w"}));
  EXPECT_EQ(doc.Find(u"Soft\\B\\Three"), RegistryDocument::kNoKey);
  EXPECT_EQ(doc.Serialize(0), text);
}

TEST(RegistryShortcuts, NumberedKeysFarOutOfOrderAreAllFound) {
  // "Zone 10" comes after "Zone 9" in the file but sorts right after
  // "Zone 1": such lines are set aside and merged in at the end, nearer
  // ones moved at once; a key listed again later still overrides.
  std::string text = "WINE REGISTRY Version 2\n\n";
  std::vector<String> names;
  for (int i = 0; i < 120; ++i) {
    const std::string name = "Zone " + std::to_string(i);
    text += "[Zones\\\\" + name + "] 1\n\"v\"=\"" + std::to_string(i) + "\"\n\n";
    names.emplace_back(name.begin(), name.end());
  }
  text += "[Zones\\\\Zone 5] 1\n\"v\"=\"again\"\n\n[Zones\\\\Zone 10\\\\Sub] 1\n";
  RegistryDocument doc;
  uint32_t line = 0;
  std::string reason;
  ASSERT_TRUE(doc.Parse(text, &line, &reason)) << line << ": " << reason;
  std::sort(names.begin(), names.end());
  EXPECT_EQ(doc.SubkeyNames(doc.Find(u"Zones")), names);
  for (int i = 0; i < 120; ++i) {
    const std::string name = "Zones\\Zone " + std::to_string(i);
    const uint32_t key = doc.Find(String(name.begin(), name.end()));
    ASSERT_NE(key, RegistryDocument::kNoKey) << name;
    const std::string expected = i == 5 ? "again" : std::to_string(i);
    EXPECT_EQ(doc.FindValue(key, u"v")->data, Utf16(String(expected.begin(), expected.end()))) << name;
  }
  EXPECT_EQ(doc.SubkeyNames(doc.Find(u"Zones\\Zone 10")), std::vector<String>{u"Sub"});
  EXPECT_EQ(doc.Serialize(0), text);
}

}  // namespace
