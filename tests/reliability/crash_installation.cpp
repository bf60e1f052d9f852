#include "reliability/crash_installation.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/prefix/registry_document.h"
#include "support/registry_access.h"

namespace reliability {

namespace fs = std::filesystem;

namespace {

const std::string kPe = KELVARO_PE_FIXTURES;
const std::string kPrograms = "C:\\WKelvaro\\Torvida\\Programs";
const std::string kLibrary = "WKTorvida2.dll";
// Named companies in the order of "multiste.txt"; the empty line adds the
// default one, whose database the registry names under "Paths".
const QStringList kCompanies{QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Gamma"),
                             QStringLiteral("Paths")};
// Alpha and Gamma already hold the address list, in an older form.
const std::vector<bool> kHoldsOldLists{true, false, true, false};

// The address list as the companies that hold it stored it long ago; an
// update replaces only its definition text and keeps its titles.
const QString kOldKey = QStringLiteral("adresses");
const QString kOldDTitle = QStringLiteral("Alte Adressen");
const QString kOldFTitle = QStringLiteral("Anciennes adresses");
const QString kOldITitle = QStringLiteral("Vecchi indirizzi");
const QString kOldCompat = QStringLiteral("TV1");
const QString kOldDefinition = QStringLiteral(
    "COM:TV1\r\nDES:F:Anciennes adresses\r\nDES:D:Alte Adressen\r\nDES:I:Vecchi indirizzi\r\nPAGE:A5\r\nFIELD:NOM\r\n");

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

// Bytes that do not compress, so that extraction and copy take their time.
std::string Noise(size_t size, unsigned seed) {
  std::mt19937_64 random(seed);
  std::string bytes(size, '\0');
  for (size_t i = 0; i + 8 <= size; i += 8) {
    const uint64_t word = random();
    std::memcpy(&bytes[i], &word, 8);
  }
  return bytes;
}

// A print-list definition as the products write them, with body lines
// enough for a definition text of bodyLines * ~40 bytes.
QString Definition(const QString& fTitle, const QString& dTitle, const QString& iTitle, int bodyLines) {
  QString text = QStringLiteral("COM:TV2 /* Torvida 2 */\r\nDES:F:") + fTitle + QStringLiteral("\r\nDES:D:") + dTitle +
                 QStringLiteral("\r\nDES:I:") + iTitle + QStringLiteral("\r\nPAGE:A4\r\n");
  for (int i = 0; i < bodyLines; ++i)
    text += QStringLiteral("FIELD:CHAMP_%1;POS=%2;LARGEUR=%3;é\r\n").arg(i, 5, 10, QLatin1Char('0')).arg(i * 7).arg(i % 80);
  return text;
}

// Wine registry text of count keys under root, each with a string (accented),
// a dword, binary data and an expandable string.
std::string FillerKeys(const std::string& root, int count) {
  std::string text;
  char line[256];
  for (int i = 0; i < count; ++i) {
    std::snprintf(line, sizeof line,
                  "\n[%s\\\\K%05d] 1796862791\n#time=1dd883e092ec922\n"
                  "\"Nom\"=\"Soci\\xe9t\\xe9 %d \\\"cit\\xe9e\\\"\"\n\"Compteur\"=dword:%08x\n"
                  "\"Donn\\xe9es\"=hex:%02x,00,ff,10\n\"Chemin\"=str(2):\"%%TEMP%%\\\\K%d\"\n",
                  root.c_str(), i, i, unsigned(i) * 2654435761u, i & 0xff, i);
    text += line;
  }
  return text;
}

QString Quoted(QString text) { return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\''); }

QString TextOf(const QVariant& value) {
  if (value.typeId() == QMetaType::QByteArray) return QString::fromLatin1(value.toByteArray());
  return value.toString();
}

QString Normalised(QString report) {
  report.replace(QRegularExpression(QStringLiteral("\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d")), QStringLiteral("<date>"));
  report.replace(QRegularExpression(QStringLiteral("C:\\\\users\\\\[^\\\\]+\\\\Temp\\\\Update\\d+\\.tmp")),
                 QStringLiteral("<temp>"));
  return report;
}

std::string Utf8(const platform::String& text) { return QString::fromStdU16String(text).toStdString(); }

// Every value under key, as "path\name" -> type and data.
void CollectValues(platform::prefix::RegistryDocument& document, uint32_t key, const std::string& path,
                   std::map<std::string, std::string>* values) {
  for (const platform::String& name : document.ValueNames(key)) {
    const platform::prefix::RegistryEntry* entry = document.FindValue(key, name);
    if (!entry) continue;
    (*values)[path + "\\=" + Utf8(name)] = std::to_string(entry->type) + ":" + entry->data;
  }
  for (const platform::String& name : document.SubkeyNames(key)) {
    const platform::String childPath = key == platform::prefix::RegistryDocument::kRootKey
                                           ? name
                                           : document.Path(key) + u"\\" + name;
    const uint32_t child = document.Find(childPath);
    if (child == platform::prefix::RegistryDocument::kNoKey || document.IsDeleted(child)) continue;
    CollectValues(document, child, Utf8(childPath), values);
  }
}

}  // namespace

