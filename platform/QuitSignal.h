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
    QuitSignal(const QuitSignal&) = delete;
    QuitSignal& operator=(const QuitSignal&) = delete;

    // Routes SIGINT and SIGTERM to Post; restores the previous handlers in the destructor.
    bool InstallSignalHandlers();
    void Post();
    // Blocks until Post has been called at least once.
    void Wait();

  private:
    static void OnSignal(int signal);

    sem_t semaphore_{};
    bool handlersInstalled_ = false;
};

}  // namespace platform
