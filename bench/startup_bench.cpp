// Start-up of the wizard: from process start to the welcome page on screen,
// on a prefix whose registry files have the size `wineboot -i` gives a new
// prefix (their keys generated, see generated_prefix.h), against a
// look-alike of the welcome page in plain Qt (the same window size, picture,
// title, wrapped texts, fonts and buttons, built directly with nothing
// read), started the same way, the programs taking turns in the same run.
// The look-alike is what drawing that page costs by itself; the ratio
// wizard / look-alike is the price of everything the wizard does on top of
// it, reading the registry first. It is printed with its limit (1.10), from
// the medians of the starts; exit status 1 when it is exceeded or a program
// did not come on screen.
//
// Two more programs take their turns, for reference: the wizard on a tiny
// prefix (registry files of a few hundred bytes), so that the registry's
// share shows as the difference between the wizard's two starts, and an
// empty Qt main window of the same size, whose ratio to the wizard is
// printed too.
//
// All run offscreen and report the moment they are on screen, that
// is once their first paint is done: kelvaro-update through its
// KELVARO_STARTUP_PROBE hook (it prints "welcome-shown <ns>" after the welcome
// page's first paint, and quits), the empty main window (same size, shown
// and painted) by this executable started again with KELVARO_EMPTY_WINDOW_PROBE,
// the look-alike likewise with KELVARO_LOOK_ALIKE_PROBE.
// The wizard is a packed update carrying the usual texts. KELVARO_UPDATE_EXE
// names the wizard when it is not at ../src/app/kelvaro-update from this
// executable.
//
// Where Wine is installed, a last part sets the wizard beside Wine's own
// loader on prefixes made by Wine (see wine_side_by_side.h).
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "engine/resource_pack.h"
#include "fixtures/temp_prefix.h"
#include "generated_prefix.h"
#include "median.h"
#include "wizard/left_picture.h"
#include "wine_side_by_side.h"

namespace {

using Clock = std::chrono::steady_clock;

long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// The empty window reports as the wizard does: once its first paint is done
// (one more turn of the loop after the paint event), so both sides are
// measured to the moment they are drawn, not merely asked to show.
class FirstPaintReport : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint) return false;
    watched->removeEventFilter(this);
    QTimer::singleShot(0, [] {
      std::printf("window-shown %lld\n", NowNs());
      std::fflush(stdout);
      QCoreApplication::quit();
    });
    return false;
  }
};

int RunEmptyWindow(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.resize(947, 522);
  FirstPaintReport report;
  window.installEventFilter(&report);
  window.show();
  return app.exec();
}