CrashInstallation::CrashInstallation(int libraryMb) : libraryMb_(libraryMb), holdsOldLists_(kHoldsOldLists) {
  work_ = prefix_.root() + "/work";
  fs::create_directories(work_ + "/carried");
  buildFiles();
  buildDatabases();
  buildRegistry();
  pack();
}

CrashInstallation::~CrashInstallation() = default;

QStringList CrashInstallation::CompanyNames() {
  QStringList names = kCompanies;
  names.last() = QStringLiteral("Default");
  return names;
}

std::string CrashInstallation::programFolder() const { return prefix_.hostPath(kPrograms); }

void CrashInstallation::buildFiles() {
  // A program library of several MB: the version resource of a real PE
  // file, then data; the copy then lasts long enough to be killed in.
  files_.push_back({kLibrary, ReadBytes(kPe + "/torvida_1_2_3_9.dll") + Noise(size_t(libraryMb_) << 20, 1),
                    ReadBytes(kPe + "/torvida_2_0_0_0.dll") + Noise(size_t(libraryMb_) << 20, 2)});
  files_.push_back({"IBANKernel.dll", Noise(2 << 20, 3), Noise(2 << 20, 4)});
  files_.push_back({"Torvida.chm", std::nullopt, Noise(3 << 20, 5)});
  files_.push_back({"ssleay32.dll", std::string("old ssleay32"), std::string("carried ssleay32")});
  files_.push_back({"libeay32.dll", std::string("old libeay32"), std::string("carried libeay32")});
  for (const CarriedFile& file : files_) WriteBytes(work_ + "/carried/" + file.name, file.newBytes);

  lists_.push_back({QStringLiteral("Adresses.lst"), kOldKey,
                    Definition(QStringLiteral("Liste des adresses"), QStringLiteral("Adressliste"),
                               QStringLiteral("Elenco indirizzi"), 200)});
  lists_.push_back({QStringLiteral("Etiquettes.lst"), QStringLiteral("etiquettes"),
                    Definition(QStringLiteral("Étiquettes"), QStringLiteral("Etiketten"), QStringLiteral("Etichette"), 50)});
  // Large enough that its blob takes a while to write.
  lists_.push_back({QStringLiteral("Factures.lst"), QStringLiteral("factures"),
                    Definition(QStringLiteral("Factures détaillées"), QStringLiteral("Rechnungen"),
                               QStringLiteral("Fatture"), 8000)});
  QString names;
  for (const CarriedList& list : lists_) {
    names += list.file + QStringLiteral("\r\n");
    WriteBytes(work_ + "/carried/" + list.file.toStdString(), list.definition.toLatin1().toStdString());
  }
  WriteBytes(work_ + "/carried/PrintLists.txt", names.toStdString());
  WriteBytes(work_ + "/carried/Updates.txt", "Torvida\r\n");
  WriteBytes(work_ + "/carried/AppInfo1.txt", "Mise \xe0 jour Torvida\r\n");
}

