// The process's quit request: a POSIX semaphore that any thread, and the SIGINT and SIGTERM
// handlers, may post (sem_post is async-signal-safe); the main thread waits on it. One per
// process, created by the main thread before any other thread starts.
#pragma once

#include <semaphore.h>

namespace platform {

class QuitSignal {
  public:
    QuitSignal();
    ~QuitSignal();
    // False when the semaphore could not be made: nothing can wait for a quit request then.
    bool IsReady() const { return ready_; }
    QuitSignal(const QuitSignal&) = delete;
    QuitSignal& operator=(const QuitSignal&) = delete;

    // Routes SIGINT and SIGTERM to Post; restores the previous handlers in the destructor.
    bool InstallSignalHandlers();
    void Post();
    // Blocks until Post has been called at least once (returns at once when not ready).
    void Wait();

  private:
    static void OnSignal(int signal);

    sem_t semaphore_{};
    bool ready_ = false;
    bool handlersInstalled_ = false;
};

}  // namespace platform
