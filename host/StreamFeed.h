// One stream a MediaFeeder writes: its settings, its generators (test pictures or the sync
// pattern's, the H.264 encoder, the tone or the sync beeps) and its loop, which makes unit k
// ahead of time and writes it when it is due, by waiting on the feeder's stop event until then:
// picture k k / rate seconds after the start time the feeder gives every stream, a block of
// sound when its last sample is due, as a sound device delivers it (on the host's own sound
// clock, which may run a little fast or slow, in blocks of even or uneven length).
//
// The feeder's thread creates and prepares it; then only the stream's own thread runs it. The
// counters are atomic and may be read from any thread. A channel's writer is shared by the
// streams on that channel; SharedWriter::lock guards it, held only around each Write.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/H264Encoder.h"
#include "host/RingWriter.h"
#include "host/StreamWriter.h"
#include "host/TestPattern.h"
#include "host/ToneGenerator.h"
#include "platform/Event.h"
#include "platform/Mutex.h"

namespace qxhost {

enum class FeedKind {
    kPicture,  // raw I420 test pictures (types 3 and 6); width and height in values A and B
    kH264,     // H.264 units of the test pictures behind their 8-byte header (type 2)
    kTone,     // PCM blocks of a sine tone (type 1)
};

enum class FeedPattern {
    kTest,  // the moving test pictures, or the sine tone
    kSync,  // the sync pattern (SyncPattern.h): white pictures and beeps at the same instants
};

// The channel number that stands for the recording ring (PCM blocks of the tone only).
constexpr uint8_t kRecordRingChannel = 0;

struct FeedSettings {
    FeedKind kind = FeedKind::kPicture;
    uint8_t channel = 3;
    uint8_t type = 3;  // the host's type; with mediaId 240 or 253 the receiver maps it
    uint8_t mediaId = 0;
    uint32_t userId = 0;
    uint32_t rate = 30;  // units a second (pictures, or tone blocks of 1 / rate s)
    uint16_t width = 640;
    uint16_t height = 360;
    uint32_t bitrateKbps = 800;  // kH264
    uint32_t keyInterval = 0;    // kH264; 0: a key frame every two seconds
    double toneHz = 440.0;       // kTone
    uint32_t sampleRate = 16000;
    uint16_t audioChannels = 1;
    int32_t clockPpm = 0;     // kTone: the host's sound clock runs this many ppm fast
    uint32_t blockMinMs = 0;  // kTone: blocks of 10 to 40 ms drawn at random, when set;
    uint32_t blockMaxMs = 0;  // 0: blocks of 1 / rate s
    uint64_t count = 0;       // units to make (written or refused); 0: no limit
    uint32_t durationMs = 0;  // how long to write; 0: until stopped
    FeedPattern pattern = FeedPattern::kTest;
};

struct SharedWriter {
    SharedWriter(uint8_t channel, int32_t port) : writer(channel, port), ring(port) {}
    // Opens the channel's writer, or the ring's for kRecordRingChannel.
    bool Open() {
        platform::MutexLock hold(lock);
        return writer.Channel() == kRecordRingChannel ? ring.Open() : writer.Open();
    }
    platform::Mutex lock;
    StreamWriter writer GUARDED_BY(lock);
    RingWriter ring GUARDED_BY(lock);
};

class StreamFeed {
  public:
    explicit StreamFeed(const FeedSettings& settings) : settings_(settings) {}
    StreamFeed(const StreamFeed&) = delete;
    StreamFeed& operator=(const StreamFeed&) = delete;

    // Checks the settings against the channel and sets up the generators. On failure returns
    // false with `error` set.
    bool Prepare(std::string* error);
    // Writes the units when they are due (after startMicros, on the monotonic clock) until the
    // count or the duration is reached or `stop` is set.
    void Run(SharedWriter* channel, platform::Event* stop, uint64_t startMicros);

    const FeedSettings& Settings() const { return settings_; }
    uint64_t Written() const { return written_.load(); }
    // Units the writer refused (the receiver was behind) or the encoder could not make.
    uint64_t Refused() const { return refused_.load(); }

  private:
    // When the unit `index` is due, counted from the start; for sound, when its last sample is.
    uint64_t DueMicros(uint64_t index, uint32_t frames) const;
    // The samples per channel of the next block of sound.
    uint32_t NextToneFrames();
    bool CheckSettings(std::string* error) const;
    // The byte length of one unit, before the generators exist.
    uint64_t UnitBytesBound() const;
    // Makes unit `index` (for sound, `frames` samples per channel) into unit_; false when the
    // encoder failed.
    bool MakeUnit(uint64_t index, uint32_t frames, uint32_t timestampMs);
    WriteResult WriteUnit(SharedWriter* channel);
    // Waits until `dueMicros`; false when stopped first.
    static bool WaitUntil(uint64_t dueMicros, platform::Event* stop);

    // Passed by argument.
    const FeedSettings settings_;

    // Made by Prepare, used by the stream's thread.
    std::unique_ptr<TestPattern> pattern_;
    std::unique_ptr<H264Encoder> encoder_;
    std::unique_ptr<ToneGenerator> tone_;
    std::vector<uint8_t> unit_;
    EncodedUnit encoded_;
    uint64_t blockRandom_ = 0x9E3779B97F4A7C15u;  // the uneven blocks' lengths

    // Others.
    std::atomic<uint64_t> written_{0};
    std::atomic<uint64_t> refused_{0};
};

}  // namespace qxhost
