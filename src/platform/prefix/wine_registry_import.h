// A registry change handed to the Wine that runs in the prefix. While a
// wineserver owns the registry files it would write its own copy over any
// change made to them, so the change goes through Wine itself instead: a
// small .reg text holding just that change, imported by Wine's registry tool
// (`wine reg import`) in one call.
//
// Guarantees when things go wrong: the call never hangs (a tool that does
// not answer within kImportTimeout is killed) and never leaves its .reg file
// behind; a failure is kErrorAccessDenied with a French reason that names
// the cause (Wine missing, Wine refusing kImportAttempts times, Wine not
// answering).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/win_types.h"

namespace platform::prefix {

inline constexpr std::chrono::seconds kImportTimeout{30};
// Runs of the tool before its refusal stands (Wine's start-up fails now and
// then for reasons of its own).
inline constexpr int kImportAttempts = 3;

// One change of the registry, as the Reg* functions make them.
struct RegistryChange {
  enum Kind { CreateKey, SetValue, DeleteValue, DeleteKey };
  Kind kind = CreateKey;
  bool localMachine = false;
  String key;   // relative to the root, "\" between levels
  String name;  // the value's name; empty for the default value
  uint32_t type = 0;
  std::string data;  // as RegSetValue takes it
};

// The .reg text of the change ("Windows Registry Editor Version 5.00"),
// every value written as hex(type) so that its bytes arrive exactly.
String RegFileText(const RegistryChange& change);

// Imports the change into the Wine of prefixRoot; kErrorSuccess, or
// kErrorAccessDenied with *reason set.
uint32_t ImportIntoWine(const std::string& prefixRoot, const RegistryChange& change, std::string* reason);

}  // namespace platform::prefix
