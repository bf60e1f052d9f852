// Registry access with French failure messages, as every part of the program
// reads and writes the installation's registry entries.
//
// ReadRegistryValue and WriteRegistryValue never raise for a missing or
// unopenable key: they answer with the default, the integer 0 or false.
// ReadRegistryString and WriteRegistryString raise kelvaro::Error with a
// message telling the user to check access rights, or, for a write a running
// Wine could not take, the reason that names it. Every operation opens and
// closes its own key; a refused write changes nothing.
#pragma once

#include <QString>
#include <cstdint>

namespace kelvaro {

// Root 0 is HKEY_CURRENT_USER, as the callers pass it.
enum RegistryRootId : int { kHkeyCurrentUser = 0, kHkeyLocalMachine = 1 };

// Access -1 means full access.
inline constexpr int64_t kRegistryFullAccess = -1;

// The tagged result of ReadRegistryValue: a 32-bit integer or a string.
struct RegistryData {
  bool isInteger = true;
  int32_t integer = 0;
  QString text;

  // An integer becomes its decimal form.
  QString toString() const { return isInteger ? QString::number(integer) : text; }
};

enum class RegistryKind { Integer, String };

RegistryData ReadRegistryValue(int root, const QString& key, const QString& name, int64_t access,
                               const QString& defaultValue, bool createKey);
bool WriteRegistryValue(int root, const QString& key, const QString& name, const QString& value,
                        RegistryKind kind, bool createKey);
QString ReadRegistryString(int root, const QString& key, const QString& name);
void WriteRegistryString(int root, const QString& key, const QString& name, const QString& value);

// Why the last WriteRegistryValue or WriteRegistryString failed, in French:
// the running Wine's refusal when there was one, else the system's text of
// the error; empty after a write that went through.
QString LastRegistryWriteFailure();

// Makes the registry layer's waits for a running Wine visible through the
// user seam: the wait cursor, and one line for a user without one.
void ShowRegistryWaits();

}  // namespace kelvaro