void CrashInstallation::buildDatabases() {
  char letter = 'D';
  for (const QString& company : kCompanies) {
    databases_.push_back(std::make_unique<dbtest::CompanyDatabase>());
    prefix_.addDrive(letter, databases_.back()->folder().path());
    if (!kelvaro::WriteRegistryValue(kelvaro::kHkeyLocalMachine, QStringLiteral("SOFTWARE\\KELVARO S.A.\\Torvida\\") + company,
                                     QStringLiteral("DatabaseName"),
                                     QStringLiteral("127.0.0.1:") + QLatin1Char(letter) + QStringLiteral(":\\company.fdb"),
                                     kelvaro::RegistryKind::String, true))
      throw std::runtime_error("cannot register the database of " + company.toStdString());
    ++letter;
  }
  prefix_.writeFile("C:\\Kelvaro\\multiste.txt", "Alpha\r\nBeta\r\nGamma\r\n\r\n");
}

void CrashInstallation::buildRegistry() {
  // Large files: their rewrite, after the library is replaced, takes long
  // enough to be killed in, and there is much to lose.
  prefix_.appendUserReg(FillerKeys("Software\\\\Kelvaro Essais\\\\Remplissage", 6000));
  prefix_.appendSystemReg(FillerKeys("Software\\\\Kelvaro Essais\\\\Machine", 3000));
  prefix_.makeDirectory(kPrograms);
  if (!kelvaro::WriteRegistryValue(kelvaro::kHkeyCurrentUser, QStringLiteral("SOFTWARE\\KELVARO S.A.\\Torvida\\Program"),
                                   QStringLiteral("Filename"), QString::fromStdString(kPrograms + "\\" + kLibrary),
                                   kelvaro::RegistryKind::String, true))
    throw std::runtime_error("cannot register the installed library");
  for (const char* name : {"user.reg", "system.reg"}) {
    const std::string path = prefix_.root() + "/" + name;
    registryFiles_[name] = ReadBytes(path);
    std::string error;
    if (!ReadRegistry(path, &registryBefore_[name], &error)) throw std::runtime_error(error);
  }
}

void CrashInstallation::pack() {
  // A name of its own, so that drivers running side by side never meet on
  // the single-instance lock, which is named after the executable.
  std::string suffix;
  for (char c : fs::path(prefix_.root()).filename().string()) {
    if (std::isalnum(static_cast<unsigned char>(c))) suffix += c;
  }
  update_ = work_ + "/MajTorvidaCrash" + suffix;
  QStringList args{QStringLiteral("-o"), QString::fromStdString(update_), QStringLiteral("--base"),
                   QStringLiteral(KELVARO_UPDATE_BATCH)};
  for (const auto& entry : fs::directory_iterator(work_ + "/carried")) args << QString::fromStdString(entry.path().string());
  QProcess packer;
  packer.start(QStringLiteral(KELVARO_PACK), args);
  if (!packer.waitForFinished(120000) || packer.exitCode() != 0)
    throw std::runtime_error("kelvaro-pack failed: " + packer.readAllStandardError().toStdString());
}

void CrashInstallation::resetRows(const dbtest::CompanyDatabase& db, bool holdsOldLists) const {
  QStringList statements{QStringLiteral("DELETE FROM PRT_Params")};
  if (holdsOldLists) {
    statements << QStringLiteral("INSERT INTO PRT_Params (pname, d_text, f_text, i_text, compat, print_params) "
                                 "VALUES (%1, %2, %3, %4, %5, %6)")
                      .arg(Quoted(kOldKey), Quoted(kOldDTitle), Quoted(kOldFTitle), Quoted(kOldITitle),
                           Quoted(kOldCompat), Quoted(kOldDefinition));
  }
  db.exec(statements);
}

