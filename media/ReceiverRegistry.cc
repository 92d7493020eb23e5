#include "media/ReceiverRegistry.h"

namespace streammanager {

ReceiverRegistry& ReceiverRegistry::Instance() {
    static ReceiverRegistry registry;
    return registry;
}

std::shared_ptr<InputStream> ReceiverRegistry::Acquire(uint8_t channel, int32_t port) {
    platform::MutexLock lock(mutex_);
    const Key key(channel, port);
    std::shared_ptr<InputStream> receiver = receivers_[key].lock();
    if (!receiver) {
        receiver.reset(new InputStream(channel, port),
                       [this, key](InputStream* stream) { Destroy(key, stream); });
        receivers_[key] = receiver;
    }
    receiver->StartReceive();
    return receiver;
}

void ReceiverRegistry::Destroy(const Key& key, InputStream* receiver) {
    platform::MutexLock lock(mutex_);
    auto it = receivers_.find(key);
    if (it != receivers_.end() && it->second.expired()) {
        receivers_.erase(it);
    }
    delete receiver;
}

}  // namespace streammanager
