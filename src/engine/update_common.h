// TdmUpdateCommon: the update engine. One instance lives from start-up to the
// end of the program (dmUpdateCommon); the wizard runs one product routine on
// it.
//
// What it promises when things go wrong: an installed file is replaced only
// through a temporary file in its own folder and one rename, so a failed or
// interrupted copy leaves the installed file as it was; a file in use by
// another process is never overwritten; every temporary file of a run
// ("Update<n>.tmp" in the user's temporary folder) is deleted when the engine
// is destroyed, together with any left behind by earlier runs.
//
// The members are defined in one file per concern: update_common.cpp
// (creation and destruction), update_report.cpp (the report lines and file
// methods), update_resources.cpp (loading carried text files), update_files.cpp
// (temporary files and replacement), folder_discovery.cpp, product_*.cpp (the
// product routines) and print_list_installation.cpp.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "products/product_table.h"

class QTextEdit;

namespace kelvaro {

class ReportSink;
class TWindowsInstaller;
class TdmStructurePrinting;
namespace db {
class TdmDBConnection;
}
using db::TdmDBConnection;

// What the print-list installation did for one company, for runners that
// give the outcome in another form than the report (a JSON document).
struct CompanyListsOutcome {
  QString company;       // as the report names it ("Default" for the default one)
  QStringList added;     // keys of the lists inserted
  QStringList updated;   // keys of the lists that were there and were updated
  QStringList failures;  // why lists of this company were not installed
};

// Called as each company's lists begin: its number (from 1), how many
// companies the run works on, and its name as the report gives it.
using CompanyProgress = std::function<void(int number, int count, const QString& company)>;

class TdmUpdateCommon {
 public:
  // DataModuleCreate: loads the company list and creates the installer
  // toolkit, the connection module and the print-list storage module.
  TdmUpdateCommon();
  // DataModuleDestroy: frees what creation made and deletes every
  // "Update*.tmp" file of the temporary folder.
  ~TdmUpdateCommon();
  TdmUpdateCommon(const TdmUpdateCommon&) = delete;
  TdmUpdateCommon& operator=(const TdmUpdateCommon&) = delete;

  // --- Carried files --------------------------------------------------------
  int LoadResourceFileList(const QString& ResFileName, QStringList& DestList);
  // Defined with the wizard, where the rich-text control lives.
  int LoadResourceFileToRich(const QString& ResFileName, QTextEdit* DestEdit);

  // --- The report -----------------------------------------------------------
  void InitLog(ReportSink* LogRichEdit);
  void AddToLog(const QString& LogStr, int FontSize = 0, const QString& FontName = QString());
  void LogCopyFile(const QString& SourceFile, const QString& DestFile, bool LogFlag);
  void LogSameFile(const QString& DestFile);
  void LogNotReplacedFile(const QString& DestFile);
  void LogDeleteFile(const QString& Filename);

  // --- Temporary files and replacement --------------------------------------
  QString BuildTempFilename(const QString& FileName);
  bool ClearTempPath(const QString& FileMask);
  TUpdateResultType ReplaceFile(const QString& SourceFile, const QString& DestFile, bool CheckIfExists,
                                bool SimulateFlag);
  bool CopyListedFiles(const QString& DestPath, bool LogFlag);
  int GetSourceDriveType();

  // --- Finding the installation ---------------------------------------------
  void FindProductFolder(const QString& FolderName, QString& Path);

  // --- Product routines -----------------------------------------------------
  TUpdateResultType UpdateSorbano();
  TUpdateResultType UpdateTorvida();
  TUpdateResultType UpdatePastrel();
  TUpdateResultType UpdateNimbaro();
  TUpdateResultType UpdateBrevani();
  TUpdateResultType UpdateSolmiraFinance(TAppNameType AppType);
  TUpdateResultType UpdateQRV();
  TUpdateResultType UpdateCommon();
  TUpdateResultType UpdateCommonPDF();
  TUpdateResultType UpdateImagora();

  // --- Print lists ----------------------------------------------------------
  TUpdateResultType InstallPrintLists(const QString& DestPath);
  // One entry per company InstallPrintLists worked on, in order.
  const std::vector<CompanyListsOutcome>& listOutcomes() const { return mListOutcomes; }
  void SetCompanyProgress(CompanyProgress progress) { mCompanyProgress = std::move(progress); }

  // --- Company databases ----------------------------------------------------
  bool Connect(const QString& CompanyName);
  bool Disconnect();
  QString GetCompanyDatabaseName(const QString& ProductName, const QString& CompanyName);
  QString AddLocalServerPrefix(const QString& DatabaseName);

  TAppNameType AppNameType() const { return FAppNameType; }
  void SetAppNameType(TAppNameType type) { FAppNameType = type; }

  TWindowsInstaller& installer() { return *mInstaller; }
  // The carried files CopyListedFiles copies ("FileNames.txt" once loaded).
  QStringList& namesList() { return mNamesList; }
  TdmDBConnection& dbConnection() { return *mDbConnection; }

 private:
  bool TryConnect(int Version, const QString& Identifier);
  bool InstallListsForCompanies(const QString& DestPath);
  bool InstallListsForCompany(const QString& Company);
  void InstallList(const QString& Name);

  ReportSink* mLog = nullptr;
  std::unique_ptr<TWindowsInstaller> mInstaller;
  QStringList mPrintNames;
  QStringList mNamesList;
  std::unique_ptr<TdmDBConnection> mDbConnection;
  std::unique_ptr<TdmStructurePrinting> mStructurePrinting;
  // The company Connect is working for ("Default" once an attempt began).
  QString mConnectCompany;
  // The carried bytes of the list being installed.
  QByteArray mListBuffer;
  std::vector<CompanyListsOutcome> mListOutcomes;
  CompanyProgress mCompanyProgress;
  TAppNameType FAppNameType = antUnknown;
};

// The engine of the running program, created at start-up.
extern TdmUpdateCommon* dmUpdateCommon;

}  // namespace kelvaro
