// Base of every conformance case. A case sees only the platform interface and
// a sandbox of its own: a folder on drive C: and a registry key under
// HKEY_CURRENT_USER, both fresh for each case.
//
// Natively the sandbox lives in a temporary prefix made for the case; in the
// Windows build it lives in the Wine prefix the test runs in.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/files.h"
#include "platform/registry.h"

namespace conformance {

using platform::String;

class ConformanceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // "C:\...\" with a trailing backslash, existing and empty.
  const String& sandbox() const { return sandbox_; }
  String inSandbox(const String& name) const { return sandbox_ + name; }
  // "Software\KelvaroConformance\<case>" under HKEY_CURRENT_USER, absent at start.
  const String& registryKey() const { return registryKey_; }

  // Writes a file through the platform (fails the case when that fails).
  void writeFile(const String& path, const std::string& bytes);
  std::string readFile(const String& path);

 private:
  struct Environment;
  std::shared_ptr<Environment> environment_;
  String sandbox_;
  String registryKey_;
};

// u"..." literals read better than conversions in tables of cases.
std::string Utf8(const String& s);

}  // namespace conformance
