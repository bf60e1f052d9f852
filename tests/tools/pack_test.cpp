// kelvaro-pack run as its own process: packing, listing, extracting,
// repacking, and the inputs it refuses.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <filesystem>
#include <fstream>

#include "engine/resource_pack.h"
#include "fixtures/temp_prefix.h"
#include "fixtures/tool_run.h"

#if defined(KELVARO_PACK)

namespace {

namespace fs = std::filesystem;

using PackRun = fixtures::ToolRun;

PackRun pack(const QStringList& args) { return fixtures::RunTool(QStringLiteral(KELVARO_PACK), args); }

// Standard output of a host tool (binutils' readelf), or empty.
QString toolOutput(const QString& program, const QStringList& args) {
  QProcess process;
  process.start(program, args);
  process.waitForFinished(30000);
  return QString::fromUtf8(process.readAllStandardOutput());
}

QString buildId(const QString& elf) {
  const QRegularExpressionMatch found =
      QRegularExpression(QStringLiteral("Build ID: ([0-9a-f]+)")).match(toolOutput(QStringLiteral("readelf"), {"-n", elf}));
  return found.hasMatch() ? found.captured(1) : QString();
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class PackTest : public ::testing::Test {
 protected:
  QString path(const std::string& name) const { return QString::fromStdString(dir_.path() + "/" + name); }

  // A file with a known last-write time (2024-01-20 05:20:00 UTC).
  QString makeFile(const std::string& name, const std::string& bytes) {
    const std::string host = dir_.path() + "/" + name;
    fs::create_directories(fs::path(host).parent_path());
    std::ofstream(host, std::ios::binary) << bytes;
    using namespace std::chrono;
    fs::last_write_time(host, file_clock::from_sys(sys_seconds(seconds(1705728000))));
    return QString::fromStdString(host);
  }

  // A real executable as the base, so the packed result must still run.
  QString base() {
    const std::string host = dir_.path() + "/base";
    fs::copy_file("/bin/true", host, fs::copy_options::overwrite_existing);
    return QString::fromStdString(host);
  }

  fixtures::TempDir dir_;
};

TEST_F(PackTest, PacksListsAndExtracts) {
  const QString updates = makeFile("in/Updates.txt", "Torvida\r\n");
  const QString library = makeFile("in/WKTorvida2.dll", std::string(300000, 'L') + "end");
  // A name that looks like a placeholder stays a name in the listing.
  const QString list = makeFile("in/Liste %2.lst", "[Liste]");
  const QString out = path("MajTorvida");
  const PackRun packed = pack({"-o", out, "--base", base(), updates, library, list});
  ASSERT_EQ(packed.exitCode, 0) << packed.err.toStdString();

  EXPECT_EQ(fs::status(out.toStdString()).permissions() & fs::perms::all, static_cast<fs::perms>(0755));
  EXPECT_EQ(readAll(out.toStdString()).substr(0, fs::file_size("/bin/true")), readAll("/bin/true"));
  EXPECT_EQ(QProcess::execute(out, {}), 0) << "the packed executable still runs";

  const PackRun listed = pack({"--list", out});
  ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
  EXPECT_EQ(listed.out,
            "UPDATES.TXT\t9\t2024-01-20T05:20:00Z\n"
            "WKTORVIDA2.DLL\t300003\t2024-01-20T05:20:00Z\n"
            "LISTE %2.LST\t7\t2024-01-20T05:20:00Z\n");

  const QString target = path("extracted.dll");
  const PackRun extracted = pack({"--extract", out, "wktorvida2.DLL", target});
  ASSERT_EQ(extracted.exitCode, 0) << extracted.err.toStdString();
  EXPECT_EQ(readAll(target.toStdString()), readAll(library.toStdString()));
  EXPECT_EQ(fs::last_write_time(target.toStdString()), fs::last_write_time(library.toStdString()));
}

// Without --base the packer takes the stripped wizard beside it: an update
// carrying a few small texts weighs under 1.5 MB (28 MB on the wizard with its
// debug information), still starts to its welcome page, and names the
// debugging symbols kept beside that wizard.
TEST_F(PackTest, WithoutBaseTheUpdateIsPackedOntoTheStrippedWizard) {
  const QString out = path("MajTorvida");
  const PackRun packed = pack({"-o", out, makeFile("in/Updates.txt", "Torvida\r\n"),
                               makeFile("in/AppInfo1.txt", "Mise \xe0 jour Torvida\r\n"),
                               makeFile("in/AppInfo2.txt", "Nouvelle version.\r\n"),
                               makeFile("in/UpdateInfo.txt", "{\\rtf1\\ansi Nouveaut\\'e9s\\par}")});
  ASSERT_EQ(packed.exitCode, 0) << packed.err.toStdString();
#ifdef KELVARO_SANITIZED_BUILD
  // The sanitizers' instrumentation alone takes the stripped wizard to ~7 MB.
  constexpr uintmax_t kMostBytes = 10'000'000u;
#else
  constexpr uintmax_t kMostBytes = 1'500'000u;
#endif
  EXPECT_LT(fs::file_size(out.toStdString()), kMostBytes);

  fixtures::TempPrefix prefix;
  QProcess wizard;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  env.insert(QStringLiteral("KELVARO_STARTUP_PROBE"), QStringLiteral("1"));
  wizard.setProcessEnvironment(env);
  wizard.start(out, {});
  ASSERT_TRUE(wizard.waitForFinished(60000));
  EXPECT_EQ(wizard.exitCode(), 0) << wizard.readAllStandardError().toStdString();
  EXPECT_TRUE(wizard.readAllStandardOutput().startsWith("welcome-shown ")) << "the packed wizard showed its welcome page";

  const QString symbols = QFileInfo(QStringLiteral(KELVARO_PACK)).absolutePath() + QStringLiteral("/kelvaro-update.debug");
  EXPECT_TRUE(toolOutput(QStringLiteral("readelf"), {"--string-dump=.gnu_debuglink", out}).contains("kelvaro-update.debug"));
  EXPECT_FALSE(buildId(out).isEmpty());
  EXPECT_EQ(buildId(symbols), buildId(out)) << "the symbols beside the wizard are the packed wizard's";
  EXPECT_TRUE(toolOutput(QStringLiteral("readelf"), {"-S", symbols}).contains(".debug_info"));
}

TEST_F(PackTest, PayloadsUseTheMaximumLevel) {
  const QString out = path("MajTorvida");
  ASSERT_EQ(pack({"-o", out, "--base", base(), makeFile("a.txt", "abc")}).exitCode, 0);
  const std::string bytes = readAll(out.toStdString());
  EXPECT_EQ(bytes.substr(fs::file_size("/bin/true"), 2), "\x78\xDA");
}

TEST_F(PackTest, RepackingReplacesTheCarriedFiles) {
  const QString first = path("first");
  const QString second = path("second");
  ASSERT_EQ(pack({"-o", first, "--base", base(), makeFile("old.txt", "old"), makeFile("Updates.txt", "v1")}).exitCode, 0);
  ASSERT_EQ(pack({"-o", second, "--base", first, makeFile("Updates.txt", "v2")}).exitCode, 0);
  EXPECT_EQ(pack({"--list", second}).out, "UPDATES.TXT\t2\t2024-01-20T05:20:00Z\n");
  EXPECT_EQ(readAll(second.toStdString()).substr(0, fs::file_size("/bin/true")), readAll("/bin/true"));
  // Packing in place works too, and still leaves one set.
  ASSERT_EQ(pack({"-o", second, "--base", second, makeFile("Updates.txt", "v3")}).exitCode, 0);
  EXPECT_EQ(pack({"--list", second}).out, "UPDATES.TXT\t2\t2024-01-20T05:20:00Z\n");
  EXPECT_EQ(QProcess::execute(second, {}), 0);
}

TEST_F(PackTest, RefusedInputsLeaveTheOutputAsItWas) {
  const QString out = path("MajTorvida");
  std::ofstream(out.toStdString()) << "previous output";
  struct Case {
    const char* what;
    QStringList files;
  } cases[] = {
      {"colon", {makeFile("a:b.txt", "x")}},
      {"backslash", {makeFile("a\\b.txt", "x")}},
      {"control character", {makeFile("a\tb.txt", "x")}},
      {"same name ignoring case", {makeFile("one/Updates.txt", "1"), makeFile("two/UPDATES.txt", "2")}},
      {"missing file", {path("absent.txt")}},
      {"a folder", {path("one")}},
  };
  for (const Case& c : cases) {
    const PackRun run = pack(QStringList{"-o", out, "--base", base()} + c.files);
    EXPECT_EQ(run.exitCode, 1) << c.what;
    EXPECT_FALSE(run.err.isEmpty()) << c.what;
    EXPECT_EQ(readAll(out.toStdString()), "previous output") << c.what;
  }
}

TEST_F(PackTest, ExtractFailures) {
  const QString out = path("MajTorvida");
  ASSERT_EQ(pack({"-o", out, "--base", base(), makeFile("Updates.txt", "Torvida")}).exitCode, 0);
  const PackRun absent = pack({"--extract", out, "Steps.txt", path("steps")});
  EXPECT_EQ(absent.exitCode, 1);
  EXPECT_TRUE(absent.err.contains("Steps.txt"));
  EXPECT_FALSE(fs::exists(path("steps").toStdString()));

  // Damage the payload's last byte (its Adler-32): extraction fails and
  // leaves the existing target whole.
  std::string bytes = readAll(out.toStdString());
  // The payload ends where the index starts: before one entry (offset, size,
  // SHA-256, name length, "UPDATES.TXT" in UTF-16) and the 40-byte trailer.
  const size_t payloadEnd = bytes.size() - 40 - (8 + 8 + 32 + 2 + 2 * 11);
  bytes[payloadEnd - 1] ^= 0x55;
  std::ofstream(out.toStdString(), std::ios::binary | std::ios::trunc) << bytes;
  std::ofstream(path("kept").toStdString()) << "kept";
  const PackRun damaged = pack({"--extract", out, "Updates.txt", path("kept")});
  EXPECT_EQ(damaged.exitCode, 1);
  EXPECT_TRUE(damaged.err.contains("Updates.txt")) << damaged.err.toStdString();
  EXPECT_EQ(readAll(path("kept").toStdString()), "kept");
}

}  // namespace

#endif
