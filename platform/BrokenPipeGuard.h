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
    // SIGPIPE was blocked already (an outer guard): leave the mask and the pending set alone.
    bool wasBlocked_ = false;
};

}  // namespace platform
