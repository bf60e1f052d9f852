// The workstation part of an update run as one unit: a run that fails at any
// of its changes leaves the installation exactly as it was (bytes, times,
// modes, owners, registry values), and the next run goes through; a run cut
// short leaves a journal that the next run plays backwards first; a damaged
// journal is played only as far as it can be trusted.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "engine/change_journal.h"
#include "engine/workstation_unit.h"
#include "engine_fixture.h"
#include "fixtures/registry_values.h"
#include "platform/system.h"
#include "support/registry_access.h"

namespace {

using namespace kelvaro;
using enginetest::Day;
namespace fs = std::filesystem;

const std::string kFolder = "C:\\WKelvaro\\Torvida\\Programs\\";
const QString kFolderQ = QString::fromStdString(kFolder);
const std::string kLibrary = kFolder + "WKTorvida2.dll";
const QString kProgramKey = QStringLiteral("SOFTWARE\\KELVARO S.A.\\Torvida\\Program");

std::string ReadHost(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

struct Entry {
  std::string bytes;  // "<folder>" for a folder
  int64_t modified = 0;
  mode_t mode = 0;
  uid_t owner = 0;
  bool operator==(const Entry&) const = default;
};

// What differs between two snapshots, one line per entry: for a failure's
// message.
std::string Differences(const std::map<std::string, Entry>& before, const std::map<std::string, Entry>& after) {
  std::string out;
  for (const auto& [path, entry] : before) {
    const auto now = after.find(path);
    if (now == after.end()) out += path + ": gone\n";
    else if (!(now->second == entry))
      out += path + ": " + (now->second.bytes != entry.bytes ? "bytes " : "") +
             (now->second.modified != entry.modified ? "time " : "") + (now->second.mode != entry.mode ? "mode " : "") +
             (now->second.owner != entry.owner ? "owner" : "") + "\n";
  }
  for (const auto& [path, entry] : after)
    if (!before.count(path)) out += path + ": new\n";
  return out;
}

class WorkstationUnitTest : public enginetest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    carry({{QStringLiteral("WKTorvida2.dll"), "new library"}, {QStringLiteral("IBANKernel.dll"), "new kernel"},
           {QStringLiteral("Torvida.chm"), "help"},           {QStringLiteral("ssleay32.dll"), "ssl"},
           {QStringLiteral("libeay32.dll"), "new crypto"}});
  }
  void TearDown() override {
    FailChangeForTests(0);
    EngineTest::TearDown();
  }

  // An older installation: the library, two companions (one read-only) and
  // the program registered under another spelling of its path.
  void install() {
    writeFile(kLibrary, "old library", Day(-1));
    writeFile(kFolder + "libeay32.dll", "old crypto", Day(-2));
    writeFile(kFolder + "IBANKernel.dll", "old kernel", Day(-3));
    ASSERT_EQ(chmod(prefix.hostPath(kFolder + "IBANKernel.dll").c_str(), 0444), 0);
    WriteRegistryString(kHkeyCurrentUser, kProgramKey, QStringLiteral("Filename"),
                        QStringLiteral("C:\\WKELVARO\\TORVIDA\\PROGRAMS\\WKTORVIDA2.DLL"));
  }

  // Every file and folder of the installation with its bytes, time, mode
  // and owner, and the values of both registry files.
  std::map<std::string, Entry> snapshot() const {
    std::map<std::string, Entry> entries;
    const std::string root = prefix.hostPath("C:\\WKelvaro");
    for (const auto& item : fs::recursive_directory_iterator(root)) {
      struct stat st {};
      lstat(item.path().c_str(), &st);
      // A folder's own time changes with every name made or removed in it,
      // a run's temporary files included: its names are what counts.
      const bool folder = item.is_directory();
      entries[item.path().string()] = {folder ? "<folder>" : ReadHost(item.path().string()),
                                       folder ? 0 : int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                                       st.st_mode, st.st_uid};
    }
    for (const char* file : {"/user.reg", "/system.reg"})
      entries[file] = {fixtures::RegistryValues(prefix.root() + file), 0, 0, 0};
    return entries;
  }

  RunUpdateOutcome runUpdate() {
    report().clear();
    return RunUpdate(*engine, {QStringLiteral("Torvida")}, QStringLiteral("Titre"));
  }

  // The library replaced through the door in place, through a new file as
  // the program's copies replace it.
  bool replaceLibrary(const std::string& bytes) {
    const QString library = QString::fromStdString(kLibrary);
    return Changes().WriteFile(library, QString(), [&] { return platform::WriteFileContents(toW(library), bytes); });
  }

  bool journalLeft() const { return exists("C:\\ProgramData\\Kelvaro\\journal.txt"); }
  bool keptLeft() const {
    for (const auto& item : fs::recursive_directory_iterator(prefix.hostPath("C:\\WKelvaro")))
      if (item.path().string().find(".kelvaro-kept") != std::string::npos) return true;
    return false;
  }
  QString reportText() const { return scripted.user.report.join(QStringLiteral("\n")); }
};

