#include "base/WThread.h"

#include "platform/ThreadId.h"

namespace KESTREL {

namespace {
constexpr uint32_t kStartWaitMs = 15000;
}

WThread::~WThread() {
    Join();
}

bool WThread::StartThread(bool waitStarted, void* parameter) {
    if (thread_.joinable()) {
        return true;
    }
    stopRequested_.store(false);
    stopEvent_.Reset();
    parameter_ = parameter != nullptr ? parameter : this;
    startedEvent_.Reset();
    thread_ = std::thread(&WThread::Run, this);
    if (waitStarted) {
        startedEvent_.WaitFor(kStartWaitMs);
    }
    return thread_.joinable();
}

void WThread::Run() {
    threadId_.store(platform::CurrentThreadId());
    startedEvent_.Set();
    exitCode_.store(ThreadProcEx());
}

void WThread::SignalStop() {
    stopRequested_.store(true);
    stopEvent_.Set();
}

void WThread::StopThread() {
    SignalStop();
    Join();
}

void WThread::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
    threadId_.store(0);
}

}  // namespace KESTREL
