// The host's writing end of the recording ring of one port: the named semaphore
// "/SemScreenRecord<P>" and the mapping "/MemScreenRecord<P>" laid out as
// interfaces/RecordRing.h describes (read index, reserved word, 2000 slots of 2048 bytes).
//
// Owns both named objects; when Open created them, Close (or the destructor) unlinks them.
// The reader owns the read index (the slot it takes next); the writer fills slots from there
// and refuses a block while 1999 slots are outstanding, so a slot not yet read is never
// overwritten. Not locked: one thread writes; Open and Close come from that thread too.
#pragma once

#include <cstdint>

#include "host/StreamWriter.h"
#include "platform/NamedSemaphore.h"
#include "platform/NamedSharedMemory.h"

namespace qxhost {

class RingWriter {
  public:
    explicit RingWriter(int32_t port) : port_(port) {}
    ~RingWriter() { Close(); }
    RingWriter(const RingWriter&) = delete;
    RingWriter& operator=(const RingWriter&) = delete;

    bool Open();
    void Close();
    bool IsOpen() const { return base_ != nullptr; }

    // Fills the next slot with one block (at most 2048 bytes) and releases the semaphore.
    WriteResult Write(const uint8_t* data, uint32_t length);

  private:
    int32_t ReadIndex() const;

    const int32_t port_;
    platform::NamedSemaphore semaphore_;
    platform::NamedSharedMemory memory_;
    uint8_t* base_ = nullptr;
    int32_t writeIndex_ = 0;
};

}  // namespace qxhost
