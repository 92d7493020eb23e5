// A joinable thread, started with pthread_create so that a refused start is a result rather
// than an exception. Owned by one object; Start and Join are called from the owner's thread
// (never from the thread itself), so it has no lock. The destructor joins a thread that is
// still there, as a last resort: owners stop and join their threads themselves. Every thread
// runs with an alternate signal stack of its own (AltSignalStack) for the crash handler.
#pragma once

#include <pthread.h>

#include <functional>

namespace platform {

class Thread {
  public:
    Thread() = default;
    ~Thread() { Join(); }
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Runs `body` on a new thread. False (and nothing runs) when a thread is there already or
    // the system refuses one.
    bool Start(std::function<void()> body);
    // Waits for the thread to end; at once when there is none.
    void Join();
    bool Joinable() const { return started_; }

  private:
    static void* Entry(void* self);

    std::function<void()> body_;
    pthread_t handle_{};
    bool started_ = false;
};

}  // namespace platform
