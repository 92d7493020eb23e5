#include "host/StreamFeed.h"

#include "host/SyncPattern.h"
#include "interfaces/RecordRing.h"
#include "interfaces/StreamChannel.h"
#include "platform/Clock.h"

namespace qxhost {

namespace {

constexpr uint64_t kMicrosPerSecond = 1000000;
constexpr uint32_t kMaxRate = 1000000;
constexpr uint16_t kMaxAudioChannels = 8;
constexpr uint32_t kKeyIntervalSeconds = 2;

}  // namespace

bool StreamFeed::CheckSettings(std::string* error) const {
    const bool ring = settings_.channel == kRecordRingChannel;
    if (!StreamWriter::IsStreamChannel(settings_.channel) && !ring) {
        *error = "the channel is not one of 1, 2, 3, 5, 6";
    } else if (ring && settings_.kind != FeedKind::kTone) {
        *error = "the recording ring takes sound only";
    } else if (settings_.rate == 0 || settings_.rate > kMaxRate) {
        *error = "the rate needs 1 to 1000000 units a second";
    } else if (settings_.kind != FeedKind::kTone && (settings_.width < 2 || settings_.height < 2)) {
        *error = "the picture needs a size of at least 2x2";
    } else if (settings_.kind == FeedKind::kH264 &&
               (settings_.width < 16 || settings_.height < 16 || settings_.width % 2 != 0 ||
                settings_.height % 2 != 0 || settings_.bitrateKbps == 0)) {
        *error = "H.264 needs an even size of at least 16x16 and a bitrate";
    } else if (settings_.kind == FeedKind::kTone &&
               (settings_.sampleRate == 0 || settings_.audioChannels == 0 ||
                settings_.audioChannels > kMaxAudioChannels)) {
        *error = "the tone needs a sample rate and 1 to 8 channels";
    } else if (UnitBytesBound() > (ring ? streammanager::kRecordSlotDataBytes
                                        : streammanager::ChannelDataBytes(settings_.channel))) {
        *error = "a unit would not fit in the channel's data area";
    } else {
        return true;
    }
    return false;
}

uint64_t StreamFeed::UnitBytesBound() const {
    const uint64_t pixels = static_cast<uint64_t>(settings_.width) * settings_.height;
    switch (settings_.kind) {
        case FeedKind::kPicture:
            return TestPattern(settings_.width, settings_.height).FrameBytes();
        case FeedKind::kH264:
            // The header, and at most the raw picture (x264 seldom comes near it).
            return H264Encoder::kHeaderBytes + pixels * 3 / 2;
        case FeedKind::kTone: {
            const uint64_t frames =
                settings_.blockMaxMs != 0
                    ? uint64_t{settings_.blockMaxMs} * settings_.sampleRate / 1000
                    : static_cast<uint64_t>(settings_.sampleRate) / settings_.rate + 1;
            return frames * settings_.audioChannels * 2;
        }
    }
    return 0;
}

bool StreamFeed::Prepare(std::string* error) {
    if (!CheckSettings(error)) {
        return false;
    }
    if (settings_.kind == FeedKind::kTone) {
        ToneFormat format;
        format.sampleRate = settings_.sampleRate;
        format.channels = settings_.audioChannels;
        format.frequency = settings_.toneHz;
        format.blocksPerSecond = settings_.rate;
        format.shape =
            settings_.pattern == FeedPattern::kSync ? ToneShape::kSync : ToneShape::kSine;
        format.speed = 1.0 + settings_.clockPpm * 1e-6;
        tone_ = std::make_unique<ToneGenerator>(format);
        return true;
    }
    pattern_ = std::make_unique<TestPattern>(settings_.width, settings_.height);
    unit_.resize(pattern_->FrameBytes());
    if (settings_.kind == FeedKind::kH264) {
        H264Settings h264;
        h264.width = settings_.width;
        h264.height = settings_.height;
        h264.frameRate = settings_.rate;
        h264.bitrateKbps = settings_.bitrateKbps;
        h264.keyInterval = settings_.keyInterval != 0 ? settings_.keyInterval
                                                      : settings_.rate * kKeyIntervalSeconds;
        encoder_ = std::make_unique<H264Encoder>();
        if (!encoder_->Open(h264)) {
            *error = "the H.264 encoder did not open";
            return false;
        }
    }
    return true;
}

void StreamFeed::Run(SharedWriter* channel, platform::Event* stop, uint64_t startMicros) {
    for (uint64_t index = 0; settings_.count == 0 || index < settings_.count; ++index) {
        const uint32_t frames = tone_ != nullptr ? NextToneFrames() : 0;
        const uint64_t dueMicros = DueMicros(index, frames);
        if (settings_.durationMs != 0 && dueMicros >= settings_.durationMs * uint64_t{1000}) {
            return;
        }
        const bool made = MakeUnit(index, frames, static_cast<uint32_t>(dueMicros / 1000));
        if (!WaitUntil(startMicros + dueMicros, stop)) {
            return;
        }
        if (made && WriteUnit(channel) == WriteResult::kWritten) {
            written_.fetch_add(1);
            continue;
        }
        refused_.fetch_add(1);
        if (encoder_ != nullptr) {
            encoder_->RequestKeyFrame();  // the receiver lost a unit it needs to decode on
        }
    }
}

uint64_t StreamFeed::DueMicros(uint64_t index, uint32_t frames) const {
    if (tone_ == nullptr) {
        return index * kMicrosPerSecond / settings_.rate;
    }
    // The block's last sample, on the host's sound clock.
    const double end = static_cast<double>(tone_->FramesMade() + frames);
    return static_cast<uint64_t>(end * kMicrosPerSecond / settings_.sampleRate /
                                 tone_->Format().speed);
}

uint32_t StreamFeed::NextToneFrames() {
    if (settings_.blockMaxMs == 0) {
        return tone_->NextBlockFrames();
    }
    // xorshift: the same uneven lengths every run.
    blockRandom_ ^= blockRandom_ << 13;
    blockRandom_ ^= blockRandom_ >> 7;
    blockRandom_ ^= blockRandom_ << 17;
    const uint32_t spanMs = settings_.blockMaxMs - settings_.blockMinMs + 1;
    const uint32_t ms = settings_.blockMinMs + static_cast<uint32_t>(blockRandom_ % spanMs);
    return static_cast<uint32_t>(uint64_t{ms} * settings_.sampleRate / 1000);
}

bool StreamFeed::MakeUnit(uint64_t index, uint32_t frames, uint32_t timestampMs) {
    if (tone_ != nullptr) {
        tone_->NextFrames(frames, &unit_);
        return true;
    }
    if (settings_.pattern == FeedPattern::kSync) {
        sync_pattern::RenderPicture(sync_pattern::IsFlash(index, settings_.rate), settings_.width,
                                    settings_.height, unit_.data());
    } else {
        pattern_->Render(static_cast<uint32_t>(index), unit_.data());
    }
    if (encoder_ != nullptr) {
        return encoder_->Encode(unit_.data(), timestampMs, &encoded_);
    }
    return true;
}

WriteResult StreamFeed::WriteUnit(SharedWriter* channel) {
    const std::vector<uint8_t>& unit = encoder_ != nullptr ? encoded_.bytes : unit_;
    const bool picture = settings_.kind != FeedKind::kTone;
    const uint16_t valueA = picture ? settings_.width : 0;
    const uint16_t valueB = picture ? settings_.height : 0;
    platform::MutexLock lock(channel->lock);
    if (settings_.channel == kRecordRingChannel) {
        return channel->ring.Write(unit.data(), static_cast<uint32_t>(unit.size()));
    }
    return channel->writer.Write(settings_.type, settings_.mediaId, settings_.userId, valueA,
                                 valueB, unit.data(), static_cast<uint32_t>(unit.size()));
}

bool StreamFeed::WaitUntil(uint64_t dueMicros, platform::Event* stop) {
    for (;;) {
        const uint64_t now = platform::MonotonicMicros();
        if (now >= dueMicros) {
            return !stop->IsSet();
        }
        // Rounded up: a unit goes out at its time or just after, never before.
        const uint64_t waitMs = (dueMicros - now + 999) / 1000;
        if (stop->WaitFor(static_cast<uint32_t>(waitMs))) {
            return false;
        }
    }
}

}  // namespace qxhost
