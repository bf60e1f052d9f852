#include "wine_side_by_side.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <vector>

#include "child_process.h"
#include "fixtures/temp_prefix.h"
#include "generated_prefix.h"
#include "median.h"

namespace bench {
namespace {

namespace fs = std::filesystem;

const char* const kRegistryFiles[] = {"system.reg", "user.reg", "userdef.reg"};

// The two sets of registry files, kept beside the prefix and copied into it
// before each run (Wine rewrites the files it loaded when its server ends).
struct WinePrefixes {
  fixtures::TempDir work;
  std::string root = work.path() + "/prefix";
  std::string wineboot = work.path() + "/wineboot-registry";
  std::string grown = work.path() + "/grown-registry";
  std::vector<std::string> env = {"WINEPREFIX=" + root, "WINEDEBUG=-all", "LANG=C.UTF-8"};

  ~WinePrefixes() { stopServer(); }

  void stopServer() const {
    RunToExit({"wineserver", "-k"}, env);
    RunToExit({"wineserver", "-w"}, env);
  }

  // Empty when done, otherwise what failed.
  std::string make() const {
    if (RunToExit({"wineboot", "-i"}, env) < 0) return "wineboot -i failed";
    // The server writes the new registry files when it ends by itself, a
    // few seconds after wineboot.
    RunToExit({"wineserver", "-w"}, env);
    fs::create_directories(wineboot);
    fs::create_directories(grown);
    for (const char* file : kRegistryFiles) {
      if (!fs::exists(root + "/" + file)) return std::string("wineboot -i made no ") + file;
      fs::copy_file(root + "/" + file, wineboot + "/" + file);
      fs::copy_file(root + "/" + file, grown + "/" + file);
    }
    AppendWinebootShapedKeys(grown, kWinebootSizes);
    return {};
  }

  void use(const std::string& registry) const {
    for (const char* file : kRegistryFiles) {
      fs::copy_file(registry + "/" + file, root + "/" + file, fs::copy_options::overwrite_existing);
    }
  }

  // A whole `wine reg query` with no server running; seconds, negative on
  // failure.
  double queryWithWine() const {
    const double seconds = RunToExit(
        {"wine", "reg", "query", "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion", "/v", "CurrentVersion"}, env);
    stopServer();
    return seconds;
  }
};

struct Side {
  const char* name;
  std::string registry;
  std::vector<double> wine, wizard;
};

using Starter = std::function<double(const std::string& prefixRoot)>;

// One untimed start on each side's files, then `runs` rounds of one start
// on each, the side to go first alternating; false when a start failed.
bool AlternateRuns(const WinePrefixes& prefixes, Side (&sides)[2], int runs, const char* program,
                   const Starter& start, std::vector<double> Side::*samples) {
  for (int run = -1; run < runs; ++run) {
    for (int k = 0; k < 2; ++k) {
      Side& side = sides[(run + 1 + k) % 2];
      prefixes.use(side.registry);
      const double seconds = start(prefixes.root);
      if (seconds < 0) {
        std::printf("\nWine side by side: %s failed on the %s prefix\n", program, side.name);
        return false;
      }
      if (run >= 0) (side.*samples).push_back(seconds);
    }
  }
  return true;
}

void PrintSide(const Side& side) {
  std::printf("  %-9s system.reg %8ju bytes: wine reg query %6.1f ms, wizard %6.1f ms\n", side.name,
              std::uintmax_t(fs::file_size(side.registry + "/system.reg")), Median(side.wine) * 1e3,
              Median(side.wizard) * 1e3);
}

// Makes the prefixes, times each program on both and prints the figures.
void CompareWithWine(const Starter& startWizard, int runs) {
  WinePrefixes prefixes;
  if (const std::string failed = prefixes.make(); !failed.empty()) {
    std::printf("\nWine side by side: skipped, %s\n", failed.c_str());
    return;
  }
  Side sides[2] = {{"wineboot", prefixes.wineboot, {}, {}}, {"grown", prefixes.grown, {}, {}}};
  // Wine's runs first, then the wizard's: a wizard started just after a Wine
  // session was stopped would share the processor with that session's end.
  const Starter wine = [&prefixes](const std::string&) { return prefixes.queryWithWine(); };
  if (!AlternateRuns(prefixes, sides, runs, "wine reg query", wine, &Side::wine)) return;
  if (!AlternateRuns(prefixes, sides, 2 * runs, "the wizard", startWizard, &Side::wizard)) return;
  std::printf("\nWine side by side, medians of %d (wine) and %d (wizard) alternating runs on a prefix made by\n"
              "wineboot -i, as made and grown by %zu bytes of generated keys (wine: whole reg query, its server\n"
              "starting; wizard: to screen):\n",
              runs, 2 * runs, kWinebootSizes.system);
  for (const Side& side : sides) PrintSide(side);
  std::printf("  the extra keys cost Wine %.1f ms, the wizard %.1f ms\n",
              (Median(sides[1].wine) - Median(sides[0].wine)) * 1e3,
              (Median(sides[1].wizard) - Median(sides[0].wizard)) * 1e3);
}

}  // namespace

void PrintWineSideBySide(const std::function<double(const std::string&)>& startWizard, int runs) {
  if (!OnPath("wine") || !OnPath("wineboot") || !OnPath("wineserver")) {
    std::printf("\nWine side by side: skipped, wine, wineboot or wineserver is not on PATH\n");
    return;
  }
  try {
    CompareWithWine(startWizard, runs);
  } catch (const std::exception& e) {
    std::printf("\nWine side by side: stopped, %s\n", e.what());
  }
}

}  // namespace bench