QFont PixelFont(const char* family, int pixels, bool bold = false) {
  QFont font(QString::fromLatin1(family));
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

void Fill(QWidget* widget, const QColor& background, const QColor& text = Qt::black) {
  widget->setAutoFillBackground(true);
  QPalette colours = widget->palette();
  colours.setColor(QPalette::Window, background);
  colours.setColor(QPalette::WindowText, text);
  widget->setPalette(colours);
}

// The welcome page as the person sees it, in plain Qt; reports once the page
// area is painted, as the wizard reports its welcome page.
int RunLookAlikeWindow(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.resize(947, 522);
  window.setFont(PixelFont("MS Sans Serif", 11));
  const QImage picture = kelvaro::CompanyPicture();
  auto* column = new QLabel;
  Fill(column, picture.pixelColor(0, picture.height() - 1));
  column->setPixmap(QPixmap::fromImage(picture));
  column->setAlignment(Qt::AlignCenter);
  column->setFixedWidth(154);
  auto* title = new QLabel(QStringLiteral("Mise \u00e0 jour Torvida"));
  Fill(title, QColor(128, 128, 128), Qt::white);
  title->setFont(PixelFont("Arial", 15, true));
  title->setAlignment(Qt::AlignCenter);
  title->setFixedHeight(37);
  auto* page = new QWidget;
  Fill(page, Qt::white);
  page->setFont(PixelFont("MS Sans Serif", 15));
  auto* warning = new QLabel(
      QStringLiteral("Veuillez fermer les applications Kelvaro sur tous les postes de travail avant d'installer cette "
                     "mise \u00e0 jour !"),
      page);
  warning->setFont(PixelFont("MS Sans Serif", 15, true));
  QPalette maroon = warning->palette();
  maroon.setColor(QPalette::WindowText, QColor(128, 0, 0));
  warning->setPalette(maroon);
  warning->setWordWrap(true);
  warning->setGeometry(20, 100, 753, 150);
  auto* info = new QLabel(QStringLiteral("Cet assistant va mettre \u00e0 jour Mise \u00e0 jour Torvida.\n\n"
                                         "Aucune donn\u00e9e existante ne sera supprim\u00e9e.\n\n"
                                         "Cette mise \u00e0 jour remplace la version 2.3.\n"),
                          page);
  info->setWordWrap(true);
  info->setGeometry(20, 270, 753, 150);
  auto* steps = new QVBoxLayout;
  steps->setSpacing(0);
  steps->addWidget(title);
  steps->addWidget(page, 1);
  auto* columns = new QHBoxLayout;
  columns->setSpacing(0);
  columns->addWidget(column);
  columns->addLayout(steps, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(new QLabel(QStringLiteral("Version : ")), 1);
  auto* back = new QPushButton(QStringLiteral("< Pr\u00e9c\u00e9dant"));
  back->setEnabled(false);
  buttons->addWidget(back);
  buttons->addWidget(new QPushButton(QStringLiteral("Suivant >")));
  buttons->addWidget(new QPushButton(QStringLiteral("Annuler")));
  auto* central = new QWidget;
  auto* rows = new QVBoxLayout(central);
  rows->setContentsMargins(0, 0, 0, 0);
  rows->addLayout(columns, 1);
  rows->addLayout(buttons);
  window.setCentralWidget(central);
  FirstPaintReport report;
  page->installEventFilter(&report);
  window.show();
  return app.exec();
}

std::string SelfPath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

std::string WizardPath() {
  if (const char* path = std::getenv("KELVARO_UPDATE_EXE")) return path;
  return (std::filesystem::path(SelfPath()).parent_path() / ".." / "src" / "app" / "kelvaro-update").string();
}

// Starts program with extra environment entries and returns the seconds from
// just before the start to the moment it reports being on screen; negative
// when it reported nothing.
double TimeToScreen(const std::string& program, const std::vector<std::string>& extraEnv) {
  std::vector<std::string> env = bench::EnvironmentWith(extraEnv);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  int fds[2];
  if (pipe(fds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::string arg0 = program;
  char* argv[] = {arg0.data(), nullptr};
  pid_t pid = 0;
  const long long start = NowNs();
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    close(fds[0]);
    return -1;
  }
  FILE* out = fdopen(fds[0], "r");
  char line[256] = {};
  long long shown = -1;
  while (std::fgets(line, sizeof line, out)) {
    char word[64];
    long long ns = 0;
    if (std::sscanf(line, "%63s %lld", word, &ns) == 2) shown = ns;
  }
  std::fclose(out);
  int status = 0;
  waitpid(pid, &status, 0);
  return shown < 0 ? -1 : double(shown - start) / 1e9;
}

struct Setup {
  fixtures::TempPrefix tiny{fixtures::TempPrefix::Use::AsOther};
  fixtures::TempPrefix wineboot{fixtures::TempPrefix::Use::AsOther};
  fixtures::TempDir work;
  std::string update;
};
Setup* gSetup = nullptr;

void PackUpdate(Setup* setup) {
  const QString dir = QString::fromStdString(setup->work.path());
  const std::vector<std::pair<QString, QByteArray>> texts = {
      {QStringLiteral("Updates.txt"), "Torvida\r\n"},
      {QStringLiteral("AppInfo1.txt"), "Mise \xe0 jour Torvida\r\n"},
      {QStringLiteral("AppInfo2.txt"), "Cette mise \xe0 jour remplace la version 2.3.\r\n"},
      {QStringLiteral("UpdateInfo.txt"),
       "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fswiss Arial;}}\\f0\\fs20 {\\b Nouveaut\\'e9s}\\par "
       "- Impression des listes\\par - Corrections internes\\par}"}};
  QStringList files;
  for (const auto& [name, bytes] : texts) {
    QFile file(dir + QLatin1Char('/') + name);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    files << file.fileName();
  }
  setup->update = setup->work.path() + "/MajTorvida";
  kelvaro::PackExecutable(QString::fromStdString(setup->update), QString::fromStdString(WizardPath()), files);
}

const std::vector<std::string> kOffscreen = {"QT_QPA_PLATFORM=offscreen"};

double StartWizard(const std::string& prefixRoot) {
  return TimeToScreen(gSetup->update, {kOffscreen[0], "KELVARO_STARTUP_PROBE=1", "WINEPREFIX=" + prefixRoot});
}

double StartEmptyWindow() { return TimeToScreen(SelfPath(), {kOffscreen[0], "KELVARO_EMPTY_WINDOW_PROBE=1"}); }
double StartLookAlike() { return TimeToScreen(SelfPath(), {kOffscreen[0], "KELVARO_LOOK_ALIKE_PROBE=1"}); }
double StartWizardOnTiny() { return StartWizard(gSetup->tiny.root()); }
double StartWizardOnWineboot() { return StartWizard(gSetup->wineboot.root()); }

struct Program {
  const char* name;
  double (*start)();
  std::vector<double> seconds;
};

// The wizard on the wineboot-sized prefix comes first: its time is the
// benchmark's.
Program gPrograms[] = {{"wizard, wineboot-sized prefix", StartWizardOnWineboot, {}},
                       {"wizard, tiny prefix", StartWizardOnTiny, {}},
                       {"plain-Qt look-alike of the welcome page", StartLookAlike, {}},
                       {"empty Qt window", StartEmptyWindow, {}}};
constexpr size_t kProgramCount = std::size(gPrograms);
Program& gWizard = gPrograms[0];
Program& gTinyWizard = gPrograms[1];
Program& gLookAlike = gPrograms[2];
Program& gEmpty = gPrograms[3];
bool gAllOnScreen = true;

// The programs take turns, the one to go first rotating too: a machine that
// slows down or speeds up during the run then weighs on all alike instead of
// on whichever ran in that stretch. The iteration time is the wizard's on
// the wineboot-sized prefix; the other medians are counters beside it.
void BM_WizardAgainstLookAlike(benchmark::State& state) {
  for (auto _ : state) {
    const size_t first = gWizard.seconds.size() % kProgramCount;
    double seconds[kProgramCount] = {};
    for (size_t k = 0; k < kProgramCount; ++k) {
      const size_t i = (first + k) % kProgramCount;
      seconds[i] = gPrograms[i].start();
    }
    if (*std::min_element(seconds, seconds + kProgramCount) < 0) {
      gAllOnScreen = false;
      state.SkipWithError("a program did not report being on screen");
      return;
    }
    state.SetIterationTime(seconds[0]);
    for (size_t i = 0; i < kProgramCount; ++i) gPrograms[i].seconds.push_back(seconds[i]);
  }
  state.counters["wizard_tiny_ms"] = bench::Median(gTinyWizard.seconds) * 1e3;
  state.counters["look_alike_ms"] = bench::Median(gLookAlike.seconds) * 1e3;
  state.counters["empty_window_ms"] = bench::Median(gEmpty.seconds) * 1e3;
}

BENCHMARK(BM_WizardAgainstLookAlike)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

std::string RegistryFileSizes(const fixtures::TempPrefix& prefix) {
  std::string sizes;
  for (const char* file : {"system.reg", "user.reg", "userdef.reg"}) {
    sizes += (sizes.empty() ? "" : ", ") + std::string(file) + " " +
             std::to_string(std::filesystem::file_size(prefix.root() + "/" + file));
  }
  return sizes;
}

// The figures of the run; false when the limit is exceeded.
bool PrintFigures() {
  constexpr double kLimit = 1.10;
  std::printf("\nstart-up to screen, medians of %zu alternating starts:\n", gWizard.seconds.size());
  for (const Program& program : gPrograms) {
    std::printf("  %-40s %6.1f ms\n", program.name, bench::Median(program.seconds) * 1e3);
  }
  std::printf("  (wineboot-sized prefix: %s bytes; tiny: %s bytes)\n", RegistryFileSizes(gSetup->wineboot).c_str(),
              RegistryFileSizes(gSetup->tiny).c_str());
  const double wizard = bench::Median(gWizard.seconds), tiny = bench::Median(gTinyWizard.seconds);
  const double lookAlike = bench::Median(gLookAlike.seconds), empty = bench::Median(gEmpty.seconds);
  const double ratio = wizard / lookAlike;
  std::printf("wizard on the wineboot-sized prefix / look-alike: %.2f (limit %.2f): %s\n", ratio, kLimit,
              ratio <= kLimit ? "within" : "ABOVE the limit");
  std::printf("for reference: wizard on the tiny prefix / look-alike %.2f; the registry's share %.1f ms; "
              "wizard on the wineboot-sized prefix / empty window %.2f, look-alike / empty window %.2f\n",
              tiny / lookAlike, (wizard - tiny) * 1e3, wizard / empty, lookAlike / empty);
  return ratio <= kLimit;
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("KELVARO_EMPTY_WINDOW_PROBE")) return RunEmptyWindow(argc, argv);
  if (std::getenv("KELVARO_LOOK_ALIKE_PROBE")) return RunLookAlikeWindow(argc, argv);
  benchmark::Initialize(&argc, argv);
  Setup setup;
  gSetup = &setup;
  bench::AppendWinebootShapedKeys(setup.tiny.root(), {});
  bench::AppendWinebootShapedKeys(setup.wineboot.root(), bench::kWinebootSizes);
  PackUpdate(&setup);
  // One start of each first, so that none pays for cold caches.
  for (const Program& program : gPrograms) program.start();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // Figures from a run cut short would compare a few starts: none then.
  if (!gAllOnScreen || gWizard.seconds.empty()) {
    std::printf("no figures: a program did not come on screen\n");
    return 1;
  }
  const bool within = PrintFigures();
  bench::PrintWineSideBySide(StartWizard, 12);
  gSetup = nullptr;
  return within ? 0 : 1;
}
