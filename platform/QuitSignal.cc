#include "platform/QuitSignal.h"

#include <atomic>
#include <cerrno>
#include <csignal>

namespace platform {

namespace {
// The one instance that the signal handlers post; set while handlers are installed.
std::atomic<QuitSignal*> g_signalTarget{nullptr};
struct sigaction g_previousInt {};
struct sigaction g_previousTerm {};
}  // namespace

QuitSignal::QuitSignal() : ready_(sem_init(&semaphore_, 0, 0) == 0) {}

QuitSignal::~QuitSignal() {
    if (handlersInstalled_) {
        sigaction(SIGINT, &g_previousInt, nullptr);
        sigaction(SIGTERM, &g_previousTerm, nullptr);
        g_signalTarget.store(nullptr);
    }
    if (ready_) {
        sem_destroy(&semaphore_);
    }
}

bool QuitSignal::InstallSignalHandlers() {
    g_signalTarget.store(this);
    struct sigaction action {};
    action.sa_handler = &QuitSignal::OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    handlersInstalled_ = sigaction(SIGINT, &action, &g_previousInt) == 0 &&
                         sigaction(SIGTERM, &action, &g_previousTerm) == 0;
    return handlersInstalled_;
}

void QuitSignal::OnSignal(int /*signal*/) {
    QuitSignal* target = g_signalTarget.load();
    if (target != nullptr) {
        target->Post();
    }
}

void QuitSignal::Post() {
    if (ready_) {
        sem_post(&semaphore_);
    }
}

void QuitSignal::Wait() {
    while (ready_ && sem_wait(&semaphore_) != 0 && errno == EINTR) {
    }
}

}  // namespace platform
