// Starting other programs from a benchmark: whole processes, each given the
// benchmark's environment with a few entries set for it.
#pragma once

#include <string>
#include <vector>

namespace bench {

// This process's environment with the given NAME=value entries in place of
// any of the same name.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& extra);

// Runs the command (found on PATH) to its end, its output discarded; returns
// the seconds it took, negative when it could not start or did not exit 0.
double RunToExit(std::vector<std::string> args, const std::vector<std::string>& extraEnv);

// True when an executable of that name is in a folder of PATH.
bool OnPath(const std::string& program);

}  // namespace bench
