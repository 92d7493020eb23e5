// Turns a context's PCM into AAC frames for the live push: gathers 48 kHz stereo 16-bit PCM
// into whole coder frames (m_out_pcm_size bytes each) and encodes at most one frame a call,
// each with its 7-byte ADTS header. Owns the AudioResample that brings the context's sound to
// that format, the resample buffer it writes into, the frame buffer (4 frames) and the
// AacCodec (by default FFmpeg's encoder, AAC LC, 48 kHz, stereo, 128 kbit/s in all).
// A member of the context's Output. Init and Uninit run on the control path while no audio
// flows; EncodeAacData and the resampler run on the output's audio path, one thread at a time.
// No lock of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "media/audio/AacCodec.h"
#include "media/audio/AudioResample.h"
#include "media/audio/WaveFormat.h"

namespace streammanager {

class AacEncoder {
  public:
    static constexpr uint32_t kDefaultResampleBufferSize = 4096;

    // `codec` replaces the default FFmpeg coder (null: the default).
    explicit AacEncoder(uint32_t resampleBufferSize = kDefaultResampleBufferSize,
                        std::unique_ptr<AacCodec> codec = nullptr);
    ~AacEncoder();
    AacEncoder(const AacEncoder&) = delete;
    AacEncoder& operator=(const AacEncoder&) = delete;

    // Opens the resampler for `format` (a format it cannot convert is not an error here: its
    // conversions fail later) and the coder. Reports m_out_pcm_size through `outPcmSize`
    // (may be null). 0, or E_FAIL when already initialised, `format` is null or the coder
    // does not open.
    int32_t Init(const WaveFormat* format, uint32_t* outPcmSize);
    // Appends `length` bytes of 48 kHz stereo PCM; once a whole frame waits, encodes it into
    // `output`, which must hold MaxOutputBytes(). `outLength` gets the frame's size (0 while
    // the coder fills its delay) or -1 when no frame was made. 0, or E_FAIL.
    int32_t EncodeAacData(const uint8_t* pcm, uint32_t length, uint8_t* output, int32_t* outLength);
    // 0, or E_FAIL when not initialised.
    int32_t Uninit();

    // For the output path, between Init and Uninit (null otherwise).
    AudioResample* GetAudioResample() { return resample_.get(); }
    uint8_t* GetResampleBuffer() {
        return resampleBuffer_.empty() ? nullptr : resampleBuffer_.data();
    }
    uint32_t GetResampleBufferSize() const { return resampleBufferSize_; }
    uint32_t GetOutPcmSize() const { return m_out_pcm_size; }
    uint32_t MaxOutputBytes() const { return maxOutputBytes_; }
    // Frames of priming the coder puts before the first frame it was given.
    uint32_t DelayFrames() const { return codec_->DelayFrames(); }

    // Fixed coder settings.
    static constexpr uint32_t kSampleRate = 48000;
    static constexpr uint32_t kChannels = 2;
    static constexpr uint32_t kBitRate = 128000;

  private:
    void Release();
    // Encodes the frame at the start of the frame buffer and moves the rest forward.
    int32_t EncodeFrame(uint8_t* output, int32_t* outLength);
    uint8_t* FrameBytes() { return reinterpret_cast<uint8_t*>(frameBuffer_.data()); }
    uint32_t FrameBufferBytes() const { return 4 * m_out_pcm_size; }

    // Passed by argument.
    const uint32_t resampleBufferSize_;
    std::unique_ptr<AacCodec> codec_;
    // Set by Init.
    bool initialised_ = false;
    uint32_t fill_ = 0;  // bytes waiting in the frame buffer
    uint32_t m_out_pcm_size = 0;
    uint32_t inputSamples_ = 0;
    uint32_t maxOutputBytes_ = 0;
    // Allocated by Init, freed by Uninit.
    std::vector<int16_t> frameBuffer_;
    std::vector<uint8_t> resampleBuffer_;
    std::unique_ptr<AudioResample> resample_;
};

}  // namespace streammanager
