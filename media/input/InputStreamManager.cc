#include "media/input/InputStreamManager.h"

#include "interfaces/StreamChannel.h"
#include "media/input/ReceiverRegistry.h"

namespace streammanager {

InputStreamManager::~InputStreamManager() {
    // Receivers are acquired and released on the pump thread only, so a use count of 1 means
    // this manager is the last user: ask all of those to stop at once, then let them go.
    for (size_t slot = receivers_.size(); slot-- > 0;) {
        if (receivers_[slot]) {
            receivers_[slot]->RemoveTarget(target_);
            if (receivers_[slot].use_count() == 1) {
                receivers_[slot]->RequestStop();
            }
        }
    }
    for (size_t slot = receivers_.size(); slot-- > 0;) {
        receivers_[slot].reset();
    }
}

int32_t InputStreamManager::Init(IStreamDataTarget* target, int32_t port) {
    target_ = target;
    for (size_t slot = 0; slot < receivers_.size(); ++slot) {
        if (!receivers_[slot]) {
            receivers_[slot] = ReceiverRegistry::Instance().Acquire(kStreamChannels[slot], port);
            receivers_[slot]->AddTarget(target_);
        }
    }
    return 0;
}

}  // namespace streammanager
