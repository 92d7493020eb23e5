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

void OutputAudio::OnMediaData(const uint8_t* data, uint32_t length, uint64_t arrivalUs,
                              IEncodedSink* pushers) {
    platform::MutexLock lock(encodeLock_);
    AudioResample* resample = encoder_.GetAudioResample();
    const uint32_t piece =
        resample != nullptr ? resample->SourceBytesFitting(encoder_.GetResampleBufferSize()) : 0;
    if (data == nullptr || piece == 0) {
        NoteRefusedBlock(length);
        return;
    }
    const uint32_t align = resample->SourceBlockAlign();
    const uint32_t whole = length - length % align;
    if (whole != length) {
        NoteRefusedBlock(length);  // the partial sample at its end is dropped
    }
    const int64_t nominal =
        static_cast<int64_t>(whole / align) * AacEncoder::kSampleRate / resample->SourceRate();
    const codec::AudioClock::Placement placement =
        clock_.Place(static_cast<int64_t>(arrivalUs), nominal);
    if (placement.drop || nominal == 0) {
        return;
    }
    if (placement.samples != nominal) {
        resample->Compensate(static_cast<int32_t>(placement.samples - nominal),
                             static_cast<int32_t>(nominal));
    }
    // A block of any length goes through the fixed conversion buffer in pieces.
    for (uint32_t at = 0; at < whole; at += piece) {
        EncodePiece(data + at, std::min(piece, whole - at), pushers);
    }
}

void OutputAudio::EncodePiece(const uint8_t* data, uint32_t length, IEncodedSink* pushers) {
    uint8_t* converted = encoder_.GetResampleBuffer();
    uint32_t size = encoder_.GetResampleBufferSize();
    if (encoder_.GetAudioResample()->Convert(data, length, converted, &size) != 1) {
        return;
    }
    const int64_t made = size / AudioResample::kDestBlockAlign;
    clock_.Count(made);
    // Every whole coder frame waiting goes in; each frame starts where the count was then.
    const int64_t frameSamples = encoder_.GetOutPcmSize() / AudioResample::kDestBlockAlign;
    int64_t waiting = encodedSamples_ % frameSamples + made;
    encodedSamples_ += made;
    int32_t aacLength = 0;
    while (encoder_.EncodeAacData(converted, size, aac_.data(), &aacLength) == 0 &&
           aacLength >= 0) {
        const int64_t frameStart = encodedSamples_ - waiting;
        waiting -= frameSamples;
        if (frameTimes_.empty()) {
            // The coder's priming comes out first, as sound just before the first frame's.
            for (uint32_t k = encoder_.DelayFrames(); k > 0; --k) {
                frameTimes_.push_back(clock_.TimeOfSample(frameStart - k * frameSamples));
            }
        }
        frameTimes_.push_back(clock_.TimeOfSample(frameStart));
        OnFrameEncoded(aacLength, pushers);
        size = 0;
    }
}

void OutputAudio::OnFrameEncoded(int32_t aacLength, IEncodedSink* pushers) {
    if (aacLength <= 0 || frameTimes_.empty()) {
        return;
    }
    const int64_t mediaUs = frameTimes_.front();
    frameTimes_.pop_front();
    pushers->CacheAudio(aac_.data(), aacLength,
                        static_cast<uint64_t>(std::max<int64_t>(mediaUs, 0)) / 1000);
}

void OutputAudio::NoteRefusedBlock(uint32_t length) {
    if (++refusedBlocks_ == 1 || refusedBlocks_ % kRefusedLogInterval == 0) {
        SC_LOG("Output::OnMediaDataForAudio, block of %u bytes refused, refused so far: %llu.\n",
               length, static_cast<unsigned long long>(refusedBlocks_));
    }
}

}  // namespace streammanager
