// One recording's encoders and file: the captured pictures encoded to H.264, the host's sound
// to AAC (placed on the recording's timeline by an AudioClock: its sample count, held to the
// clock at the edges), both muxed into the file. A gap in the sound (the first block late, the
// host silent for a while, the end) is closed with at most kMaxSilenceUs of silence, just
// before what follows it; the timestamps jump over the rest, so a long mute costs no encoding. Made
// by Start for each recording and finished by Stop; a recording that fails to start is abandoned,
// and its file removed.
//
// Owns the encoders, the muxer and the file. Shared by the screen recorder with its capture
// thread and the callers of WriteData (each holds it while it writes, so a late WriteData finds
// it finished rather than gone).
// Threads: WriteVideo only on the capture thread; WriteAudio from any thread; Finish once the
// capture thread has ended. Neither stream encodes under mutex_, which guards only the muxer
// and the file's open switch, so one stream waits for the other only while a packet is
// written. The video encoder belongs to the capture thread (and to Finish after it).
// soundMutex_ guards the audio encoder, the timeline and the sound's open switch, and comes
// before mutex_: the sound's packets are written under both.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "codec/AudioClock.h"
#include "framework/log/ModuleLog.h"
#include "framework/recorder/AudioEncoder.h"
#include "framework/recorder/RecordMuxer.h"
#include "framework/recorder/RecordSettings.h"
#include "framework/recorder/VideoEncoder.h"
#include "platform/Mutex.h"

namespace framework {

class RecordingOutput {
  public:
    static constexpr int64_t kMaxSilenceUs = 100000;

    // How a gap of `gapUs` in sound of `sampleRate` is closed, in samples: silence up to the
    // bound, just before what follows, and a jump of the timestamps over the rest.
    struct GapFill {
        int64_t skip = 0;
        int64_t silence = 0;
    };
    static GapFill SplitGap(int64_t gapUs, int32_t sampleRate);

    explicit RecordingOutput(const ModuleLog& log);
    ~RecordingOutput();
    RecordingOutput(const RecordingOutput&) = delete;
    RecordingOutput& operator=(const RecordingOutput&) = delete;

    // Opens the encoders (video for pictures of `picture`'s size and format when the settings
    // have video), then creates the file and writes its header. S_OK, REC_E_ENCODER or
    // REC_E_FILE, with the reason in `why`; on failure nothing stays open.
    HRESULT Open(const RecordSettings& settings, const VideoFormat& picture, std::string* why);

    // Encodes one picture recorded at `clockUs`. Capture thread only.
    void WriteVideo(const uint8_t* data, int32_t stride, int64_t clockUs);
    // One block of PCM that arrived when the recording clock read `clockUs`. A partial last
    // sample is dropped. False when the block is not recorded (no sound, finished, too early).
    bool WriteAudio(const uint8_t* pcm, int32_t length, int64_t clockUs);
    // Brings the sound up to `endUs`, flushes both encoders, writes the trailer and closes the
    // file. Once the capture thread has ended. False when the file could not be finished.
    bool Finish(int64_t endUs);
    // Closes everything and removes the file (a start that failed after Open).
    void Abandon();

  private:
    void WriteVideoPackets() EXCLUDES(mutex_);
    // The audio encoder's packet writer.
    bool WriteAudioPacket(const codec::AacEncoder::Packet& packet) EXCLUDES(mutex_);
    // Closes a gap of `gapUs` in the sound, before a block or at the end: silence up to the
    // bound, a jump of the timestamps for the rest.
    bool CloseGap(int64_t gapUs) REQUIRES(soundMutex_);
    void FinishSound(int64_t endUs) EXCLUDES(soundMutex_);

    // Passed by argument.
    const ModuleLog log_;

    // The capture thread's own (Finish's after it).
    VideoEncoder video_;
    EncodedPicture picture_;  // the last one encoded, reused
    int videoStream_ = -1;

    platform::Mutex soundMutex_ ACQUIRED_BEFORE(mutex_);
    AudioEncoder audio_ GUARDED_BY(soundMutex_);
    codec::AudioClock timeline_ GUARDED_BY(soundMutex_){1};
    int32_t sampleRate_ GUARDED_BY(soundMutex_) = 1;
    int32_t frameBytes_ GUARDED_BY(soundMutex_) = 0;  // one sample of every channel
    bool soundOpen_ GUARDED_BY(soundMutex_) = false;  // from Open to Finish or Abandon

    platform::Mutex mutex_;
    RecordMuxer muxer_ GUARDED_BY(mutex_);
    int audioStream_ GUARDED_BY(mutex_) = -1;
    bool open_ GUARDED_BY(mutex_) = false;    // from Open to Finish or Abandon
    std::atomic<uint64_t> videoFailures_{0};  // thins the log lines of failures
    std::atomic<uint64_t> audioFailures_{0};
    std::atomic<uint64_t> partialBlocks_{0};
};

}  // namespace framework
