// The installation the crash-consistency driver kills updates on: a fixture
// prefix with the address manager installed (a program library of several
// MB and its companions), large user.reg and system.reg, four companies
// (three named, the default one) whose databases live on the Firebird
// server, and a packed update carrying newer files and three print lists,
// one of which some companies already hold.
//
// Reset() puts the files, the registry files and the print-list tables back
// as they were before any run, so every killed run starts from the same
// state. The checks compare what a run left with the two states a file, a
// registry value or a list row may be in: the old one and the new one.
// Everything (prefix, databases) is removed when the object goes.
#pragma once

#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "db/company_database.h"
#include "fixtures/temp_prefix.h"

namespace reliability {

// What a run of kelvaro-update-batch left on its standard streams.
struct RunResult {
  bool killed = false;
  qint64 pid = 0;
  int exitCode = -1;
  QString out;  // the report, date and temporary names made constant
  QString err;
  qint64 elapsedMs = 0;
  qint64 firstCopyMs = -1;   // when the first "Copie de" line came
  qint64 firstListsMs = -1;  // when the first company heading came
};

// Print-list keys found in each company's table, company by company.
using StoredKeys = std::vector<std::set<QString>>;

class CrashInstallation {
 public:
  // libraryMb: the size of the program library, in MB.
  explicit CrashInstallation(int libraryMb = 6);
  ~CrashInstallation();
  CrashInstallation(const CrashInstallation&) = delete;
  CrashInstallation& operator=(const CrashInstallation&) = delete;

  // The old files, the original registry files and the old rows again; no
  // file of an earlier run is left in the program folder.
  void Reset();

  // A run to its end (--answer yes: a library already replaced by a killed
  // run brings the same-version question).
  RunResult Run();
  // A run killed with SIGKILL delayMs after it started, unless it ended
  // first.
  RunResult RunKilledAfter(qint64 delayMs);

  // Waits until the server has let go of every attachment of the process
  // (a request it was serving when the process died, a commit for one, ends
  // first). Returns whether some attachment was still there.
  bool WaitUntilServerDrops(qint64 pid) const;
  // What a killed run may leave: every installed file the old or the new
  // one, both registry files readable with every value they held, every
  // list row complete in its old or new form. Faults go to violations;
  // stored receives each company's list keys.
  void CheckConsistent(std::vector<std::string>* violations, StoredKeys* stored);
  // What a finished run must leave: the new files only, no temporary file
  // of any run, every list in its new form.
  void CheckCompleted(std::vector<std::string>* violations);
  // Undoes what a killed run left, as the next start does, through
  // kelvaro-inspect journal restore; its exit code.
  int RestoreAfterKill();
  // What the undoing must leave: the program's files all old (and the new
  // ones absent) or all new, no kept file, no journal. Faults go to
  // violations.
  void CheckWholeUnit(std::vector<std::string>* violations) const;
  // The report a run gives when it starts from the lists stored.
  QString ExpectedReport(const StoredKeys& stored) const;
  // Temporary files ("~kvtmp...") in the program folder.
  int LeftoverCount() const;
  // Names of the companies as the report shows them.
  static QStringList CompanyNames();

 private:
  struct CarriedFile {
    std::string name;
    std::optional<std::string> oldBytes;  // none: not installed before
    std::string newBytes;
  };
  struct CarriedList {
    QString file;        // as PrintLists.txt names it
    QString key;         // the row's pname
    QString definition;  // the carried text, Latin-1 only
  };
  using RegistryValues = std::map<std::string, std::string>;

  void buildFiles();
  void buildRegistry();
  void buildDatabases();
  void pack();
  void resetRows(const dbtest::CompanyDatabase& db, bool holdsOldLists) const;
  std::string programFolder() const;
  void checkFiles(bool completed, std::vector<std::string>* violations) const;
  void checkRegistry(std::vector<std::string>* violations) const;
  void checkRows(bool completed, std::vector<std::string>* violations, StoredKeys* stored) const;
  void checkNoTemporaries(std::vector<std::string>* violations) const;
  bool journalLeft() const;
  static bool ReadRegistry(const std::string& file, RegistryValues* values, std::string* error);

  fixtures::TempPrefix prefix_;
  std::string work_;
  std::string update_;
  int libraryMb_;
  std::vector<CarriedFile> files_;
  std::vector<CarriedList> lists_;
  std::vector<std::unique_ptr<dbtest::CompanyDatabase>> databases_;
  std::vector<bool> holdsOldLists_;
  std::map<std::string, std::string> registryFiles_;  // name -> original bytes
  std::map<std::string, RegistryValues> registryBefore_;
};

}  // namespace reliability
