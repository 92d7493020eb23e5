#include "platform/BrokenPipeGuard.h"

#include <pthread.h>
#include <signal.h>

#include <ctime>

namespace platform {

namespace {

sigset_t BrokenPipeSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    return set;
}

}  // namespace

BrokenPipeGuard::BrokenPipeGuard() {
    const sigset_t pipe = BrokenPipeSet();
    sigset_t old;
    sigemptyset(&old);
    blockedHere_ = pthread_sigmask(SIG_BLOCK, &pipe, &old) == 0 && sigismember(&old, SIGPIPE) == 0;
}

BrokenPipeGuard::~BrokenPipeGuard() {
    if (!blockedHere_) {
        return;
    }
    const sigset_t pipe = BrokenPipeSet();
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
        const timespec now{};
        sigtimedwait(&pipe, nullptr, &now);
    }
    pthread_sigmask(SIG_UNBLOCK, &pipe, nullptr);
}

}  // namespace platform
