#include "host/RingWriter.h"

#include <cstring>

#include "interfaces/RecordRing.h"
#include "interfaces/StreamChannel.h"

namespace qxhost {

using streammanager::kRecordSlotCount;

bool RingWriter::Open() {
    Close();
    if (!semaphore_.Open(streammanager::RecordSemaphoreName(port_), 0)) {
        return false;
    }
    if (!memory_.Open(streammanager::RecordMemoryName(port_), streammanager::kRecordRingBytes)) {
        semaphore_.Close();
        return false;
    }
    base_ = memory_.Data();
    if (!semaphore_.Created()) {
        semaphore_.Drain();  // counts an earlier writer left for entries it will not finish
    }
    writeIndex_ = ReadIndex();
    return true;
}

void RingWriter::Close() {
    semaphore_.Close();
    memory_.Close();
    base_ = nullptr;
    writeIndex_ = 0;
}

// The reader may leave 2000 there, meaning slot 0.
int32_t RingWriter::ReadIndex() const {
    const int32_t index = static_cast<int32_t>(streammanager::LoadLittle32(base_));
    return index >= 0 && index < kRecordSlotCount ? index : 0;
}

WriteResult RingWriter::Write(const uint8_t* data, uint32_t length) {
    if (!IsOpen()) {
        return WriteResult::kNotOpen;
    }
    if (length > static_cast<uint32_t>(streammanager::kRecordSlotDataBytes)) {
        return WriteResult::kTooLong;
    }
    const int32_t outstanding = (writeIndex_ - ReadIndex() + kRecordSlotCount) % kRecordSlotCount;
    if (outstanding >= kRecordSlotCount - 1) {
        return WriteResult::kFull;
    }
    uint8_t* slot = base_ + streammanager::RecordSlotOffset(writeIndex_);
    streammanager::StoreLittle32(slot, length);
    if (length > 0) {
        std::memcpy(slot + 4, data, length);
    }
    writeIndex_ = (writeIndex_ + 1) % kRecordSlotCount;
    semaphore_.Release();
    return WriteResult::kWritten;
}

}  // namespace qxhost
