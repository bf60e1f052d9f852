// --help and --version, answered alike by every tool: the help on standard
// output with the usage, the options and every exit code; the version as
// "<tool> <version>"; exit code 0 and nothing on standard error.
#include <gtest/gtest.h>

#include "fixtures/tool_run.h"

#if defined(KELVARO_UPDATE_BATCH) && defined(KELVARO_PACK) && defined(KELVARO_INSPECT)

namespace {

struct Tool {
  const char* name;
  const char* path;
  std::vector<const char*> helpMentions;  // options and exit codes the help must explain
};

const Tool kTools[] = {
    {"kelvaro-update-batch",
     KELVARO_UPDATE_BATCH,
     {"--answer yes|no", "--json FILE", "WINEPREFIX", "\n  0 ", "\n  1 ", "\n  2 ", "\n  3 ", "\n  4 ", "\n  64 "}},
    {"kelvaro-pack",
     KELVARO_PACK,
     {"-o OUT", "--base EXE", "--list EXE", "--extract EXE NAME TARGET", "\n  0 ", "\n  1 ", "\n  2 "}},
    {"kelvaro-inspect",
     KELVARO_INSPECT,
     {"compare INSTALLED CARRIED", "db CONNECTION", "reg query", "version FILE", "\n  0 ", "\n  1 ", "\n  2 "}},
};

using fixtures::ToolRun;

ToolRun Start(const char* path, const QStringList& args) {
  return fixtures::RunTool(QString::fromUtf8(path), args, 30000);
}

TEST(StandardOptions, HelpShowsUsageOptionsAndExitCodes) {
  for (const Tool& tool : kTools) {
    for (const char* option : {"--help", "-h"}) {
      const ToolRun run = Start(tool.path, {QString::fromLatin1(option)});
      EXPECT_EQ(run.exitCode, 0) << tool.name << " " << option;
      EXPECT_EQ(run.err, QString()) << tool.name << " " << option;
      EXPECT_TRUE(run.out.startsWith(QStringLiteral("usage: ") + QString::fromLatin1(tool.name)))
          << run.out.toStdString();
      for (const char* text : {"--help", "--version", "Exit codes:"})
        EXPECT_TRUE(run.out.contains(QString::fromLatin1(text))) << tool.name << " lacks " << text;
      for (const char* text : tool.helpMentions)
        EXPECT_TRUE(run.out.contains(QString::fromLatin1(text))) << tool.name << " lacks " << text;
    }
  }
}

TEST(StandardOptions, VersionIsTheProgramVersion) {
  for (const Tool& tool : kTools) {
    const ToolRun run = Start(tool.path, {QStringLiteral("--version")});
    EXPECT_EQ(run.exitCode, 0) << tool.name;
    EXPECT_EQ(run.out, QString::fromLatin1(tool.name) + QStringLiteral(" " KELVARO_PROGRAM_VERSION "\n"));
    EXPECT_EQ(run.err, QString()) << tool.name;
  }
}

}  // namespace

#endif
