#include "platform/NamedSemaphore.h"

#include <fcntl.h>

#include <cerrno>
#include <ctime>

namespace platform {

bool NamedSemaphore::Open(const std::string& name, uint32_t initial) {
    Close();
    semaphore_ = sem_open(name.c_str(), O_CREAT | O_EXCL, 0600, initial);
    created_ = semaphore_ != SEM_FAILED;
    if (!created_ && errno == EEXIST) {
        semaphore_ = sem_open(name.c_str(), 0);
    }
    if (semaphore_ == SEM_FAILED) {
        semaphore_ = nullptr;
        created_ = false;
        return false;
    }
    name_ = name;
    return true;
}

bool NamedSemaphore::Release(uint32_t count) {
    if (semaphore_ == nullptr) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (sem_post(semaphore_) != 0) {
            return false;
        }
    }
    return true;
}

bool NamedSemaphore::WaitFor(uint32_t timeoutMs) {
    if (semaphore_ == nullptr) {
        return false;
    }
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(timeoutMs / 1000u);
    deadline.tv_nsec += static_cast<long>(timeoutMs % 1000u) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    for (;;) {
        if (sem_clockwait(semaphore_, CLOCK_MONOTONIC, &deadline) == 0) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

uint32_t NamedSemaphore::Drain() {
    uint32_t taken = 0;
    while (semaphore_ != nullptr) {
        if (sem_trywait(semaphore_) == 0) {
            ++taken;
        } else if (errno != EINTR) {
            break;
        }
    }
    return taken;
}

void NamedSemaphore::Close() {
    if (semaphore_ != nullptr) {
        sem_close(semaphore_);
        if (created_) {
            sem_unlink(name_.c_str());
        }
    }
    semaphore_ = nullptr;
    created_ = false;
    name_.clear();
}

}  // namespace platform