void CrashInstallation::Reset() {
  const std::string folder = programFolder();
  fs::remove_all(folder);
  fs::create_directories(folder);
  for (const CarriedFile& file : files_) {
    if (file.oldBytes) WriteBytes(folder + "/" + file.name, *file.oldBytes);
  }
  for (const auto& [name, bytes] : registryFiles_) WriteBytes(prefix_.root() + "/" + name, bytes);
  for (size_t i = 0; i < databases_.size(); ++i) resetRows(*databases_[i], holdsOldLists_[i]);
  fs::remove_all(prefix_.hostPath("C:\\ProgramData\\Kelvaro"));
}

bool CrashInstallation::journalLeft() const {
  return fs::exists(prefix_.hostPath("C:\\ProgramData\\Kelvaro\\journal.txt"));
}

int CrashInstallation::RestoreAfterKill() {
  QProcess inspect;
  inspect.start(QStringLiteral(KELVARO_INSPECT), {QStringLiteral("journal"), QStringLiteral("restore")});
  if (!inspect.waitForFinished(120000)) throw std::runtime_error("kelvaro-inspect journal restore does not end");
  return inspect.exitStatus() == QProcess::NormalExit ? inspect.exitCode() : -1;
}

void CrashInstallation::CheckWholeUnit(std::vector<std::string>* violations) const {
  const std::string folder = programFolder();
  int oldFiles = 0, newFiles = 0;
  for (const CarriedFile& file : files_) {
    const std::string path = folder + "/" + file.name;
    const bool there = fs::exists(path);
    const std::string bytes = there ? ReadBytes(path) : std::string();
    if (there && bytes == file.newBytes) ++newFiles;
    if ((!there && !file.oldBytes) || (there && file.oldBytes && bytes == *file.oldBytes)) ++oldFiles;
  }
  const int all = int(files_.size());
  if (oldFiles != all && newFiles != all)
    violations->push_back("after the undo, " + std::to_string(oldFiles) + " of " + std::to_string(all) +
                          " files are old and " + std::to_string(newFiles) + " new");
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().find(".kelvaro-kept") != std::string::npos)
      violations->push_back("a kept file is left: " + entry.path().filename().string());
  }
  if (journalLeft()) violations->push_back("the journal is left after the undo");
}

namespace {

// Reads what the process writes until it ends or deadlineMs has passed
// (negative: no deadline), noting when the phases begin.
void Follow(QProcess& process, const QElapsedTimer& clock, qint64 deadlineMs, RunResult* result, QByteArray* out) {
  while (process.state() != QProcess::NotRunning) {
    const qint64 left = deadlineMs < 0 ? 1000 : deadlineMs - clock.elapsed();
    if (left <= 0) break;
    process.waitForReadyRead(int(std::min<qint64>(left, 1000)));
    out->append(process.readAllStandardOutput());
    if (result->firstCopyMs < 0 && out->contains("Copie de ")) result->firstCopyMs = clock.elapsed();
    if (result->firstListsMs < 0 && out->contains("Mise \xc3\xa0 jour de listes")) result->firstListsMs = clock.elapsed();
  }
}

}  // namespace

RunResult CrashInstallation::Run() { return RunKilledAfter(-1); }

RunResult CrashInstallation::RunKilledAfter(qint64 delayMs) {
  QProcess batch;
  batch.start(QStringLiteral(KELVARO_UPDATE_BATCH),
              {QString::fromStdString(update_), QStringLiteral("--answer"), QStringLiteral("yes")});
  if (!batch.waitForStarted(30000)) throw std::runtime_error("kelvaro-update-batch does not start");
  QElapsedTimer clock;
  clock.start();
  RunResult result;
  result.pid = batch.processId();
  QByteArray out;
  Follow(batch, clock, delayMs, &result, &out);
  if (batch.state() != QProcess::NotRunning) {
    if (delayMs < 0) throw std::runtime_error("kelvaro-update-batch never ended");
    batch.kill();  // SIGKILL
    result.killed = true;
  }
  if (batch.state() != QProcess::NotRunning && !batch.waitForFinished(120000))
    throw std::runtime_error("kelvaro-update-batch does not end");
  result.elapsedMs = clock.elapsed();
  out.append(batch.readAllStandardOutput());
  result.exitCode = batch.exitStatus() == QProcess::NormalExit ? batch.exitCode() : -1;
  result.out = Normalised(QString::fromUtf8(out));
  result.err = QString::fromUtf8(batch.readAllStandardError());
  return result;
}

