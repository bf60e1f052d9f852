// kelvaro-inspect reg query|add: the registry of the prefix in the syntax and
// output layout of Windows' reg.exe.
#include "command_registry.h"
#include "platform/registry.h"
#include "support/installation_owner.h"
#include "support/text.h"

namespace inspect {
namespace {

using kelvaro::toQ;
using kelvaro::toW;

struct KeyPath {
  platform::RegistryRoot root;
  QString rootName;  // as reg.exe prints it
  QString subKey;
};

bool ParseKey(const QString& text, KeyPath* key) {
  struct Prefix {
    const char* spelling;
    platform::RegistryRoot root;
    const char* name;
  };
  static const Prefix kPrefixes[] = {
      {"HKCU", platform::RegistryRoot::CurrentUser, "HKEY_CURRENT_USER"},
      {"HKEY_CURRENT_USER", platform::RegistryRoot::CurrentUser, "HKEY_CURRENT_USER"},
      {"HKLM", platform::RegistryRoot::LocalMachine, "HKEY_LOCAL_MACHINE"},
      {"HKEY_LOCAL_MACHINE", platform::RegistryRoot::LocalMachine, "HKEY_LOCAL_MACHINE"},
  };
  const QString rootPart = text.section(QLatin1Char('\\'), 0, 0);
  for (const Prefix& prefix : kPrefixes) {
    if (rootPart.compare(QLatin1String(prefix.spelling), Qt::CaseInsensitive) == 0) {
      key->root = prefix.root;
      key->rootName = QLatin1String(prefix.name);
      key->subKey = text.mid(rootPart.size() + 1);
      while (key->subKey.endsWith(QLatin1Char('\\'))) key->subKey.chop(1);
      return true;
    }
  }
  return false;
}

QString FullName(const KeyPath& key) {
  return key.subKey.isEmpty() ? key.rootName : key.rootName + QLatin1Char('\\') + key.subKey;
}

QString TypeName(uint32_t type) {
  switch (type) {
    case platform::kRegSz: return QStringLiteral("REG_SZ");
    case platform::kRegExpandSz: return QStringLiteral("REG_EXPAND_SZ");
    case platform::kRegBinary: return QStringLiteral("REG_BINARY");
    case platform::kRegDword: return QStringLiteral("REG_DWORD");
    case platform::kRegMultiSz: return QStringLiteral("REG_MULTI_SZ");
    case platform::kRegQword: return QStringLiteral("REG_QWORD");
    case platform::kRegNone: return QStringLiteral("REG_NONE");
    default: return QStringLiteral("REG_UNKNOWN(%1)").arg(type);
  }
}

QString MultiStringText(const std::string& data) {
  QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(data.data()), qsizetype(data.size() / 2));
  while (text.endsWith(QChar(0))) text.chop(1);
  return text.replace(QChar(0), QStringLiteral("\\0"));
}

QString DataText(const platform::RegistryValue& value) {
  switch (value.type) {
    case platform::kRegSz:
    case platform::kRegExpandSz:
      return toQ(platform::RegistryDataString(value.data));
    case platform::kRegDword:
      return QStringLiteral("0x") + QString::number(platform::RegistryDataDword(value.data), 16);
    case platform::kRegMultiSz:
      return MultiStringText(value.data);
    default:
      return QString::fromLatin1(QByteArray::fromStdString(value.data).toHex().toUpper());
  }
}

void PrintValue(const QString& name, const platform::RegistryValue& value) {
  const QString shown = name.isEmpty() ? QStringLiteral("(par défaut)") : name;
  Out(QStringLiteral("    ") + shown + QStringLiteral("    ") + TypeName(value.type) + QStringLiteral("    ") +
      DataText(value));
}

// A refused change has two causes: a running Wine that could not take it
// (the layer says why), or a registry file or prefix folder this user may
// not write.
QString AccessDeniedCause() {
  const QString refusal = toQ(platform::RegistryRefusalReason());
  if (!refusal.isEmpty()) return refusal;
  return QStringLiteral("Le fichier de registre ou le dossier du préfixe n'est pas modifiable par cet utilisateur.");
}

int NotFound() {
  Err(QStringLiteral("ERREUR : Le système n'a pas trouvé la clé ou la valeur de Registre spécifiée."));
  return 1;
}

int Failure(uint32_t status) {
  if (status == platform::kErrorFileNotFound) return NotFound();
  if (status == platform::kErrorAccessDenied) Err(QStringLiteral("ERREUR : Accès refusé. ") + AccessDeniedCause());
  else if (status == platform::kErrorRegistryCorrupt) Err(QStringLiteral("ERREUR : ") + toQ(platform::RegistryFileError()));
  else Err(QStringLiteral("ERREUR : code %1").arg(status));
  return 1;
}

// Reads "/v NAME", "/t TYPE", "/d DATA" and "/f" from args.
struct Switches {
  bool hasValue = false;
  QString value;
  QString type = QStringLiteral("REG_SZ");
  bool hasData = false;
  QString data;
  bool force = false;
  bool ok = true;
};

Switches ParseSwitches(const QStringList& args) {
  Switches s;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString word = args[i].toLower();
    const bool hasNext = i + 1 < args.size();
    if (word == QLatin1String("/v") && hasNext) {
      s.hasValue = true;
      s.value = args[++i];
    } else if (word == QLatin1String("/ve")) {
      s.hasValue = true;
      s.value.clear();
    } else if (word == QLatin1String("/t") && hasNext) {
      s.type = args[++i].toUpper();
    } else if (word == QLatin1String("/d") && hasNext) {
      s.hasData = true;
      s.data = args[++i];
    } else if (word == QLatin1String("/f")) {
      s.force = true;
    } else {
      s.ok = false;
    }
  }
  return s;
}

