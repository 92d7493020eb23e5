// The host's writing end of one shared-memory stream channel of one port: the named semaphore
// "/SemStream<c>_<P>" and the mapping "/MemStream<c>_<P>" laid out as media/StreamChannel.h
// describes (read index, reserved word, 1000 entries, data area used as a ring of bytes).
//
// Owns both named objects; when Open created them, Close (or the destructor) unlinks them.
// Opening objects a receiver created first is fine; they are then left to the receiver.
//
// The receiver owns the read index at offset 0 (the entry it takes next; it may store 1000 for
// 0). The writer reads it to learn what was taken and never reuses what was not:
//  - at most 999 entries are outstanding (released and not yet taken), since with both indexes
//    counted modulo 1000 a thousandth would make a full ring look empty; a unit that would be
//    the thousandth is refused with kFull;
//  - the bytes of every outstanding unit, and of the unit taken last (the receiver advances the
//    index before it hands the unit on, uncopied), are never overwritten; a unit that finds no
//    room for that reason is refused with kFull as well.
// Nothing blocks: a refused unit is the caller's to drop or retry later.
//
// Not locked: one thread at a time writes a channel (the receiver takes entries in order, so a
// channel has exactly one writer). Open and Close come from that thread too.
#pragma once

#include <array>
#include <cstdint>

#include "interfaces/StreamChannel.h"
#include "platform/NamedSemaphore.h"
#include "platform/NamedSharedMemory.h"

namespace qxhost {

enum class WriteResult {
    kWritten,
    kFull,     // 999 entries outstanding, or no free room in the data ring for the unit
    kTooLong,  // the unit is longer than the whole data area
    kNotOpen,
};

class StreamWriter {
  public:
    StreamWriter(uint8_t channel, int32_t port) : channel_(channel), port_(port) {}
    ~StreamWriter() { Close(); }
    StreamWriter(const StreamWriter&) = delete;
    StreamWriter& operator=(const StreamWriter&) = delete;

    // 1, 2, 3, 5 or 6.
    static bool IsStreamChannel(uint8_t channel);

    // Creates or opens the semaphore and the mapping. Writing starts at the receiver's read
    // index, so a receiver that outlived an earlier writer takes the new entries next.
    bool Open();
    void Close();
    bool IsOpen() const { return base_ != nullptr; }
    // True when Open created the objects (and Close will unlink them).
    bool CreatedObjects() const { return memory_.Created(); }

    // Copies one unit into the data ring, fills the entry at the write index, advances and
    // releases the semaphore once. `type` and `mediaId` are the host's values (1/240 etc.).
    WriteResult Write(uint8_t type, uint8_t mediaId, uint32_t userId, uint16_t valueA,
                      uint16_t valueB, const uint8_t* data, uint32_t length);
    // Writes `entry` exactly as given (offset and length unchecked, no bytes copied), advances
    // and releases the semaphore: input for the receiver's checks of bad entries.
    WriteResult WriteEntry(const streammanager::StreamEntry& entry);

    // Entries released and not yet taken by the receiver, as the read index shows now.
    uint32_t Outstanding();
    uint64_t UnitsWritten() const { return written_; }
    uint32_t DataBytes() const { return dataBytes_; }
    uint8_t Channel() const { return channel_; }
    int32_t Port() const { return port_; }

  private:
    // Where one written unit's bytes lie, in ring positions that only grow (the offset in the
    // data area is the position modulo the data size).
    struct Span {
        uint64_t begin = 0;
        uint64_t end = 0;
    };

    uint32_t ReadIndex() const;
    // Brings taken_ up to the receiver's read index.
    void ObserveReader();
    // The ring position for `length` bytes, or false when they would overwrite bytes in use.
    bool Place(uint32_t length, uint64_t* position);
    void Publish(const streammanager::StreamEntry& entry, const Span& span);

    // Passed by argument.
    const uint8_t channel_;
    const int32_t port_;

    // Opened by this.
    platform::NamedSemaphore semaphore_;
    platform::NamedSharedMemory memory_;
    uint8_t* base_ = nullptr;
    uint32_t dataBytes_ = 0;

    // Writing state, counted in units since Open.
    uint32_t writeIndex_ = 0;
    uint64_t written_ = 0;
    uint64_t taken_ = 0;
    uint64_t head_ = 0;  // ring position of the next free byte
    std::array<Span, streammanager::kStreamEntryCount> spans_{};
};

}  // namespace qxhost
