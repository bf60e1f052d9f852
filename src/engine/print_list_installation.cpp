// TdmUpdateCommon::InstallPrintLists: the carried print lists installed into
// the database of every company of the product, or, for the product that
// keeps its lists as files, written into its folder.
//
// What this promises when things go wrong: each list is stored in its own
// transaction, so a failure keeps every list committed before it and leaves
// no half-stored one; a list that meets another workstation storing it at
// the same moment is tried again (a bounded number of times) instead of
// failing; the company being worked on is always disconnected; a company
// that cannot be reached is reported and the others are still done; a
// company file that exists but could not be read installs nothing and is
// reported; any other failure ends the installation with "Cannot import
// resource files".
#include <algorithm>
#include <exception>

#include "db/concurrent_conflict.h"
#include "db/db_connection.h"
#include "db/table_reservation.h"
#include "engine/resource_file.h"
#include "engine/update_common.h"
#include "printlists/company_list.h"
#include "printlists/list_definition.h"
#include "printlists/structure_printing.h"
#include "products/product_paths.h"
#include "platform/files.h"
#include "support/change_seam.h"
#include "support/errors.h"
#include "support/text.h"

namespace kelvaro {

namespace {

const QString kCompanyHeading = QStringLiteral("Mise à jour de listes pour la société ");
const QString kConnectionFailure =
    QStringLiteral("Echec de connexion a la société %1, mise à jour des listes non effectuée.");
const QString kListPrefix = QStringLiteral("Les paramètres pour l'impression : \"");
const QString kUpdatedSuffix = QStringLiteral("\" ont été mise à jour.");
const QString kAddedSuffix = QStringLiteral("\" ont été ajoutés.");

// How long a list's bracket waits for its turn at the table: other
// workstations hold it for a few milliseconds each. A program that holds it
// longer (a transaction of its own that wrote to the table and is still
// open) is not waited for any further: the bracket then goes without its
// turn, as it would with no reservation at all.
constexpr int kListTableWaitSeconds = 1;

QString ShownCompanyName(const QString& company) {
  return company.isEmpty() ? QStringLiteral("Default") : company;
}

// The message of the exception being handled, for the outcome of the
// company it ended.
QString CurrentExceptionText() {
  try {
    throw;
  } catch (const Error& error) {
    return error.message();
  } catch (const std::exception& error) {
    return QString::fromLocal8Bit(error.what());
  } catch (...) {
    return QStringLiteral("unknown error");
  }
}

bool HasPrintLists(TAppNameType row) {
  switch (row) {
    case antWKS:
    case antWKR:
    case antTorvida:
    case antNimbaro:
    case antBrevani:
    case antQRV:
      return true;
    default:
      return false;
  }
}

// Where the extension starts: the last dot after the last path separator,
// or the end of the name.
qsizetype ExtensionStart(const QString& name) {
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  qsizetype separator = -1;
  for (QChar c : {QLatin1Char('\\'), QLatin1Char('/'), QLatin1Char(':')})
    separator = std::max(separator, name.lastIndexOf(c));
  return dot > separator ? dot : name.size();
}

bool IsListFile(const QString& name) {
  QString extension = name.mid(ExtensionStart(name));
  for (QChar& c : extension) {
    if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) c = QChar(c.unicode() + 32);
  }
  return extension == QStringLiteral(".lst");
}

}  // namespace

TUpdateResultType TdmUpdateCommon::InstallPrintLists(const QString& DestPath) {
  TUpdateResultType result = urtOk;
  // Lists stored in the companies' databases are not the workstation's:
  // what the routine changed there so far stands. Lists kept as files are,
  // and go with the rest.
  if (DestPath.isEmpty()) Changes().KeepChanges();
  if (!HasPrintLists(FAppNameType)) return result;
  if (LoadResourceFileList(QStringLiteral("PrintLists.txt"), mPrintNames) == 0) return result;
  try {
    if (!InstallListsForCompanies(DestPath)) result = urtWarning;
  } catch (const std::exception&) {
    // The report already shows how far the installation went; the product
    // routine reports this one line.
    throw Error(QStringLiteral("Cannot import resource files"));
  }
  return result;
}

