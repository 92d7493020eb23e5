#include "media/input/QXInput.h"

#include "base/Log.h"
#include "base/ResultCodes.h"
#include "interfaces/QXTypes.h"
#include "interfaces/StreamChannel.h"
#include "platform/Clock.h"

namespace streammanager {

namespace {
constexpr uint32_t kVideoHeaderBytes = 8;
}  // namespace

bool ParseEncodedVideoHeader(uint8_t mediaType, const uint8_t* data, uint32_t length,
                             EncodedVideoHeader* header) {
    if (length < kVideoHeaderBytes) {
        return false;
    }
    const uint32_t w0 = LoadLittle32(data);
    const uint32_t w1 = LoadLittle32(data + 4);
    header->headerLength = kVideoHeaderBytes + (w1 >> 29);
    if (length < header->headerLength) {
        return false;
    }
    MediaDataDesc& desc = header->desc;
    desc = MediaDataDesc{};
    desc.mediaType = mediaType;
    desc.codecId = static_cast<uint8_t>(w0 & 0x0F);
    desc.keyFrame = static_cast<uint8_t>((w0 >> 4) & 0x01);
    desc.fieldA = static_cast<uint8_t>((w0 >> 5) & 0x03);
    desc.flagB = (w0 >> 7) & 0x01;
    desc.width = static_cast<uint16_t>(((w0 >> 8) & 0x0FFF) * 8);
    desc.height = static_cast<uint16_t>(((w0 >> 20) & 0x0FFF) * 8);
    desc.timestamp = w1 & 0x07FFFFFF;
    return true;
}

QXInput::QXInput(int32_t contextId, int32_t inputHandle, QXProtocol* protocol,
                 const InputStreamKey& key, TickSource tick)
    : Input(inputHandle), contextId_(contextId), protocol_(protocol), key_(key), tick_(tick) {
    if (protocol_ == nullptr) {
        SC_LOG("QXInput::QXInput, Create QXInput failed.\n");
    }
}

QXInput::~QXInput() {
    SC_LOG("QXInput::~QXInput, Destroy qx input: %d, context: %d.\n", GetInputHandle(), contextId_);
}

uint16_t QXInput::BookStream() {
    if (protocol_ == nullptr) {
        return kResultContextInitFailed;
    }
    return protocol_->AddInputStream(&key_, this);
}

void QXInput::UnbookStream() {
    if (protocol_ != nullptr) {
        protocol_->RemoveInputStream(&key_);
    }
}

int32_t QXInput::SetSyncTimer(IPlaySyncTime* clock) {
    if (clock == nullptr) {
        SC_LOG("QXInput SetSyncTimer failed.\n");
        return E_FAIL;
    }
    syncTimer_.store(clock);
    return 0;
}

int32_t QXInput::ResetFrameCount() {
    rawPictureCount_.store(0);
    return 0;
}

int32_t QXInput::OnMediaData(uint8_t mediaType, const uint8_t* data, uint32_t length,
                             uint16_t valueA, uint16_t valueB) {
    // The unit's media time: it was read from the host's channel just now.
    const uint64_t arrivalUs = platform::MonotonicMicros();
    MediaDataDesc desc;
    desc.mediaType = mediaType;
    desc.arrivalUs = arrivalUs;
    if (mediaType == kMediaAudio) {
        desc.timestamp = tick_();
        desc.keyFrame = 1;
        DeliverMediaData(desc, data, length);
    } else if (IsEncodedVideo(mediaType)) {
        EncodedVideoHeader header;
        if (ParseEncodedVideoHeader(mediaType, data, length, &header)) {
            header.desc.arrivalUs = arrivalUs;
            DeliverMediaData(header.desc, data + header.headerLength, length - header.headerLength);
        }
    } else if (IsRawPicture(mediaType)) {
        desc.fourcc[0] = 'I', desc.fourcc[1] = '4', desc.fourcc[2] = '2', desc.fourcc[3] = '0';
        desc.timestamp = tick_();
        desc.width = valueA;
        desc.height = valueB;
        desc.keyFrame = rawPictureCount_.fetch_add(1) % 3 == 0 ? 1 : 0;
        DeliverMediaData(desc, data, length);
    }
    return 0;
}

}  // namespace streammanager