// The changes of the run in their order: the library, its registration,
// then the companions (replaced, created, created, replaced). A failed
// registration is a warning and the files stand; any other failed change
// undoes every change before it.
TEST_F(WorkstationUnitTest, AFailureAtAnyChangeLeavesTheInstallationAsItWas) {
  struct Case {
    int failing;
    const char* change;
    bool undone;
  };
  const std::vector<Case> cases = {{1, "the library", true},          {2, "its registration", false},
                                   {3, "a read-only companion", true}, {4, "a new help file", true},
                                   {5, "a new companion", true},       {6, "the last companion", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.change);
    install();
    const auto before = snapshot();
    FailChangeForTests(c.failing);
    const RunUpdateOutcome failed = runUpdate();
    FailChangeForTests(0);
    EXPECT_FALSE(journalLeft());
    EXPECT_FALSE(keptLeft());
    if (c.undone) {
      EXPECT_EQ(failed.result, urtKo);
      EXPECT_TRUE(failed.undone);
      EXPECT_TRUE(failed.notRestored.isEmpty());
      EXPECT_EQ(Differences(before, snapshot()), "");
      EXPECT_TRUE(reportText().contains(QStringLiteral(
          "Les fichiers et le registre ont été remis dans l'état où ils étaient avant la mise à jour.")))
          << reportText().toStdString();
      EXPECT_TRUE(reportText().endsWith(QStringLiteral("La mise à jour a échouée !")));
      // With the fault gone, the same update goes through.
      EXPECT_EQ(runUpdate().result, urtOk) << reportText().toStdString();
      EXPECT_EQ(read(kLibrary), "new library");
      EXPECT_EQ(read(kFolder + "ssleay32.dll"), "ssl");
    } else {
      EXPECT_EQ(failed.result, urtWarning);
      EXPECT_FALSE(failed.undone);
      EXPECT_EQ(read(kLibrary), "new library");
    }
    EXPECT_FALSE(journalLeft());
    EXPECT_FALSE(keptLeft());
    fs::remove_all(prefix.hostPath("C:\\WKelvaro"));
  }
}

// A run that stops between two changes (here: its unit neither kept nor
// undone, as a killed process leaves it) is undone by the next run before
// it starts, which says so and then updates.
TEST_F(WorkstationUnitTest, AnInterruptedRunIsUndoneByTheNextOneFirst) {
  install();
  const auto before = snapshot();
  {
    WorkstationUnit cut;
    ScopedChanges door(&cut);
    ASSERT_TRUE(replaceLibrary("half of an update"));
    ASSERT_TRUE(Changes().WriteFile(kFolderQ + QStringLiteral("Torvida.chm"), QString(), [&] {
      return platform::WriteFileContents(toW(kFolderQ + QStringLiteral("Torvida.chm")), "help");
    }));
    ASSERT_TRUE(Changes().CreateFolder(kFolderQ + QStringLiteral("Aide\\Images")));
  }
  ASSERT_TRUE(journalLeft());

  const RestoreOutcome restored = RestoreUnfinishedUnit();
  EXPECT_TRUE(restored.found);
  EXPECT_TRUE(restored.complete) << restored.failures.join(QStringLiteral("\n")).toStdString();
  EXPECT_EQ(Differences(before, snapshot()), "");
  EXPECT_FALSE(journalLeft());
  EXPECT_FALSE(keptLeft());
  EXPECT_FALSE(RestoreUnfinishedUnit().found) << "restoring twice finds nothing more";
}

// A run stopped once its changes stood, while it removed what it had kept:
// the next start only finishes that, and undoes nothing.
TEST_F(WorkstationUnitTest, AStopAfterTheChangesStoodLeavesThemAndOnlyItsKeptFilesGo) {
  install();
  {
    WorkstationUnit cut;
    ScopedChanges door(&cut);
    ASSERT_TRUE(replaceLibrary("new library"));
    JournalRecord keep;
    keep.kind = JournalRecord::Keep;
    ASSERT_TRUE(AppendToJournal(keep));  // stopped right after its keep record
  }
  ASSERT_TRUE(keptLeft());
  const RestoreOutcome outcome = RestoreUnfinishedUnit();
  EXPECT_FALSE(outcome.found);
  EXPECT_TRUE(outcome.complete);
  EXPECT_EQ(read(kLibrary), "new library");
  EXPECT_FALSE(keptLeft());
  EXPECT_FALSE(journalLeft());
}

TEST_F(WorkstationUnitTest, TheNextRunSaysWhatItUndidBeforeUpdating) {
  install();
  {
    WorkstationUnit cut;
    ScopedChanges door(&cut);
    ASSERT_TRUE(replaceLibrary("half of an update"));
  }
  const RunUpdateOutcome next = runUpdate();
  EXPECT_EQ(next.result, urtOk) << reportText().toStdString();
  EXPECT_TRUE(next.restoredEarlierRun);
  EXPECT_TRUE(reportText().contains(QStringLiteral(
      "Une mise à jour précédente a été interrompue : les fichiers et le registre ont été remis dans l'état où "
      "ils étaient avant elle.")));
  EXPECT_EQ(read(kLibrary), "new library");
  EXPECT_FALSE(journalLeft());
}

