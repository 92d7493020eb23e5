#include "base/WThread.h"

namespace KESTREL {

namespace {
constexpr uint32_t kStartWaitMs = 15000;
}

WThread::~WThread() {
    Join();
}

bool WThread::StartThread(bool waitStarted, void* parameter) {
    if (thread_.Joinable()) {
        return true;
    }
    stopRequested_.store(false);
    stopEvent_.Reset();
    parameter_ = parameter != nullptr ? parameter : this;
    startedEvent_.Reset();
    if (!thread_.Start([this] { Run(); })) {
        return false;
    }
    if (waitStarted) {
        startedEvent_.WaitFor(kStartWaitMs);
    }
    return true;
}

void WThread::Run() {
    startedEvent_.Set();
    ThreadProcEx();
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
    thread_.Join();
}

}  // namespace KESTREL
