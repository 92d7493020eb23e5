// An eventfd that wakes a thread blocked in poll on a socket. Signal from any thread; the
// waiting thread polls Fd(). Stays signalled once set.
#pragma once

namespace platform {

class WakeupFd {
  public:
    WakeupFd();
    ~WakeupFd();
    WakeupFd(const WakeupFd&) = delete;
    WakeupFd& operator=(const WakeupFd&) = delete;

    bool IsValid() const { return fd_ >= 0; }
    void Signal();
    int Fd() const { return fd_; }

  private:
    int fd_ = -1;
};

}  // namespace platform
