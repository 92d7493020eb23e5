#include "host/StreamWriter.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace qxhost {

namespace {

using streammanager::kStreamEntryCount;

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the read index is loaded as a native word; the layout is little-endian");

}  // namespace

bool StreamWriter::IsStreamChannel(uint8_t channel) {
    const uint8_t* begin = std::begin(streammanager::kStreamChannels);
    const uint8_t* end = std::end(streammanager::kStreamChannels);
    return std::find(begin, end, channel) != end;
}

bool StreamWriter::Open() {
    Close();
    if (!IsStreamChannel(channel_)) {
        return false;
    }
    const uint32_t dataBytes = streammanager::ChannelDataBytes(channel_);
    if (!semaphore_.Open(streammanager::StreamSemaphoreName(channel_, port_), 0)) {
        return false;
    }
    if (!memory_.Open(streammanager::StreamMemoryName(channel_, port_),
                      streammanager::kStreamIndexBytes + dataBytes)) {
        semaphore_.Close();
        return false;
    }
    base_ = memory_.Data();
    if (!semaphore_.Created()) {
        semaphore_.Drain();  // counts an earlier writer left for entries it will not finish
    }
    dataBytes_ = dataBytes;
    writeIndex_ = ReadIndex();
    return true;
}

void StreamWriter::Close() {
    semaphore_.Close();
    memory_.Close();
    base_ = nullptr;
    dataBytes_ = 0;
    writeIndex_ = 0;
    written_ = 0;
    taken_ = 0;
    head_ = 0;
    spans_.fill(Span{});
}

WriteResult StreamWriter::Write(uint8_t type, uint8_t mediaId, uint32_t userId, uint16_t valueA,
                                uint16_t valueB, const uint8_t* data, uint32_t length) {
    if (!IsOpen()) {
        return WriteResult::kNotOpen;
    }
    if (length > dataBytes_) {
        return WriteResult::kTooLong;
    }
    if (Outstanding() >= kStreamEntryCount - 1) {
        return WriteResult::kFull;
    }
    uint64_t position = 0;
    if (!Place(length, &position)) {
        return WriteResult::kFull;
    }
    streammanager::StreamEntry entry;
    entry.type = type;
    entry.mediaId = mediaId;
    entry.userId = userId;
    entry.length = length;
    entry.valueA = valueA;
    entry.valueB = valueB;
    entry.offset = static_cast<uint32_t>(position % dataBytes_);
    if (length > 0) {
        std::memcpy(base_ + streammanager::kStreamIndexBytes + entry.offset, data, length);
    }
    Publish(entry, Span{position, position + length});
    return WriteResult::kWritten;
}

WriteResult StreamWriter::WriteEntry(const streammanager::StreamEntry& entry) {
    if (!IsOpen()) {
        return WriteResult::kNotOpen;
    }
    if (Outstanding() >= kStreamEntryCount - 1) {
        return WriteResult::kFull;
    }
    // The entry claims no ring bytes, so the ring's accounting goes on where it stands.
    Publish(entry, Span{head_, head_});
    return WriteResult::kWritten;
}

uint32_t StreamWriter::Outstanding() {
    ObserveReader();
    return static_cast<uint32_t>(written_ - taken_);
}

uint32_t StreamWriter::ReadIndex() const {
    // The receiver stores this word while we run; load it whole.
    const uint32_t index =
        __atomic_load_n(reinterpret_cast<const uint32_t*>(base_), __ATOMIC_ACQUIRE);
    return index >= kStreamEntryCount ? 0 : index;
}

void StreamWriter::ObserveReader() {
    const uint32_t outstanding =
        (writeIndex_ + kStreamEntryCount - ReadIndex()) % kStreamEntryCount;
    // An index that would mean the receiver went back, or took entries never written, is not
    // one it could have stored: keep what we knew.
    if (outstanding <= written_ - taken_) {
        taken_ = written_ - outstanding;
    }
}

bool StreamWriter::Place(uint32_t length, uint64_t* position) {
    uint64_t begin = head_;
    const uint64_t offset = begin % dataBytes_;
    if (offset + length > dataBytes_) {
        begin += dataBytes_ - offset;  // does not fit before the end: start again at offset 0
    }
    // Bytes in use begin with the unit taken last, which the receiver may still be handing on.
    const uint64_t oldestInUse = taken_ > 0 ? taken_ - 1 : 0;
    const uint64_t tail =
        oldestInUse < written_ ? spans_[oldestInUse % kStreamEntryCount].begin : begin;
    if (begin + length > tail + dataBytes_) {
        return false;
    }
    *position = begin;
    return true;
}

void StreamWriter::Publish(const streammanager::StreamEntry& entry, const Span& span) {
    uint8_t* slot = base_ + streammanager::kStreamEntriesOffset +
                    writeIndex_ * streammanager::kStreamEntryBytes;
    streammanager::StoreStreamEntry(slot, entry);
    spans_[written_ % kStreamEntryCount] = span;
    head_ = std::max(head_, span.end);
    ++written_;
    writeIndex_ = (writeIndex_ + 1) % kStreamEntryCount;
    // The post orders the entry and the bytes before the receiver's wake-up. It cannot
    // overflow: at most 999 entries are outstanding.
    semaphore_.Release(1);
}

}  // namespace qxhost
