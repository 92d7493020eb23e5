// Keeps SIGPIPE from ending the process while a library writes to a connection the peer has
// closed: for the guard's scope SIGPIPE is blocked on the calling thread, so the write fails
// with EPIPE instead; a SIGPIPE raised meanwhile is taken off the thread before the old signal
// mask comes back. Per thread; a guard lives on the stack of the thread that made it.
#pragma once

namespace platform {

class BrokenPipeGuard {
  public:
    BrokenPipeGuard();
    ~BrokenPipeGuard();
    BrokenPipeGuard(const BrokenPipeGuard&) = delete;
    BrokenPipeGuard& operator=(const BrokenPipeGuard&) = delete;

  private:
    // This guard blocked SIGPIPE (it was not blocked already by an outer guard, and the mask
    // could be changed): only then does it take a pending SIGPIPE and unblock again.
    bool blockedHere_ = false;
};

}  // namespace platform
