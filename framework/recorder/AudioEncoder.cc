#include "framework/recorder/AudioEncoder.h"

#include <algorithm>
#include <utility>

namespace framework {

namespace {

constexpr int32_t kHighestRate = 48000;
constexpr int32_t kRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
// The most input a channel converted at once.
constexpr int32_t kChunk = 4096;

// The input rate when AAC takes it and it is not above 48 kHz, else 48 kHz.
int32_t EncoderRate(int32_t inputRate) {
    return std::find(std::begin(kRates), std::end(kRates), inputRate) != std::end(kRates)
               ? inputRate
               : kHighestRate;
}

}  // namespace

bool AudioEncoder::Open(int32_t sampleRate, int32_t channels, int32_t bitrate,
                        PacketWriter writer) {
    Close();
    const int32_t rate = EncoderRate(sampleRate);
    if (!encoder_.Open(rate, channels, bitrate) ||
        (rate != sampleRate && !resampler_.Open(sampleRate, channels, rate, channels))) {
        Close();
        return false;
    }
    frame_.assign(static_cast<size_t>(encoder_.FrameSamples()) * channels, 0);
    gathered_ = 0;
    writer_ = std::move(writer);
    inputRate_ = sampleRate;
    nextPts_ = 0;
    return true;
}

void AudioEncoder::Close() {
    encoder_.Close();
    resampler_.Close();
    gathered_ = 0;
}

bool AudioEncoder::Gather(const int16_t* samples, int32_t count) {
    const int32_t channels = encoder_.Channels();
    const int32_t frameSamples = encoder_.FrameSamples();
    bool ok = true;
    while (count > 0) {
        const int32_t taken = std::min(count, frameSamples - gathered_);
        int16_t* at = frame_.data() + static_cast<size_t>(gathered_) * channels;
        if (samples != nullptr) {
            std::copy(samples, samples + static_cast<size_t>(taken) * channels, at);
            samples += static_cast<size_t>(taken) * channels;
        } else {
            std::fill(at, at + static_cast<size_t>(taken) * channels, 0);
        }
        gathered_ += taken;
        count -= taken;
        if (gathered_ == frameSamples) {
            ok = EncodeGathered() && ok;
        }
    }
    return ok;
}

bool AudioEncoder::EncodeGathered() {
    const int32_t count = gathered_;
    gathered_ = 0;
    const int64_t pts = nextPts_;
    nextPts_ += encoder_.FrameSamples();
    return encoder_.Encode(frame_.data(), count, pts, writer_);
}

bool AudioEncoder::Write(const uint8_t* pcm, int64_t samples) {
    if (!encoder_.IsOpen()) {
        return false;
    }
    const int32_t channels = encoder_.Channels();
    const int16_t* in = reinterpret_cast<const int16_t*>(pcm);
    bool ok = true;
    while (samples > 0) {
        const int32_t chunk = static_cast<int32_t>(std::min<int64_t>(samples, kChunk));
        if (!resampler_.IsOpen()) {
            ok = Gather(in, chunk) && ok;
        } else {
            // Silence is converted as a run of zeros.
            const std::vector<int16_t> zeros(in == nullptr ? size_t{1} * chunk * channels : 0, 0);
            converted_.resize(static_cast<size_t>(resampler_.MaxOutput(chunk)) * channels);
            const int32_t made =
                resampler_.Convert(in != nullptr ? in : zeros.data(), chunk, converted_.data(),
                                   static_cast<int32_t>(converted_.size() / channels));
            ok = made >= 0 && Gather(converted_.data(), made) && ok;
        }
        samples -= chunk;
        if (in != nullptr) {
            in += static_cast<size_t>(chunk) * channels;
        }
    }
    return ok;
}

bool AudioEncoder::Skip(int64_t samples) {
    if (!encoder_.IsOpen()) {
        return false;
    }
    if (samples <= 0) {
        return true;
    }
    // The frame being gathered is completed with silence, so the sound before the gap keeps its
    // place; a sound not begun yet begins with a silent frame, or the containers would start it
    // at its first packet.
    const bool complete = gathered_ > 0 || nextPts_ == 0;
    const int64_t padded = complete ? encoder_.FrameSamples() - gathered_ : 0;
    const bool ok = !complete || Gather(nullptr, static_cast<int32_t>(padded));
    nextPts_ += std::max<int64_t>(samples * encoder_.SampleRate() / inputRate_ - padded, 0);
    return ok;
}

bool AudioEncoder::Flush() {
    if (!encoder_.IsOpen()) {
        return false;
    }
    bool ok = true;
    if (resampler_.IsOpen()) {
        const int32_t channels = encoder_.Channels();
        converted_.resize(static_cast<size_t>(resampler_.MaxOutput(0) + 1) * channels);
        const int32_t made = resampler_.Convert(nullptr, 0, converted_.data(),
                                                static_cast<int32_t>(converted_.size() / channels));
        ok = made >= 0 && Gather(converted_.data(), made);
    }
    if (gathered_ > 0) {
        ok = EncodeGathered() && ok;
    }
    return encoder_.Flush(writer_) && ok;
}

}  // namespace framework
