#include "tests/framework/SessionEventLog.h"

#include <chrono>

namespace framework_test {

SessionParams SessionEventLog::Params() {
    SessionParams params{};
    params.callback = &SessionEventLog::OnNotify;
    params.notifyId = 77;
    params.context = this;
    return params;
}

void SessionEventLog::OnNotify(uint32_t /*notifyId*/, uint32_t type, uint32_t session,
                               uint32_t /*reserved*/, void* context) {
    auto* log = static_cast<SessionEventLog*>(context);
    if (log->hook) {
        log->hook(type, static_cast<uint16_t>(session));
    }
    {
        std::lock_guard<std::mutex> lock(log->mutex_);
        log->types_.push_back(type);
    }
    log->arrived_.notify_all();
}

bool SessionEventLog::WaitForCount(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::milliseconds(kWaitMs),
                             [&] { return types_.size() >= count; });
}

size_t SessionEventLog::Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return types_.size();
}

std::vector<uint32_t> SessionEventLog::Types() {
    std::lock_guard<std::mutex> lock(mutex_);
    return types_;
}

}  // namespace framework_test
