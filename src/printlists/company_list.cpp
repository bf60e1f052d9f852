#include "printlists/company_list.h"

#include <QStringEncoder>

#include "platform/files.h"
#include "platform/registry.h"
#include "products/product_paths.h"
#include "support/errors.h"
#include "support/registry_access.h"
#include "support/system_errors.h"
#include "support/text.h"
#include "support/user_seam.h"

namespace kelvaro {
namespace {

const QString kFileName = QStringLiteral("multiste.txt");
const QString kLastCompanyKey = QStringLiteral("Software\\KELVARO S.A.\\Multiste");
const QString kLastCompanyValue = QStringLiteral("LastCompany");
const platform::String kMakerKey = u"Software\\KELVARO S.A.";
const platform::String kObsoleteKeyName = u"MultiSte";

TFMultiSte::ModalDialog& InstalledDialog() {
  static TFMultiSte::ModalDialog dialog;
  return dialog;
}

// Deletes key below parent with all its subkeys, deepest first, as the
// registry only deletes keys without subkeys.
void DeleteKeyTree(const platform::RegistryKey& parent, const platform::String& parentPath,
                   const platform::String& name) {
  const platform::String path = parentPath + u"\\" + name;
  platform::RegistryKey key;
  if (platform::RegOpenKey(platform::RegistryRoot::LocalMachine, path, platform::kKeyAllAccess, &key) !=
      platform::kErrorSuccess) {
    return;
  }
  std::vector<platform::String> children;
  platform::String child;
  for (uint32_t i = 0; platform::RegEnumKey(key, i, &child) == platform::kErrorSuccess; ++i) children.push_back(child);
  for (const platform::String& c : children) DeleteKeyTree(key, path, c);
  key.Close();
  platform::RegDeleteKey(parent, name);
}

// How a file was encoded, so that writing it back keeps every character.
enum class TextEncoding { Ansi, Utf8, Utf16Le, Utf16Be };

TextEncoding EncodingOf(const std::string& bytes) {
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return TextEncoding::Utf8;
  if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) return TextEncoding::Utf16Le;
  if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFE\xFF") == 0) return TextEncoding::Utf16Be;
  return TextEncoding::Ansi;
}

std::string Encode(const QString& text, TextEncoding encoding) {
  QStringEncoder::Encoding target = QStringEncoder::Utf8;
  switch (encoding) {
    case TextEncoding::Ansi: {
      // ANSI text that begins with the bytes of a byte-order mark ("ÿþ",
      // "þÿ" or "ï»¿" once blank lines before it are dropped) would read
      // back as another encoding, every company garbled: such a list is
      // written as UTF-8 with its mark, which keeps every character.
      std::string bytes = toWindows1252(text);
      if (EncodingOf(bytes) == TextEncoding::Ansi) return bytes;
      break;
    }
    case TextEncoding::Utf8: target = QStringEncoder::Utf8; break;
    case TextEncoding::Utf16Le: target = QStringEncoder::Utf16LE; break;
    case TextEncoding::Utf16Be: target = QStringEncoder::Utf16BE; break;
  }
  QStringEncoder encoder(target, QStringConverter::Flag::WriteBom);
  const QByteArray bytes = encoder.encode(text);
  return std::string(bytes.constData(), size_t(bytes.size()));
}

// The file's bytes; a file that exists but cannot be read is an error.
std::string ReadCompanyFile(const QString& path) {
  std::string bytes;
  if (!platform::ReadFileContents(toW(path), &bytes)) {
    throw Error(QStringLiteral("Impossible d'ouvrir le fichier %1\r\n%2").arg(path, LastErrorText()));
  }
  return bytes;
}

QStringList LinesOf(const std::string& bytes) {
  return DecodeTextLines(QByteArray(bytes.data(), qsizetype(bytes.size())));
}

QString WindowsDriveLetter() { return GetWindowsFolder().left(1); }

}  // namespace

TFMultiSte::TFMultiSte()
    : Caption(QStringLiteral("Sélection de la société")),
      Label1Caption(QStringLiteral("Société : ")),
      BokCaption(QStringLiteral("OK")),
      BannulerCaption(QStringLiteral("Annuler")),
      Button1Caption(QStringLiteral("Info")) {}

void TFMultiSte::RemoveObsoleteMultiSiteKey() {
  platform::RegistryKey key;
  if (platform::RegOpenKey(platform::RegistryRoot::LocalMachine, kMakerKey + u"\\" + kObsoleteKeyName,
                           platform::kKeyAllAccess, &key) == platform::kErrorSuccess) {
    platform::RegDeleteValue(key, u"Actif");
  }
  key.Close();
  platform::RegistryKey parent;
  if (platform::RegOpenKey(platform::RegistryRoot::LocalMachine, kMakerKey, platform::kKeyAllAccess, &parent) !=
      platform::kErrorSuccess) {
    return;
  }
  DeleteKeyTree(parent, kMakerKey, kObsoleteKeyName);
}

QStringList TFMultiSte::MultisteCandidates(QChar Drive) {
  const QString drive(Drive);
  QStringList candidates{
      drive + QStringLiteral(":\\kelvaro\\") + kFileName,
      drive + QStringLiteral(":\\kelvaro\\") + kFileName + QStringLiteral(".txt"),
      drive + QStringLiteral(":\\wkelvaro\\") + kFileName,
      drive + QStringLiteral(":\\wkelvaro\\") + kFileName + QStringLiteral(".txt"),
  };
  // The shared programs folder; without a registered product there is none,
  // and a bare file name would only look in whatever folder is current.
  const QString common = GetProductProgramPath(QStringLiteral("Common"), false);
  if (!common.isEmpty()) candidates << common + kFileName;
  return candidates;
}

