#include "media/output/OutputAudio.h"

#include <algorithm>
#include <cstring>

#include "base/Log.h"

namespace streammanager {

int32_t OutputAudio::Init(const WaveFormat& format) {
    platform::MutexLock lock(encodeLock_);
    const int32_t result = encoder_.Init(&format, nullptr);
    aac_.resize(std::max(kAacBufferBytes, encoder_.MaxOutputBytes()));
    return result;
}

void OutputAudio::Uninit() {
    platform::MutexLock lock(encodeLock_);
    encoder_.Uninit();
}

StreamMetaData OutputAudio::MetaData() const {
    StreamMetaData meta;
    meta.hasAudio = hasAudioStream_.load() != 0;
    meta.audioKbps = static_cast<int32_t>(AacEncoder::kBitRate / 1000);
    meta.audioSampleRate = static_cast<int32_t>(AacEncoder::kSampleRate);
    meta.audioSampleSize = 16;
    meta.stereo = AacEncoder::kChannels == 2;
    return meta;
}

uint16_t OutputAudio::SetParam(const AudioOutputParam& audio, IInputBooking* context,
                               int32_t contextId) {
    SC_TRACE("streammanager::Output::SetAudioOutputParama");
    {
        KESTREL::WAutoLock lock(&lock_);
        for (auto it = booked_.begin(); it != booked_.end();) {
            if (audio.inputs.count(*it) == 0) {
                if (context != nullptr) {
                    context->UnBookInput(*it);
                }
                it = booked_.erase(it);
            } else {
                ++it;
            }
        }
    }
    if (audio.inputs.empty()) {
        return 0;
    }
    hasAudioStream_.store(audio.isHaveAudioStream);
    // Only the control path changes the booked set, so it is read here without the lock's
    // being held across the context's calls.
    for (const int32_t handle : audio.inputs) {
        {
            KESTREL::WAutoLock lock(&lock_);
            if (booked_.count(handle) != 0) {
                continue;
            }
        }
        if (context != nullptr) {
            const uint16_t result = static_cast<uint16_t>(context->BookInput(handle));
            if (result != 0) {
                SC_LOG(
                    "Output::SetAudioOutputParama, Book input failed, audio: %d, context: "
                    "%d.\n",
                    handle, contextId);
                return result;
            }
        }
        KESTREL::WAutoLock lock(&lock_);
        booked_.insert(handle);
    }
    return 0;
}

void OutputAudio::OnMediaData(const uint8_t* data, uint32_t length, PusherList* pushers) {
    platform::MutexLock lock(encodeLock_);
    AudioResample* resample = encoder_.GetAudioResample();
    uint8_t* converted = encoder_.GetResampleBuffer();
    if (resample == nullptr || converted == nullptr) {
        return;
    }
    std::fill(aac_.begin(), aac_.end(), 0);
    std::memset(converted, 0, encoder_.GetResampleBufferSize());
    uint32_t size = encoder_.GetResampleBufferSize();
    if (resample->Convert(data, length, converted, &size) != 1) {
        return;
    }
    int32_t aacLength = 0;
    encoder_.EncodeAacData(converted, size, aac_.data(), &aacLength);
    if (aacLength > 0) {
        pushers->CacheAudio(aac_.data(), aacLength);
    }
}

}  // namespace streammanager
