// A child process started with posix_spawn and reaped through a pidfd, so waits are timed
// without polling. Owned and called by one thread. The destructor kills and reaps a child that
// is still running, so no zombie is left.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace platform {

class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // args[0] is the program's name as the child sees it. `environment` entries "NAME=value"
    // are added to (or replace those of) this process's environment; an entry "NAME" without
    // "=" removes that variable from the child's environment.
    bool Start(const std::string& path, const std::vector<std::string>& args,
               const std::vector<std::string>& environment = {});
    // True once the child has ended within timeoutMs (timeoutMs < 0: without limit);
    // ExitCode() then holds its code, or 128 + the signal that ended it.
    bool WaitExit(int timeoutMs);
    void Signal(int signal);
    bool IsRunning() const { return pid_ > 0 && !exited_; }
    pid_t Pid() const { return pid_; }
    int ExitCode() const { return exitCode_; }

  private:
    pid_t pid_ = -1;
    int pidfd_ = -1;
    bool exited_ = false;
    int exitCode_ = -1;
};

}  // namespace platform