int Query(const KeyPath& key, const Switches& s) {
  platform::RegistryKey handle;
  const uint32_t status = platform::RegOpenKey(key.root, toW(key.subKey), platform::kKeyRead, &handle);
  if (status != platform::kErrorSuccess) return Failure(status);
  if (s.hasValue) {
    platform::RegistryValue value;
    const uint32_t found = platform::RegQueryValue(handle, toW(s.value), &value);
    if (found != platform::kErrorSuccess) return Failure(found);
    Out(QString());
    Out(FullName(key));
    PrintValue(s.value, value);
    Out(QString());
    return 0;
  }
  Out(QString());
  Out(FullName(key));
  std::vector<platform::String> names;
  platform::RegEnumValueNames(handle, &names);
  for (const platform::String& name : names) {
    platform::RegistryValue value;
    if (platform::RegQueryValue(handle, name, &value) == platform::kErrorSuccess) PrintValue(toQ(name), value);
  }
  Out(QString());
  platform::String subKey;
  for (uint32_t index = 0; platform::RegEnumKey(handle, index, &subKey) == platform::kErrorSuccess; ++index) {
    Out(FullName(key) + QLatin1Char('\\') + toQ(subKey));
  }
  return 0;
}

bool EncodeData(const Switches& s, uint32_t* type, std::string* data) {
  if (s.type == QLatin1String("REG_SZ") || s.type == QLatin1String("REG_EXPAND_SZ")) {
    *type = s.type == QLatin1String("REG_SZ") ? platform::kRegSz : platform::kRegExpandSz;
    *data = platform::RegistryStringData(toW(s.data));
    return true;
  }
  if (s.type == QLatin1String("REG_DWORD")) {
    bool ok = false;
    const QString text = s.data.trimmed();
    const qulonglong number = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toULongLong(&ok, 16)
                                                                                         : text.toULongLong(&ok, 10);
    if (!ok || number > 0xFFFFFFFFULL) {
      Err(QStringLiteral("ERREUR : Argument non valide pour REG_DWORD : ") + s.data);
      return false;
    }
    *type = platform::kRegDword;
    *data = platform::RegistryDwordData(uint32_t(number));
    return true;
  }
  Err(QStringLiteral("ERREUR : Type non pris en charge : ") + s.type);
  return false;
}

int Add(const KeyPath& key, const Switches& s) {
  if (const QString refusal = kelvaro::ForeignInstallationRefusal(); !refusal.isEmpty()) {
    Err(QStringLiteral("ERREUR : ") + refusal);
    return kelvaro::kExitForeignInstallation;
  }
  uint32_t type = 0;
  std::string data;
  if (!EncodeData(s, &type, &data)) return 1;
  platform::RegistryKey handle;
  const uint32_t status = platform::RegCreateKey(key.root, toW(key.subKey), platform::kKeyAllAccess, &handle);
  if (status != platform::kErrorSuccess) return Failure(status);
  platform::RegistryValue existing;
  // Without /f reg.exe asks before replacing; a support tool run from a
  // script cannot ask, so it refuses instead.
  if (!s.force && platform::RegQueryValue(handle, toW(s.value), &existing) == platform::kErrorSuccess) {
    Err(QStringLiteral("ERREUR : La valeur %1 existe déjà (utilisez /f pour la remplacer).").arg(s.value));
    return 1;
  }
  const uint32_t written = platform::RegSetValue(handle, toW(s.value), type, data);
  if (written != platform::kErrorSuccess) return Failure(written);
  Out(QStringLiteral("L'opération a réussi."));
  return 0;
}

int Usage() {
  Err(QStringLiteral("usage: kelvaro-inspect reg query KEY [/v NAME]"));
  Err(QStringLiteral("       kelvaro-inspect reg add KEY /v NAME [/t REG_SZ|REG_EXPAND_SZ|REG_DWORD] /d DATA [/f]"));
  return 1;
}

int RunReg(const QStringList& args) {
  if (args.size() < 2) return Usage();
  const QString verb = args[0].toLower();
  KeyPath key;
  if (!ParseKey(args[1], &key)) {
    Err(QStringLiteral("ERREUR : Clé non valide : ") + args[1]);
    return 1;
  }
  const Switches s = ParseSwitches(args.mid(2));
  if (!s.ok) return Usage();
  if (verb == QLatin1String("query")) return Query(key, s);
  if (verb == QLatin1String("add") && s.hasValue && s.hasData) return Add(key, s);
  return Usage();
}

const InspectCommand kReg("reg", "reg query KEY [/v NAME] | reg add KEY /v NAME [/t TYPE] /d DATA [/f]",
                          "reads or writes the registry, as reg.exe does (TYPE: REG_SZ, REG_EXPAND_SZ, "
                          "REG_DWORD)",
                          RunReg);

}  // namespace
}  // namespace inspect
