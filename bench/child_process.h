// Starting other programs from a benchmark: whole processes, each given the
// benchmark's environment with a few entries set for it.
#pragma once

#include <string>
#include <vector>

namespace bench {

// This process's environment with the given NAME=value entries in place of
// any of the same name.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& extra);

// What one run of a program cost, as its parent waited for it.
struct ChildRun {
  bool ok = false;  // started, and exited with 0
  double seconds = 0;
  long minorFaults = 0;
};

// Runs the command (found on PATH, or a path) to its end, its output
// discarded. Started with posix_spawn, so that the time does not include
// copying this process, however large it has grown.
ChildRun Run(std::vector<std::string> args, const std::vector<std::string>& extraEnv);

// The seconds Run took, negative when it could not start or did not exit 0.
double RunToExit(std::vector<std::string> args, const std::vector<std::string>& extraEnv);

// True when an executable of that name is in a folder of PATH.
bool OnPath(const std::string& program);

}  // namespace bench
