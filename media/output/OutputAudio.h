// The audio side of an output: books the audio inputs that the output command lists, and
// turns every audio unit into AAC frames for all pushers (no mixing: each unit is converted
// and pushed as it comes). Each frame carries the media time of its first sample: the sound's
// samples are counted on an AudioClock from the arrival of the blocks they came in, and the
// clock's slow correction stretches or squeezes the conversion, so a host whose sound clock
// runs a little fast or slow does not drift from the pictures. A frame out of the coder holds
// the sound of the frame it was given its delay earlier (the first ones are priming).
//
// Owns the AAC encoder (with its resampler and resample buffer), the AAC frame buffer, the
// clock and the times of the frames inside the coder; keeps the context (as IInputBooking) as
// a plain pointer. A member of the Output.
// Threads: SetParam on the control path; OnMediaData on the receiver thread of the audio
// inputs. lock_ (the output's audio lock) guards the booked set; encodeLock_ serialises the
// encoder and its buffers, in case units ever come from two threads at once (each unit is
// converted, encoded and handed on whole, under it; the pusher lock is taken inside it).
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <unordered_set>
#include <vector>

#include "base/WLock.h"
#include "codec/AudioClock.h"
#include "media/audio/AacEncoder.h"
#include "media/audio/WaveFormat.h"
#include "media/output/IEncodedSink.h"
#include "media/output/IInputBooking.h"
#include "media/output/OutputParams.h"
#include "media/push/StreamMetaData.h"
#include "platform/Mutex.h"

namespace streammanager {

class OutputAudio {
  public:
    static constexpr uint32_t kAacBufferBytes = 2048;
    static constexpr uint32_t kResampleBufferBytes = 4096;

    OutputAudio() = default;
    OutputAudio(const OutputAudio&) = delete;
    OutputAudio& operator=(const OutputAudio&) = delete;

    // Opens the encoder for the context's sound: 0, or the encoder's failure.
    int32_t Init(const WaveFormat& format);
    void Uninit();
    // Books the listed audio inputs, unbooks those no longer listed. 0, or the 16-bit code of a
    // failed booking (those booked before it stay).
    uint16_t SetParam(const AudioOutputParam& audio, IInputBooking* context, int32_t contextId);
    // One unit of the context's PCM, of any length, that arrived whole at `arrivalUs` (the
    // monotonic clock): converted, encoded and every frame it completes handed to every pusher
    // with its media time. A unit that cannot be converted (a partial sample, a format the
    // resampler refuses) is logged and dropped.
    void OnMediaData(const uint8_t* data, uint32_t length, uint64_t arrivalUs,
                     IEncodedSink* pushers);
    // The flag of the last command that listed audio inputs (0 until one did).
    int32_t HasAudioStream() const { return hasAudioStream_.load(); }
    // The sound keys of the stream's metadata.
    StreamMetaData MetaData() const;

  private:
    static constexpr uint64_t kRefusedLogInterval = 1000;

    // Converts and encodes one piece of whole samples that fits the conversion buffer.
    void EncodePiece(const uint8_t* data, uint32_t length, IEncodedSink* pushers)
        REQUIRES(encodeLock_);
    // A frame went into the coder; when a frame came out (`aacLength` > 0), it goes to the
    // pushers with the time of the sound it holds.
    void OnFrameEncoded(int32_t aacLength, IEncodedSink* pushers) REQUIRES(encodeLock_);
    void NoteRefusedBlock(uint32_t length) REQUIRES(encodeLock_);

    KESTREL::WLock lock_;
    std::unordered_set<int32_t> booked_ GUARDED_BY(lock_);
    std::atomic<int32_t> hasAudioStream_{0};

    platform::Mutex encodeLock_;
    AacEncoder encoder_ GUARDED_BY(encodeLock_){kResampleBufferBytes};
    std::vector<uint8_t> aac_ GUARDED_BY(encodeLock_) = std::vector<uint8_t>(kAacBufferBytes);
    uint64_t refusedBlocks_ GUARDED_BY(encodeLock_) = 0;
    codec::AudioClock clock_ GUARDED_BY(encodeLock_){static_cast<int32_t>(AacEncoder::kSampleRate)};
    // Samples handed to the coder so far, whole frames and the part of one it holds.
    int64_t encodedSamples_ GUARDED_BY(encodeLock_) = 0;
    // The times of the frames given to the coder whose sound has not come out yet.
    std::deque<int64_t> frameTimes_ GUARDED_BY(encodeLock_);
};

}  // namespace streammanager
