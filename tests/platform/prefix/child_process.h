// A forked child that does one thing, tells the parent it has done it, and
// waits to be killed; killed and reaped when the object goes.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace prefixtests {

class ChildProcess {
 public:
  // Runs action in a child; the constructor returns once the child has
  // finished it. The child then sleeps until it is killed.
  explicit ChildProcess(const std::function<void()>& action) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      action();
      const char done = 1;
      if (write(ready[1], &done, 1) != 1) _exit(1);
      for (;;) pause();
    }
    close(ready[1]);
    char done = 0;
    if (pid_ > 0 && read(ready[0], &done, 1) != 1) kill();
    close(ready[0]);
  }
  ~ChildProcess() { kill(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool running() const { return pid_ > 0; }
  void kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

}  // namespace prefixtests
