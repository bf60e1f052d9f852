// A registry file loaded as the program loads it (mapped, each key name
// checked only where it differs from the names around it, the rest read
// when a lookup needs it) answers every lookup as the same text read whole
// does, whatever the names spell where they differ: escapes, case, runs of
// separators, characters of several bytes, lines out of order. A key line
// that is damaged past where it differs is found by the lookup that meets
// it, which names its line.
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/prefix/mapped_file.h"
#include "platform/prefix/registry_document.h"

namespace {

using platform::String;
using platform::prefix::MappedFile;
using platform::prefix::RegistryDocument;

constexpr char kHead[] = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n";

// Key path -> (value name, type, data) in the document's order.
using Snapshot = std::map<String, std::vector<std::tuple<String, uint32_t, std::string>>>;

std::unique_ptr<MappedFile> AsFile(const std::string& text) {
  const int fd = memfd_create("registry", MFD_CLOEXEC);
  if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return nullptr;
  auto file = MappedFile::Open(fd, text.size());
  close(fd);
  return file;
}

// Every key reached by listing subkeys and looking each up by its path.
void Walk(RegistryDocument& doc, uint32_t key, const String& path, Snapshot* out) {
  auto& values = (*out)[path];
  for (const String& name : doc.ValueNames(key)) {
    const auto* entry = doc.FindValue(key, name);
    ASSERT_NE(entry, nullptr);
    values.emplace_back(entry->name, entry->type, entry->data);
  }
  for (const String& name : doc.SubkeyNames(key)) {
    const String child = path.empty() ? name : path + u"\\" + name;
    const uint32_t id = doc.Find(child);
    ASSERT_NE(id, RegistryDocument::kNoKey);
    Walk(doc, id, child, out);
  }
}

TEST(RegistryLateNames, LoadedFilesAnswerAsTextsReadWhole) {
  struct Case {
    const char* what;
    std::string keys;               // after kHead
    std::vector<std::u16string> probes;  // must be found
  };
  const std::vector<Case> cases = {
      {"case differs before the names differ", "[A]\n[A\\\\b]\n\"v\"=\"1\"\n[a\\\\C]\n\"v\"=\"2\"\n", {u"a\\B", u"A\\c"}},
      {"escape past the difference", "[Bar]\n[Caf\\x00e9\\\\Sub]\n\"v\"=\"1\"\n[Cafz]\n", {u"Caf\u00e9\\Sub", u"Cafz"}},
      {"escape at the difference, sorting otherwise read whole", "[Caf]\n[Caf\\x00e9]\n\"v\"=\"1\"\n[Cafe]\n",
       {u"Caf\u00e9", u"Cafe", u"Caf"}},
      {"escape just before the difference", "[X\\x0041a]\n[X\\x0041b]\n", {u"XAa", u"XAb"}},
      {"escape letters differing in case", "[K\\X41zzzzzzzzza]\n[K\\x41zzzzzzzzzb]\n[K\\x41zzzzzzzzzc]\n",
       {u"KX41zzzzzzzzza", u"KAzzzzzzzzzb", u"KAzzzzzzzzzc"}},
      {"empty component running into the difference", "[A\\\\\\\\Z]\n\"v\"=\"1\"\n[A\\\\B]\n", {u"A\\Z", u"A\\B"}},
      {"name ending in a separator", "[A\\\\]\n\"v\"=\"1\"\n[A\\\\B]\n", {u"A", u"A\\B"}},
      {"sections of one key", "[A]\n\"x\"=\"1\"\n[A]\n\"y\"=\"2\"\n[B]\n", {u"A", u"B"}},
      {"the root spelt out", "[]\n\"r\"=\"1\"\n[A]\n", {u"A"}},
      {"characters of several bytes", "[Caf\xc3\xa9]\n\"v\"=\"1\"\n[Cafe]\n", {u"Caf\u00e9", u"Cafe"}},
      {"lines out of order", "[B]\n[A\\\\C]\n[A]\n\"v\"=\"1\"\n", {u"A", u"B", u"A\\C"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string text = kHead + c.keys;
    uint32_t line = 0;
    std::string reason;
    RegistryDocument whole, loaded;
    ASSERT_TRUE(whole.Parse(text, &line, &reason)) << line << ": " << reason;
    ASSERT_TRUE(loaded.Load(AsFile(text), &line, &reason)) << line << ": " << reason;
    for (const std::u16string& probe : c.probes) EXPECT_NE(loaded.Find(probe), RegistryDocument::kNoKey);
    Snapshot expected, got;
    Walk(whole, RegistryDocument::kRootKey, String(), &expected);
    Walk(loaded, RegistryDocument::kRootKey, String(), &got);
    EXPECT_EQ(got, expected);
    EXPECT_FALSE(loaded.keyLineDamaged());
  }
}

// Every pair of short names built from separators (one, or two running
// together), escapes (among them an escaped backslash and bracket) and
// letters, in both orders, so that runs of backslashes and escapes fall
// right where the two names first differ, and right after a separator
// there: loaded as the program loads them, they answer as read whole.
TEST(RegistryLateNames, BackslashRunsAtTheFirstDifferenceLoadAsReadWhole) {
  const std::vector<std::string> pieces = {"a", "A", "\\\\", "\\\\\\\\", "\\x41", "\\x5c", "\\]"};
  std::vector<std::string> names;
  for (const std::string& one : pieces) {
    names.push_back(one);
    for (const std::string& two : pieces) {
      names.push_back(one + two);
      for (const std::string& three : pieces) names.push_back(one + two + three);
    }
  }
  int loadedPairs = 0;
  for (const std::string& first : names) {
    for (const std::string& second : names) {
      if (first == second) continue;
      const std::string text =
          std::string(kHead) + "[K" + first + "]\n\"v\"=\"1\"\n[K" + second + "]\n\"w\"=\"2\"\n";
      uint32_t line = 0;
      std::string reason;
      RegistryDocument whole, loaded;
      if (!whole.Parse(text, &line, &reason)) continue;
      ASSERT_TRUE(loaded.Load(AsFile(text), &line, &reason)) << line << ": " << reason << "\n" << text;
      Snapshot expected, got;
      Walk(whole, RegistryDocument::kRootKey, String(), &expected);
      Walk(loaded, RegistryDocument::kRootKey, String(), &got);
      ASSERT_EQ(got, expected) << text;
      ++loadedPairs;
    }
  }
  EXPECT_GT(loadedPairs, 0);
}

TEST(RegistryLateNames, ADamagedNameIsFoundByTheLookupThatMeetsIt) {
  // The fault lies past where the name differs from its neighbours.
  std::string text = kHead;
  for (int i = 0; i < 100; ++i) text += "[K" + std::to_string(100 + i) + "]\n\"v\"=\"1\"\n";
  text += "[Z\\xzz]\n";  // line 204
  uint32_t line = 0;
  std::string reason;
  RegistryDocument loaded;
  ASSERT_TRUE(loaded.Load(AsFile(text), &line, &reason)) << line << ": " << reason;
  EXPECT_NE(loaded.Find(u"K105"), RegistryDocument::kNoKey);
  EXPECT_FALSE(loaded.misread());
  loaded.Find(u"Z");
  EXPECT_TRUE(loaded.misread());
  ASSERT_FALSE(loaded.CheckKeyLines(&line, &reason));
  EXPECT_EQ(line, 204u);
  EXPECT_EQ(reason, "séquence \\x sans chiffre hexadécimal");
  // Read whole, the same text is refused at the same line.
  RegistryDocument whole;
  EXPECT_FALSE(whole.Parse(text, &line, &reason));
  EXPECT_EQ(line, 204u);
}

}  // namespace