bool CrashInstallation::WaitUntilServerDrops(qint64 pid) const {
  const QString count = QStringLiteral("SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$REMOTE_PID = %1").arg(pid);
  bool held = false;
  QElapsedTimer clock;
  clock.start();
  for (const auto& db : databases_) {
    while (db->rows(count).value(0).value(0).toLongLong() > 0) {
      held = true;
      if (clock.elapsed() > 60000) throw std::runtime_error("the server keeps the killed run's attachment");
      QThread::msleep(20);
    }
  }
  return held;
}

bool CrashInstallation::ReadRegistry(const std::string& file, RegistryValues* values, std::string* error) {
  platform::prefix::RegistryDocument document;
  uint32_t line = 0;
  std::string reason;
  if (!document.Parse(ReadBytes(file), &line, &reason)) {
    *error = file + ", line " + std::to_string(line) + ": " + reason;
    return false;
  }
  values->clear();
  CollectValues(document, platform::prefix::RegistryDocument::kRootKey, std::string(), values);
  return true;
}

void CrashInstallation::checkFiles(bool completed, std::vector<std::string>* violations) const {
  const std::string folder = programFolder();
  std::set<std::string> known;
  for (const CarriedFile& file : files_) {
    known.insert(file.name);
    const std::string path = folder + "/" + file.name;
    if (!fs::exists(path)) {
      if (completed || file.oldBytes) violations->push_back(file.name + ": missing");
      continue;
    }
    const std::string bytes = ReadBytes(path);
    if (bytes == file.newBytes) continue;
    if (!completed && file.oldBytes && bytes == *file.oldBytes) continue;
    violations->push_back(file.name + ": " + std::to_string(bytes.size()) + " bytes, " +
                          (completed ? "not the new file" : "neither the old nor the new file"));
  }
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (known.count(name)) continue;
    // A killed run may leave its temporary file and the old file it kept
    // for its undo; the next run must not.
    if (!completed && (name.rfind("~kvtmp", 0) == 0 || name.find(".kelvaro-kept") != std::string::npos)) continue;
    violations->push_back("stray file in the program folder: " + name);
  }
}

int CrashInstallation::LeftoverCount() const {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(programFolder())) {
    if (entry.path().filename().string().rfind("~kvtmp", 0) == 0) ++count;
  }
  return count;
}

void CrashInstallation::checkRegistry(std::vector<std::string>* violations) const {
  for (const auto& [name, before] : registryBefore_) {
    RegistryValues now;
    std::string error;
    if (!ReadRegistry(prefix_.root() + "/" + name, &now, &error)) {
      violations->push_back(name + " no longer parses: " + error);
      continue;
    }
    int lost = 0, changed = 0;
    std::string example;
    for (const auto& [value, data] : before) {
      const auto found = now.find(value);
      if (found == now.end()) ++lost;
      else if (found->second != data) ++changed;
      else continue;
      if (example.empty()) example = value;
    }
    if (lost || changed)
      violations->push_back(name + ": " + std::to_string(lost) + " values lost, " + std::to_string(changed) +
                            " changed (" + example + ")");
  }
}