QString TFMultiSte::FindMultisteFile(QChar Drive) {
  for (const QString& candidate : MultisteCandidates(Drive)) {
    if (FileExists(candidate)) return candidate;
  }
  return {};
}

QString TFMultiSte::GetMultisteFilename() {
  RemoveObsoleteMultiSiteKey();
  return LocateMultisteFile();
}

QStringList TFMultiSte::ReadCompanies(const QString& Path) { return LinesOf(ReadCompanyFile(Path)); }

QString TFMultiSte::LocateMultisteFile() { return LocateMultisteFile(WindowsDriveLetter()); }

QString TFMultiSte::LocateMultisteFile(const QString& WindowsDrive) {
  QString found = FindMultisteFile(QLatin1Char('C'));
  if (found.isEmpty() && !WindowsDrive.isEmpty()) found = FindMultisteFile(WindowsDrive[0]);
  return found;
}

void TFMultiSte::ChargeFichier() {
  ComboBoxCompanies.Clear();
  FLoadError.clear();
  FFilename = GetMultisteFilename();
  if (FileExists(FFilename)) {
    try {
      ComboBoxCompanies.Items = ReadCompanies(FFilename);
    } catch (const Error& error) {
      FLoadError = error.message();
      throw;
    }
  }
  SelectCompany(ReadRegistryString(kHkeyCurrentUser, kLastCompanyKey, kLastCompanyValue));
}

void TFMultiSte::SelectCompany(const QString& Name) {
  for (int i = 0; i < ComboBoxCompanies.Items.size(); ++i) {
    if (ComboBoxCompanies.Items[i].compare(Name, Qt::CaseInsensitive) == 0) {
      ComboBoxCompanies.ItemIndex = i;
      return;
    }
  }
  ComboBoxCompanies.ItemIndex = ComboBoxCompanies.Items.isEmpty() ? -1 : 0;
}

bool TFMultiSte::DemandeSte() {
  ChargeFichier();
  const qsizetype count = ComboBoxCompanies.Items.size();
  if (count == 0) return true;
  if (count == 1) {
    ComboBoxCompanies.ItemIndex = 0;
    return true;
  }
  Abandon = true;
  if (InstalledDialog()) InstalledDialog()(*this);
  return !Abandon;
}

void TFMultiSte::SetSociete(const QString& Name) {
  ChargeFichier();
  for (int i = 0; i < ComboBoxCompanies.Items.size(); ++i) {
    if (ComboBoxCompanies.Items[i].compare(Name, Qt::CaseInsensitive) == 0) {
      ComboBoxCompanies.ItemIndex = i;
      return;
    }
  }
  throw Error(QStringLiteral("Société non trouvée : ") + Name);
}

QString TFMultiSte::CompanyNameOrDefault() const {
  const QString text = ComboBoxCompanies.Text();
  return text.isEmpty() ? QStringLiteral("Default") : text;
}

bool TFMultiSte::CompareSocietes(const QString& A, const QString& B) {
  const QString a = A.isEmpty() ? QStringLiteral("Default") : A;
  const QString b = B.isEmpty() ? QStringLiteral("Default") : B;
  return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

void TFMultiSte::AddSociete(const QString& Name) {
  QString path = GetMultisteFilename();
  if (path.isEmpty()) {
    path = WindowsDriveLetter() + QStringLiteral(":\\kelvaro\\") + kFileName;
    platform::CreateDirectoryTree(toW(ExtractFilePath(path)));
  }
  std::string bytes;
  if (FileExists(path)) bytes = ReadCompanyFile(path);
  QStringList entries = LinesOf(bytes);
  for (qsizetype i = entries.size() - 1; i >= 0; --i) {
    if (entries[i].trimmed().isEmpty()) entries.removeAt(i);
  }
  if (entries.contains(Name, Qt::CaseInsensitive)) return;
  entries << Name;
  QString text;
  for (const QString& entry : entries) text += entry + QStringLiteral("\r\n");
  // One atomic replacement: a failed write keeps the old file whole. A file
  // read with a byte-order mark is written back in its own encoding, so no
  // name loses characters the ANSI code page cannot hold.
  if (!platform::WriteFileContents(toW(path), Encode(text, EncodingOf(bytes)))) {
    throw Error(QStringLiteral("Impossible de créer le fichier %1\r\n%2").arg(path, LastErrorText()));
  }
}

void TFMultiSte::BokClick() {
  Abandon = false;
  try {
    WriteRegistryString(kHkeyCurrentUser, kLastCompanyKey, kLastCompanyValue, ComboBoxCompanies.Text());
  } catch (const Error&) {
    // The choice stands for this session even when it cannot be remembered.
  }
}

void TFMultiSte::BannulerClick() { Abandon = true; }

void TFMultiSte::Button1Click() { ShowInfoMessage(QStringLiteral("Liste des sociétés :") + QStringLiteral("\r\n") + FFilename); }

bool TFMultiSte::ComboBoxCompaniesKeyDown(int Key) {
  if (Key == kVkReturn) {
    BokClick();
    return true;
  }
  if (Key == kVkEscape) {
    BannulerClick();
    return true;
  }
  return false;
}

void TFMultiSte::SetModalDialog(ModalDialog dialog) { InstalledDialog() = std::move(dialog); }

TFMultiSte& FMultiSte() {
  static TFMultiSte form;
  return form;
}

}  // namespace kelvaro
