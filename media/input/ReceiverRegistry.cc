#include "media/input/ReceiverRegistry.h"

namespace streammanager {

ReceiverRegistry& ReceiverRegistry::Instance() {
    static ReceiverRegistry registry;
    return registry;
}

std::shared_ptr<InputStream> ReceiverRegistry::Acquire(uint8_t channel, int32_t port) {
    platform::MutexLock lock(mutex_);
    const Key key(channel, port);
    Slot& slot = slots_[key];
    if (!slot.receiver) {
        slot.receiver = std::make_unique<InputStream>(channel, port);
    }
    std::shared_ptr<InputStream> holders = slot.holders.lock();
    if (!holders) {
        // The receiver is not freed with its last holder: its thread is stopped.
        holders.reset(slot.receiver.get(), [this, key](InputStream*) { StopWhenUnheld(key); });
        slot.holders = holders;
    }
    holders->StartReceive();
    return holders;
}

void ReceiverRegistry::StopWhenUnheld(const Key& key) {
    platform::MutexLock lock(mutex_);
    Slot& slot = slots_[key];
    // An Acquire in between has given the receiver new holders: it keeps running for them.
    if (slot.holders.expired()) {
        slot.receiver->StopReceive();
    }
}

}  // namespace streammanager
