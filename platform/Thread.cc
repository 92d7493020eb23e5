#include "platform/Thread.h"

#include <utility>

#include "platform/AltSignalStack.h"

namespace platform {

bool Thread::Start(std::function<void()> body) {
    if (started_ || !body) {
        return false;
    }
    body_ = std::move(body);
    started_ = pthread_create(&handle_, nullptr, &Thread::Entry, this) == 0;
    if (!started_) {
        body_ = nullptr;
    }
    return started_;
}

void Thread::Join() {
    if (started_) {
        pthread_join(handle_, nullptr);
        started_ = false;
        body_ = nullptr;
    }
}

void* Thread::Entry(void* self) {
    // The crash handler runs on it, so that a fault from this thread's stack running out is
    // reported too. Unmapped when the body returns.
    AltSignalStack altStack;
    static_cast<Thread*>(self)->body_();
    return nullptr;
}

}  // namespace platform
