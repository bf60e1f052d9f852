// What the benchmarks that time whole runs on workstations of their own
// share: the --pairs flag, the server check, wall-clock seconds, and the
// company databases of a site.
#pragma once

#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "db/company_database.h"
#include "fixtures/workstation_fleet.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// --pairs=N among the arguments (at least 1), else byDefault.
inline int PairsFlag(int argc, char** argv, int byDefault) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--pairs=", 8) == 0) return std::max(1, std::atoi(argv[i] + 8));
  }
  return byDefault;
}

// False, after saying so, when no Firebird server listens.
inline bool ServerThere() {
  if (dbtest::ServerReachable()) return true;
  std::fprintf(stderr, "no Firebird server on 127.0.0.1:3050 (scripts/firebird/start-server.sh)\n");
  return false;
}

// A company database on the server for each name, kept in databases.
inline std::vector<fixtures::SharedCompany> Companies(std::initializer_list<QString> names,
                                                     std::vector<std::unique_ptr<dbtest::CompanyDatabase>>* databases) {
  std::vector<fixtures::SharedCompany> companies;
  for (const QString& name : names) {
    databases->push_back(std::make_unique<dbtest::CompanyDatabase>());
    companies.push_back({name, databases->back()->folder().path()});
  }
  return companies;
}

}  // namespace bench
