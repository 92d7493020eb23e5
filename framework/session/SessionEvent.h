// One queued session event: the record handed to the program, plus the payload it points at.
// Made by a session's I/O thread, then owned by the session's queue, then by whoever fetched
// it until ReleaseEvent. Never shared between threads at the same time.
#pragma once

#include <cstdint>
#include <memory>

#include "interfaces/ISessionManager2.h"

namespace framework {

class SessionEvent : public SessionEventRecord {
  public:
    // A record with room for `payloadLength` bytes and a zero byte after them (data is never
    // null). Null when memory is short.
    static std::unique_ptr<SessionEvent> Make(uint32_t type, uint16_t session,
                                              uint32_t payloadLength);
    // The event a record handed out by FetchEvent belongs to.
    static SessionEvent* FromRecord(SessionEventRecord* record) {
        return static_cast<SessionEvent*>(record);
    }

    SessionEvent(const SessionEvent&) = delete;
    SessionEvent& operator=(const SessionEvent&) = delete;

  private:
    SessionEvent() = default;

    std::unique_ptr<char[]> payload_;
    char empty_[1] = {'\0'};
};

}  // namespace framework
