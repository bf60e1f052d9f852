// The wizard's own load of the font configuration against fontconfig's
// FcInit: the same fonts and the same rules, and FcInit's fallbacks where the
// configuration is missing or incomplete. Each case runs in a process of its
// own (CTest starts one per case), so each starts without a configuration.
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "fixtures/temp_prefix.h"
#include "font_config_warm_up.h"

namespace {

using ConfigPtr = std::unique_ptr<FcConfig, decltype(&FcConfigDestroy)>;

std::vector<std::string> FontFiles(FcConfig* config) {
  std::vector<std::string> files;
  FcFontSet* fonts = FcConfigGetFonts(config, FcSetSystem);
  for (int i = 0; fonts && i < fonts->nfont; ++i) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &file) == FcResultMatch) {
      files.emplace_back(reinterpret_cast<char*>(file));
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// A font request as the configuration's rules rewrite it: families added by
// aliases, hinting and rendering settings, and so on.
std::string Rewritten(FcConfig* config, const char* request) {
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(request));
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcChar8* text = FcNameUnparse(pattern);
  std::string out = text ? reinterpret_cast<char*>(text) : "";
  FcStrFree(text);
  FcPatternDestroy(pattern);
  return out;
}

// Each case ends by giving back what fontconfig holds: the configuration a
// load made current lives until FcFini (in the wizard, Qt gives it back as its
// font database closes).
class FontConfig : public testing::Test {
 protected:
  void TearDown() override { FcFini(); }
};

TEST_F(FontConfig, TheSystemConfigurationBecomesCurrentWithItsFontsAndRules) {
  ASSERT_TRUE(kelvaro::LoadSystemFontConfig());
  FcConfig* loaded = FcConfigGetCurrent();
  ConfigPtr reference(FcInitLoadConfigAndFonts(), FcConfigDestroy);
  ASSERT_NE(reference, nullptr);
  ASSERT_NE(loaded, reference.get());

  const std::vector<std::string> files = FontFiles(loaded);
  EXPECT_FALSE(files.empty());
  EXPECT_EQ(files, FontFiles(reference.get()));
  for (const char* request : {"MS Sans Serif:pixelsize=15:bold", "Arial:pixelsize=15", "sans-serif"}) {
    EXPECT_EQ(Rewritten(loaded, request), Rewritten(reference.get(), request)) << request;
  }
}

struct Fallback {
  const char* name;
  const char* configuration;  // nullptr: the file is missing
};

void PrintTo(const Fallback& fallback, std::ostream* out) { *out << fallback.name; }

class FontConfigFallback : public testing::TestWithParam<Fallback> {
 protected:
  void TearDown() override {
    unsetenv("FONTCONFIG_FILE");
    FcFini();
  }
};

TEST_P(FontConfigFallback, IsLeftToFcInit) {
  fixtures::TempDir dir;
  const std::string path = dir.path() + "/fonts.conf";
  if (GetParam().configuration) std::ofstream(path) << GetParam().configuration;
  setenv("FONTCONFIG_FILE", path.c_str(), 1);

  EXPECT_FALSE(kelvaro::LoadSystemFontConfig());
  // FcInit's own configuration is current, with the cache folders it adds.
  FcConfig* current = FcConfigGetCurrent();
  ASSERT_NE(current, nullptr);
  FcStrList* caches = FcConfigGetCacheDirs(current);
  ASSERT_NE(caches, nullptr);
  EXPECT_NE(FcStrListNext(caches), nullptr);
  FcStrListDone(caches);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FontConfigFallback,
    testing::Values(Fallback{"MissingFile", nullptr},
                    Fallback{"NoCacheFolder",
                             "<?xml version=\"1.0\"?>\n<fontconfig><dir>/usr/share/fonts</dir></fontconfig>\n"},
                    Fallback{"NotXml", "this is not a configuration\n"}),
    [](const testing::TestParamInfo<Fallback>& info) { return std::string(info.param.name); });

}  // namespace
