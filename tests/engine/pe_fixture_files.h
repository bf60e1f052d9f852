// The PE fixtures built by fixtures/pe_fixtures.cmake, for the engine's tests:
// read from the build folder and copied into a temporary prefix.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <fstream>
#include <iterator>
#include <string>

#include "fixtures/temp_prefix.h"

namespace fixtures {

inline std::string PeFixtureHostPath(const std::string& name) { return std::string(KELVARO_PE_FIXTURES) + "/" + name; }

inline std::string PeFixtureBytes(const std::string& name) {
  std::ifstream in(PeFixtureHostPath(name), std::ios::binary);
  EXPECT_TRUE(in) << "PE fixture missing: " << PeFixtureHostPath(name);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Copies the fixture to windowsPath in prefix; windowsPath as a QString.
inline QString InstallPeFixture(const TempPrefix& prefix, const std::string& name, const std::string& windowsPath) {
  prefix.writeFile(windowsPath, PeFixtureBytes(name));
  return QString::fromStdString(windowsPath);
}

}  // namespace fixtures