// A journal is only trusted as far as it can be: what it names outside the
// folders it recorded, a line that was changed, a folder now reached through
// a link, or a cut last line never leads to a write or a deletion there.
TEST_F(WorkstationUnitTest, ADamagedJournalChangesNothingItCannotTrust) {
  const std::string journal = "C:\\ProgramData\\Kelvaro\\journal.txt";
  const std::string outside = "C:\\Autre\\important.txt";
  auto line = [](JournalRecord::Kind kind, const QString& path) {
    JournalRecord r;
    r.kind = kind;
    r.path = path;
    if (kind == JournalRecord::Folder) r.host = ResolvedHostFolder(path);
    return r;
  };
  struct Case {
    const char* what;
    std::function<std::string(const std::string& header)> journalText;
    bool complete;
    std::function<void()> before;
  };
  const QString created = kFolderQ + QStringLiteral("Nouveau.dll");
  // Made once the folder exists: a folder's record holds where it leads.
  const auto header = [&] {
    return "KELVARO-JOURNAL 1\n" + JournalLine(line(JournalRecord::Begin, {})) +
           JournalLine(line(JournalRecord::Folder, kFolderQ));
  };
  const std::vector<Case> cases = {
      {"a path climbing out of the installation",
       [&](const std::string& h) {
         return h + JournalLine(line(JournalRecord::Create, kFolderQ + QStringLiteral("..\\..\\..\\Autre\\important.txt")));
       },
       false, nullptr},
      {"a path in a folder it never recorded",
       [&](const std::string& h) { return h + JournalLine(line(JournalRecord::Create, QString::fromStdString(outside))); },
       false, nullptr},
      {"a line edited after it was written",
       [&](const std::string& h) {
         std::string edited = JournalLine(line(JournalRecord::Create, created));
         edited.replace(edited.find("Nouveau"), 7, "Autre00");
         return h + edited;
       },
       false, nullptr},
      {"the last line cut while it was written",
       [&](const std::string& h) {
         const std::string last = JournalLine(line(JournalRecord::Create, created));
         return h + last.substr(0, last.size() - 5);
       },
       true, nullptr},
      {"the folder now a link to another",
       [&](const std::string& h) { return h + JournalLine(line(JournalRecord::Create, created)); }, false,
       [&] {
         fs::remove_all(prefix.hostPath(kFolder));
         fs::create_symlink(prefix.hostPath("C:\\Autre"), prefix.hostPath("C:\\WKelvaro\\Torvida\\Programs"));
         prefix.writeFile("C:\\Autre\\Nouveau.dll", "someone else's");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    install();
    prefix.writeFile(outside, "keep me");
    prefix.writeFile(kFolder + "Nouveau.dll", "made by the cut run");
    const std::string text = c.journalText(header());
    if (c.before) c.before();
    prefix.writeFile(journal, text);
    const RestoreOutcome outcome = RestoreUnfinishedUnit();
    EXPECT_EQ(outcome.complete, c.complete) << outcome.failures.join(QStringLiteral("\n")).toStdString();
    EXPECT_EQ(prefix.readFile(outside), "keep me");
    if (c.before) {
      EXPECT_EQ(prefix.readFile("C:\\Autre\\Nouveau.dll"), "someone else's");
    } else {
      EXPECT_EQ(read(kLibrary), "old library");
      EXPECT_TRUE(exists(kFolder + "Nouveau.dll")) << "a file the journal cannot vouch for was deleted";
    }
    // Not trusted whole, the journal stays for the next start and for
    // kelvaro-inspect; trusted, it is gone.
    EXPECT_EQ(journalLeft(), !c.complete);
    if (!c.complete) {
      EXPECT_FALSE(outcome.failures.isEmpty());
    }
    fs::remove_all(prefix.hostPath("C:\\WKelvaro"));
    fs::remove_all(prefix.hostPath("C:\\Autre"));
    fs::remove_all(prefix.hostPath("C:\\ProgramData\\Kelvaro"));
  }
}

// A run that cannot undo what an earlier one left goes no further: the
// installation is neither the old nor the new one.
TEST_F(WorkstationUnitTest, ARunDoesNotBuildOnAnInstallationItCouldNotPutBack) {
  install();
  prefix.writeFile("C:\\ProgramData\\Kelvaro\\journal.txt", "KELVARO-JOURNAL 1\n00000000\tcreate\tC:\\x\n");
  const RunUpdateOutcome outcome = runUpdate();
  EXPECT_EQ(outcome.result, urtKo);
  EXPECT_FALSE(outcome.notRestored.isEmpty());
  EXPECT_EQ(read(kLibrary), "old library");
  EXPECT_TRUE(reportText().contains(QStringLiteral("La mise à jour n'est pas lancée")));
  EXPECT_TRUE(journalLeft());
}

}  // namespace
