#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QStandardPaths>
#include <chrono>

extern char** environ;

namespace bench {

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& extra) {
  std::vector<std::string> env = extra;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('=') + 1);
    bool replaced = false;
    for (const std::string& x : extra) replaced = replaced || x.compare(0, name.size(), name) == 0;
    if (!replaced) env.push_back(entry);
  }
  return env;
}

ChildRun Run(std::vector<std::string> args, const std::vector<std::string>& extraEnv) {
  std::vector<std::string> env = EnvironmentWith(extraEnv);
  std::vector<char*> envp, argv;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const auto start = std::chrono::steady_clock::now();
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  ChildRun run;
  if (spawned != 0 || wait4(pid, &status, 0, &usage) != pid) return run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.minorFaults = usage.ru_minflt;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

double RunToExit(std::vector<std::string> args, const std::vector<std::string>& extraEnv) {
  const ChildRun run = Run(std::move(args), extraEnv);
  return run.ok ? run.seconds : -1;
}

bool OnPath(const std::string& program) {
  return !QStandardPaths::findExecutable(QString::fromStdString(program)).isEmpty();
}

}  // namespace bench