void CrashInstallation::checkRows(bool completed, std::vector<std::string>* violations, StoredKeys* stored) const {
  if (stored) stored->assign(databases_.size(), {});
  const QString select = QStringLiteral("SELECT pname, d_text, f_text, i_text, compat, print_params FROM PRT_Params");
  for (size_t i = 0; i < databases_.size(); ++i) {
    const std::string company = kCompanies[qsizetype(i)].toStdString();
    std::set<QString> keys;
    for (const QVariantList& row : databases_[i]->rows(select)) {
      QStringList columns;
      for (const QVariant& value : row) columns << (value.isNull() ? QStringLiteral("<null>") : TextOf(value));
      const QString key = columns[0];
      keys.insert(key);
      bool whole = false;
      for (const CarriedList& list : lists_) {
        if (list.key != key) continue;
        const bool heldBefore = holdsOldLists_[i] && key == kOldKey;
        // A row stored before keeps its titles; an update brings its text.
        const QStringList oldRow{kOldKey, kOldDTitle, kOldFTitle, kOldITitle, kOldCompat, kOldDefinition};
        QStringList newRow = heldBefore ? oldRow : QStringList{};
        if (heldBefore) {
          newRow[5] = list.definition;
        } else {
          const QStringList lines = list.definition.split(QStringLiteral("\r\n"));
          newRow = QStringList{key, lines[2].mid(6), lines[1].mid(6), lines[3].mid(6), QStringLiteral("TV2"),
                               list.definition};
        }
        whole = columns == newRow || (!completed && heldBefore && columns == oldRow);
      }
      if (!whole) {
        violations->push_back(company + ": list row " + key.toStdString() + " is not whole (" +
                              std::to_string(columns.value(5).size()) + " characters of definition)");
      }
    }
    if (completed) {
      for (const CarriedList& list : lists_) {
        if (!keys.count(list.key)) violations->push_back(company + ": list " + list.key.toStdString() + " missing");
      }
    } else if (holdsOldLists_[i] && !keys.count(kOldKey)) {
      violations->push_back(company + ": the list it held before is gone");
    }
    if (stored) (*stored)[i] = keys;
  }
}

void CrashInstallation::checkNoTemporaries(std::vector<std::string>* violations) const {
  // The user's temporary folder (extracted files) and the prefix folder
  // (registry rewrites).
  const std::string temp = prefix_.driveC() + "/users";
  for (const auto& entry : fs::recursive_directory_iterator(temp)) {
    if (entry.is_regular_file()) violations->push_back("stray temporary file: " + entry.path().string());
  }
  for (const auto& entry : fs::directory_iterator(prefix_.root())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("~kvtmp", 0) == 0) violations->push_back("stray registry temporary file: " + name);
  }
}

void CrashInstallation::CheckConsistent(std::vector<std::string>* violations, StoredKeys* stored) {
  checkFiles(false, violations);
  checkRegistry(violations);
  checkRows(false, violations, stored);
}

void CrashInstallation::CheckCompleted(std::vector<std::string>* violations) {
  checkFiles(true, violations);
  checkRegistry(violations);
  checkRows(true, violations, nullptr);
  checkNoTemporaries(violations);
}

QString CrashInstallation::ExpectedReport(const StoredKeys& stored) const {
  QString report = QStringLiteral("Mise à jour : Mise à jour Torvida  <date>\n\n");
  for (const CarriedFile& file : files_) {
    report += QStringLiteral("Copie de <temp>\nvers ") + QString::fromStdString(kPrograms) + QLatin1Char('\\') +
              QString::fromStdString(file.name) + QStringLiteral("\n\n");
  }
  const QStringList names = CompanyNames();
  for (size_t i = 0; i < stored.size(); ++i) {
    report += QStringLiteral("\nMise à jour de listes pour la société ") + names[qsizetype(i)] + QLatin1Char('\n');
    for (const CarriedList& list : lists_) {
      const QString prefix = QStringLiteral("Les paramètres pour l'impression : \"");
      if (stored[i].count(list.key)) {
        report += prefix + list.key + QStringLiteral("\" ont été mise à jour.\n");
      } else {
        report += prefix + list.definition.split(QStringLiteral("\r\n"))[1].mid(6) + QStringLiteral("\" ont été ajoutés.\n");
      }
    }
  }
  return report + QStringLiteral("\nLa mise à jour est terminée avec succès.\n");
}

}  // namespace reliability
