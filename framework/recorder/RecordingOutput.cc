#include "framework/recorder/RecordingOutput.h"

#include <algorithm>

namespace framework {

namespace {

constexpr uint64_t kLogInterval = 100;

}  // namespace

RecordingOutput::RecordingOutput(const ModuleLog& log) : log_(log) {}

RecordingOutput::~RecordingOutput() {
    Abandon();
}

HRESULT RecordingOutput::Open(const RecordSettings& settings, const VideoFormat& picture,
                              std::string* why) {
    platform::MutexLock soundLock(soundMutex_);
    platform::MutexLock lock(mutex_);
    if (!muxer_.Prepare(settings.mp4, settings.path)) {
        *why = "libavformat cannot make the container";
        return REC_E_ENCODER;
    }
    if (settings.video) {
        if (!video_.Open(picture)) {
            *why = "libx264 refuses " + std::to_string(picture.width) + "x" +
                   std::to_string(picture.height) + " at " + std::to_string(picture.frameRate) +
                   " fps";
            muxer_.Abandon();
            return REC_E_ENCODER;
        }
        videoStream_ = muxer_.AddVideoStream(video_.Width(), video_.Height(), picture.frameRate,
                                             video_.Headers());
    }
    if (settings.audio) {
        if (!audio_.Open(settings.sampleRate, settings.channels, settings.audioBitrate,
                         [this](const codec::AacEncoder::Packet& packet) {
                             return WriteAudioPacket(packet);
                         })) {
            *why = "the AAC encoder refuses " + std::to_string(settings.sampleRate) + " Hz, " +
                   std::to_string(settings.channels) + " channels";
            video_.Close();
            muxer_.Abandon();
            return REC_E_ENCODER;
        }
        audioStream_ = muxer_.AddAudioStream(audio_.SampleRate(), audio_.Channels(),
                                             audio_.FrameSamples(), audio_.Config());
        timeline_ = codec::AudioClock(settings.sampleRate);
        timeline_.StartAt(0);
        sampleRate_ = settings.sampleRate;
        frameBytes_ = settings.channels * static_cast<int32_t>(sizeof(int16_t));
    }
    HRESULT result = S_OK;
    if ((settings.video && videoStream_ < 0) || (settings.audio && audioStream_ < 0)) {
        *why = "libavformat cannot add the streams";
        result = REC_E_ENCODER;
    } else {
        result = muxer_.Open(why);
    }
    if (result != S_OK) {
        video_.Close();
        audio_.Close();
        muxer_.Abandon();
        return result;
    }
    open_ = true;
    soundOpen_ = settings.audio;
    return S_OK;
}

void RecordingOutput::WriteVideo(const uint8_t* data, int32_t stride, int64_t clockUs) {
    if (!video_.Encode(data, stride, clockUs / 1000, &picture_)) {
        if (ModuleLog::Due(videoFailures_, kLogInterval)) {
            FW_LOG(log_, "ScreenRecorder, a picture did not encode (%llu failures).\n",
                   static_cast<unsigned long long>(videoFailures_.load()));
        }
        return;
    }
    WriteVideoPackets();
}

void RecordingOutput::WriteVideoPackets() {
    platform::MutexLock lock(mutex_);
    if ((!open_ || !muxer_.Write(videoStream_, picture_.bytes.data(),
                                 static_cast<int32_t>(picture_.bytes.size()), picture_.ms,
                                 picture_.durationMs, picture_.keyFrame)) &&
        ModuleLog::Due(videoFailures_, kLogInterval)) {
        FW_LOG(log_, "ScreenRecorder, a video packet was not written (%llu failures).\n",
               static_cast<unsigned long long>(videoFailures_.load()));
    }
}

bool RecordingOutput::WriteAudioPacket(const codec::AacEncoder::Packet& packet) {
    platform::MutexLock lock(mutex_);
    return open_ &&
           muxer_.Write(audioStream_, packet.data, packet.size, packet.pts, packet.duration, true);
}

bool RecordingOutput::WriteAudio(const uint8_t* pcm, int32_t length, int64_t clockUs) {
    platform::MutexLock lock(soundMutex_);
    if (!soundOpen_) {
        return false;
    }
    if (length % frameBytes_ != 0 && ModuleLog::Due(partialBlocks_, kLogInterval)) {
        FW_LOG(log_,
               "ScreenRecorder, a block of %d bytes is not whole samples of %d bytes (%llu "
               "blocks); the rest is dropped.\n",
               length, frameBytes_, static_cast<unsigned long long>(partialBlocks_.load()));
    }
    const int64_t samples = length / frameBytes_;
    if (samples == 0) {
        return false;
    }
    const codec::AudioClock::Placement placement = timeline_.Place(clockUs, samples);
    if (placement.drop) {
        if (ModuleLog::Due(audioFailures_, kLogInterval)) {
            FW_LOG(log_,
                   "ScreenRecorder, sound ahead of the clock (%lld ms recorded, %lld samples "
                   "placed): a block is dropped (%llu blocks dropped or failed).\n",
                   static_cast<long long>(clockUs / 1000),
                   static_cast<long long>(timeline_.Position()),
                   static_cast<unsigned long long>(audioFailures_.load()));
        }
        return false;
    }
    bool ok = !placement.restart || CloseGap(placement.jumpUs);
    timeline_.Count(samples);
    ok = audio_.Write(pcm, samples) && ok;
    if (!ok && ModuleLog::Due(audioFailures_, kLogInterval)) {
        FW_LOG(log_,
               "ScreenRecorder, sound did not encode or write (%llu blocks dropped or "
               "failed).\n",
               static_cast<unsigned long long>(audioFailures_.load()));
    }
    return ok;
}

RecordingOutput::GapFill RecordingOutput::SplitGap(int64_t gapUs, int32_t sampleRate) {
    const int64_t gap = std::max<int64_t>(gapUs, 0) * sampleRate / 1000000;
    GapFill fill;
    fill.silence = std::min(gap, kMaxSilenceUs * sampleRate / 1000000);
    fill.skip = gap - fill.silence;
    return fill;
}

bool RecordingOutput::CloseGap(int64_t gapUs) {
    const GapFill fill = SplitGap(gapUs, sampleRate_);
    const bool skipped = audio_.Skip(fill.skip);
    return audio_.Write(nullptr, fill.silence) && skipped;
}

bool RecordingOutput::Finish(int64_t endUs) {
    video_.Close();
    FinishSound(endUs);
    platform::MutexLock lock(mutex_);
    if (!open_) {
        return false;
    }
    open_ = false;
    return muxer_.Finish();
}

void RecordingOutput::FinishSound(int64_t endUs) {
    platform::MutexLock lock(soundMutex_);
    if (!soundOpen_) {
        return;
    }
    bool ok = CloseGap(endUs - timeline_.TimeOfSample(timeline_.Position()));
    ok = audio_.Flush() && ok;
    if (!ok) {
        FW_LOG(log_, "ScreenRecorder, the end of the sound did not encode or write.\n");
    }
    audio_.Close();
    soundOpen_ = false;
}

void RecordingOutput::Abandon() {
    video_.Close();
    {
        platform::MutexLock lock(soundMutex_);
        audio_.Close();
        soundOpen_ = false;
    }
    platform::MutexLock lock(mutex_);
    muxer_.Abandon();
    open_ = false;
}

}  // namespace framework