bool TdmUpdateCommon::InstallListsForCompanies(const QString& DestPath) {
  struct BufferScope {
    QByteArray& buffer;
    ~BufferScope() { buffer.clear(); }
  } bufferScope{mListBuffer};

  if (FAppNameType == antBrevani) {
    const QString folder = AppendBackslashIfNotEmpty(DestPath);
    for (const QString& name : mPrintNames) {
      // A name the update does not carry writes nothing, so it is not
      // reported as installed either.
      bool carried = false;
      const bool written = Changes().WriteFile(folder + name, QString(), [&] {
        carried = !ExtractResourceFile(name, folder + name).isEmpty();
        return true;
      });
      if (!written) throw OsError(platform::GetLastError());
      if (!carried) continue;
      AddToLog(kListPrefix + name + kUpdatedSuffix);
    }
    AddToLog(QString());
    return true;
  }

  // An unreadable company file leaves the list empty, which would otherwise
  // mean the default company alone: every company the file names would be
  // skipped without a word, and the run could still end as a success.
  if (const QString loadError = FMultiSte().LoadError(); !loadError.isEmpty()) {
    AddToLog(QStringLiteral("\r\n") + loadError);
    return false;
  }
  // Without a company file the default company alone is updated.
  QStringList companies = FMultiSte().ComboBoxCompanies.Items;
  if (companies.isEmpty()) companies.append(QString());
  bool allDone = true;
  for (qsizetype i = 0; i < companies.size(); ++i) {
    if (mCompanyProgress) mCompanyProgress(int(i) + 1, int(companies.size()), ShownCompanyName(companies[i]));
    if (!InstallListsForCompany(companies[i])) allDone = false;
  }
  return allDone;
}

bool TdmUpdateCommon::InstallListsForCompany(const QString& Company) {
  const QString shownName = ShownCompanyName(Company);
  AddToLog(QStringLiteral("\r\n") + kCompanyHeading + shownName);
  mListOutcomes.push_back({shownName, {}, {}, {}});
  WorkstationAction reached;
  reached.company = shownName;
  if (!Connect(Company)) {
    const QString failure = kConnectionFailure.arg(shownName);
    AddToLog(failure);
    mListOutcomes.back().failures.append(failure);
    reached.kind = WorkstationAction::Kind::CompanyUnreachable;
    reached.detail = failure;
    Changes().Note(reached);
    return false;
  }
  reached.kind = WorkstationAction::Kind::CompanyReached;
  Changes().Note(reached);
  try {
    mListBuffer.clear();
    for (const QString& name : mPrintNames) {
      if (!IsListFile(name)) continue;
      QByteArray bytes;
      platform::FileTime time = 0;
      if (!ReadResourceFile(name, &bytes, &time)) continue;
      mListBuffer.append(bytes);
      InstallList(name);
    }
  } catch (...) {
    mListOutcomes.back().failures.append(CurrentExceptionText());
    Disconnect();
    throw;
  }
  Disconnect();
  return true;
}

void TdmUpdateCommon::InstallList(const QString& Name) {
  if (mListBuffer.isEmpty()) return;
  const QStringList lines = DefinitionLines(mListBuffer);
  mListBuffer.clear();
  const QString key = Name.left(ExtensionStart(Name)).toLower();
  // Other workstations may store the same list at the same moment: the
  // existence test and the insert or update form one bracket, so that the
  // list ends stored once and a list another has just added is reported as
  // updated, as any stored list is. The bracket reserves the table, so that
  // workstations take turns instead of meeting on a row; one that meets a
  // row all the same (another program's) is rolled back and run again.
  static const QByteArray reservation = db::ReservingTableForWrite(QStringLiteral("PRT_Params"), kListTableWaitSeconds);
  // What storing it does, or would do: the stored text read first tells
  // an insert from an update, and an update that changes nothing.
  const auto inspect = [&] {
    PrintListStore found;
    const std::optional<QString> stored = mStructurePrinting->StoredPrintParams(key);
    found.added = !stored;
    if (found.added) found.title = ReadListHeader(lines, key).fTitle;
    else found.sameText = *stored == PrintParamsText(lines);
    return found;
  };
  const auto store = [&] {
    PrintListStore done;
    db::RunRetryingConflicts(*mDbConnection, [&] {
      done = inspect();
      if (done.added) {
        done.title = mStructurePrinting->InsertPrintParams(key, lines);
      } else {
        mStructurePrinting->UpdatePrintParams(key, lines);
      }
    }, {}, reservation);
    return done;
  };
  const PrintListStore done = Changes().StorePrintList(mListOutcomes.back().company, key, inspect, store);
  AddToLog(kListPrefix + (done.added ? done.title + kAddedSuffix : key + kUpdatedSuffix));
  (done.added ? mListOutcomes.back().added : mListOutcomes.back().updated).append(key);
}

}  // namespace kelvaro
