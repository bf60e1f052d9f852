// Registry file text that is damaged or odd, read by the document itself:
// each refused text names its line and the fault, never reads past the end
// of the text, and an odd but valid text reads back what it spells.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/prefix/registry_document.h"

namespace {

using platform::prefix::RegistryDocument;

constexpr char kHead[] = "WINE REGISTRY Version 2\n\n[K] 1700000000\n";  // the next line is line 4

TEST(RegistryBadInput, DamagedTextIsRefusedAtItsLine) {
  struct Case {
    std::string text;  // after kHead
    uint32_t line;
    const char* reason;
  };
  const std::string huge(16 << 20, 'k');
  const std::vector<Case> cases = {
      {"\"x\"=\"\\x", 4, "séquence \\x sans chiffre hexadécimal"},  // the file ends inside the escape
      {"\"x\"=\"\\", 4, "chaîne non terminée"},
      {"\"\\x\"=\"a\"\n", 4, "séquence \\x sans chiffre hexadécimal"},
      {"[K\\xg] 1700000000\n", 4, "séquence \\x sans chiffre hexadécimal"},
      {"[" + huge, 4, "ligne de clé non terminée (« ] » manquant)"},
      {"[" + huge + "\n\"x\"=\"1\"\n", 4, "ligne de clé non terminée (« ] » manquant)"},
      {"\"x\"=hex(123456789):00\n", 4, "type de valeur inconnu"},
      {"\"x\"=hex(1:00\n", 4, "type de valeur inconnu"},
      {"\"x\"=str(:\"a\"\n", 4, "type de valeur inconnu"},
      {"\"x\"=qword:0\n", 4, "type de valeur inconnu"},
      {"\"x\"=\n", 4, "type de valeur inconnu"},
      {"\"x\"=dword:\n", 4, "donnée dword invalide"},
      {"\"x\"=hex:0g\n", 4, "donnée hexadécimale invalide"},
      {"\"ok\"=\"1\"\n\"x\"=\"" + huge, 5, "chaîne non terminée"},
      {std::string("\"x\"=\"a\0b", 8), 4, "chaîne non terminée"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    RegistryDocument doc;
    uint32_t line = 0;
    std::string reason;
    EXPECT_FALSE(doc.Parse(kHead + c.text, &line, &reason));
    EXPECT_EQ(line, c.line);
    EXPECT_EQ(reason, c.reason);
  }
}

TEST(RegistryBadInput, HugeButValidNamesReadBack) {
  const std::string name(4 << 20, 'n');
  RegistryDocument doc;
  uint32_t line = 0;
  std::string reason;
  const std::string text = std::string(kHead) + "[" + name + "\\\\" + name + "] 1700000000\n\"" + name + "\"=\"v\"\n";
  ASSERT_TRUE(doc.Parse(text, &line, &reason)) << line << ": " << reason;
  const platform::String wide(name.begin(), name.end());
  const uint32_t key = doc.Find(wide + u"\\" + wide);
  ASSERT_NE(key, RegistryDocument::kNoKey);
  const platform::prefix::RegistryEntry* value = doc.FindValue(key, wide);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->data, std::string("v\0\0\0", 4));
  EXPECT_EQ(doc.Serialize(0), text);
}

}  // namespace
