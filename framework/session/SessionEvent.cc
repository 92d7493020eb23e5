#include "framework/session/SessionEvent.h"

#include <new>

namespace framework {

std::unique_ptr<SessionEvent> SessionEvent::Make(uint32_t type, uint16_t session,
                                                 uint32_t payloadLength) {
    std::unique_ptr<SessionEvent> event(new (std::nothrow) SessionEvent());
    if (event == nullptr) {
        return nullptr;
    }
    event->type = type;
    event->session = session;
    event->padding = 0;
    event->length = payloadLength;
    event->data = event->empty_;
    if (payloadLength > 0) {
        event->payload_.reset(new (std::nothrow) char[static_cast<size_t>(payloadLength) + 1]);
        if (event->payload_ == nullptr) {
            return nullptr;
        }
        event->payload_[payloadLength] = '\0';
        event->data = event->payload_.get();
    }
    return event;
}

}  // namespace framework
