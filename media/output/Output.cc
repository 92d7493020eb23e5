#include "media/output/Output.h"

#include <algorithm>
#include <cmath>

#include "base/Log.h"
#include "base/ModuleFolder.h"
#include "interfaces/QXIds.h"
#include "interfaces/StreamChannel.h"
#include "platform/Clock.h"

namespace streammanager {

namespace {
constexpr uint32_t kMixerHeaderBytes = 8;
constexpr uint64_t kKeyRequestIntervalUs = 1000000;
constexpr uint64_t kAdaptIntervalUs = 500000;
constexpr int32_t kMinVideoBitrate = 64000;
}  // namespace

Output::Output() : video_(&pushers_, &platform::TickCountMs) {}

Output::~Output() {
    if (mixer_ != nullptr) {
        mixer_->Uninit();
        mixer_.reset();
    }
    audio_.Uninit();
}

int32_t Output::Init(IInputBooking* context, int32_t contextId, IMemoryAllocator* memoryAllocator,
                     IUnknown* framework, const WaveFormat& waveFormat) {
    void* factory = nullptr;
    if (framework == nullptr ||
        framework->QueryInterface(IID_IComponentFactory, &factory) != S_OK || factory == nullptr) {
        return E_FAIL;
    }
    framework_.reset(static_cast<IComponentFactory*>(factory));
    context_ = context;
    contextId_ = contextId;
    memoryAllocator_ = memoryAllocator;
    pushers_.SetAllocator(memoryAllocator);
    if (ConfigCenterInit() != 0) {
        return E_FAIL;
    }
    pushers_.SetPushOptions(
        configCenter_->GetInt("RtmpPusher.DropThresholdMs", RtmpPusher::kDefaultDropThresholdMs),
        [this] { RequestKeyFrame(); });
    const std::string folder = KESTREL::GetModuleFolder();
    withSound_.Read(folder + "Resource/default_video.bmp");
    withoutSound_.Read(folder + "Resource/unopen_audio_video.bmp");
    video_.Attach(context, contextId, withSound_.PicInfo(), withoutSound_.PicInfo());
    const int32_t encoder = audio_.Init(waveFormat);
    return encoder < 0 ? encoder : 0;
}

int32_t Output::ConfigCenterInit() {
    if (configCenter_ != nullptr) {
        return 0;
    }
    void* center = nullptr;
    if (framework_->QueryInterface(IID_IConfigCenter, &center) != S_OK || center == nullptr) {
        SC_LOG("Output::ConfigCenterInit Create config_center failed!!");
        return E_FAIL;
    }
    configCenter_ = static_cast<IConfigCenter*>(center);
    return 0;
}

int32_t Output::VideoMixerInit(const VideoEncodeParam& encode) {
    SC_TRACE("streammanager::Output::VideoMixerInit");
    if (mixer_ != nullptr) {
        return 0;
    }
    void* mixer = nullptr;
    const HRESULT made =
        framework_->CreateComponent(CLSID_VideoMixer, IID_IVideoMixer, nullptr, &mixer);
    if (made < 0 || mixer == nullptr) {
        SC_LOG("Output::VideoMixerInit CreateComponent failed.\n");
        return E_FAIL;
    }
    mixer_.reset(static_cast<IVideoMixer*>(mixer));
    mixer_->Init(this, &Output::OnMixedVideo, &encode.mixer, configCenter_);
    SC_LOG(
        "Output::VideoMixerInit ZeruvEzaVev Create, width: %d, height: %d, nFrameRate: %d, "
        "nBitrate: %d  \n",
        encode.mixer.width, encode.mixer.height, encode.mixer.frameRate, encode.mixer.bitrate);
    mixer_->EnableOutput(1);
    video_.SetMixer(mixer_.get(), encode.mixer);
    return 0;
}

int32_t Output::GetBitRate(int32_t width, int32_t height, int32_t frameRate, int32_t qualityLevel) {
    const double pixels = static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(width) *
                                                                   static_cast<uint32_t>(height))) /
                          76800.0;
    const double scale = std::pow(2.0, std::log(pixels) / std::log(3.0));
    double rate = 0.0;
    if (qualityLevel >= 1 && qualityLevel <= 3) {
        rate = scale * 10000.0 * frameRate * (0.5 * qualityLevel);
    }
    SC_LOG("Output::GetBitRate video_quality_level: %d,  bit_rate: %lf.\n", qualityLevel, rate);
    // Out of range (a huge or NaN rate from a canvas the mixer then refuses) reads as 0.
    return rate >= 0.0 && rate < 2147483647.0 ? static_cast<int32_t>(rate) : 0;
}

int32_t Output::SetOutputParam(const AudioOutputParam& audio, const VideoEncodeParam& encode,
                               const VideoOutputParam& layout) {
    SC_TRACE("streammanager::Output::SetOutputParam");
    if (VideoMixerInit(encode) != 0) {
        return E_FAIL;
    }
    const uint16_t booked = audio_.SetParam(audio, context_, contextId_);
    if (booked != 0) {
        return booked;
    }
    {
        // The mixer goes back to the command's bitrate; so does the adaptation.
        const int32_t bitrate = std::max(encode.mixer.bitrate, kMinVideoBitrate);
        platform::MutexLock lock(bitrateLock_);
        bitrate_.Reset(
            bitrate, audio_.HasAudioStream() != 0 ? static_cast<int32_t>(AacEncoder::kBitRate) : 0);
        pushers_.SetEncoderState(bitrate / 1000, video_.EncoderLevel());
    }
    return static_cast<uint16_t>(
        video_.SetVideoOutputParama(encode, layout, audio_.HasAudioStream(), audio_.MetaData()));
}

void Output::RequestKeyFrame() {
    const uint64_t now = platform::MonotonicMicros();
    uint64_t last = lastKeyRequestUs_.load();
    if (now < last + kKeyRequestIntervalUs ||
        !lastKeyRequestUs_.compare_exchange_strong(last, now)) {
        return;
    }
    video_.RequestKeyFrame();
}

void Output::AdaptBitrate(uint64_t nowUs) {
    platform::MutexLock lock(bitrateLock_);
    if (nowUs < nextAdaptUs_) {
        return;
    }
    nextAdaptUs_ = nowUs + kAdaptIntervalUs;
    const int32_t target = bitrate_.Update(nowUs / 1000, pushers_.Statistics());
    if (target != 0) {
        SC_LOG("Output::AdaptBitrate, video bitrate %d kbit/s, context: %d.\n", target / 1000,
               contextId_);
        video_.SetBitrate(target);
    }
    pushers_.SetEncoderState(bitrate_.Current() / 1000, video_.EncoderLevel());
}

int32_t Output::InitRtmpPusher(const std::vector<std::string>& urls) {
    if (context_ == nullptr) {
        SC_LOG("Output::InitRtmpPusher failed. Context is NULL.\n");
        return E_FAIL;
    }
    return pushers_.Update(urls, contextId_);
}

void Output::StopAllPushers() {
    pushers_.StopAll();
}

void Output::RemoveMediaInput(uint8_t mediaType, int32_t inputHandle) {
    video_.RemoveMediaInput(mediaType, inputHandle);
}

int32_t Output::OnMediaData(int32_t inputHandle, const MediaDataDesc* desc, const uint8_t* data,
                            uint32_t length) {
    if (desc == nullptr) {
        return 0;
    }
    if (desc->mediaType == kMediaAudio) {
        audio_.OnMediaData(data, length, desc->arrivalUs, &pushers_);
    } else if (IsEncodedVideo(desc->mediaType) || IsRawPicture(desc->mediaType)) {
        video_.OnMediaData(inputHandle, *desc, data, length);
    }
    return 0;
}

int32_t Output::SetSyncTimer(int32_t inputHandle, IPlaySyncTime* clock) {
    return video_.SetSyncTimer(inputHandle, clock);
}

void Output::OnMixedVideo(void* owner, const uint8_t* data, uint32_t length, int32_t keyFrame) {
    if (owner == nullptr || length <= kMixerHeaderBytes) {
        return;
    }
    Output* output = static_cast<Output*>(owner);
    // The canvas's media time, on the monotonic clock in full.
    const uint64_t nowUs = platform::MonotonicMicros();
    const uint64_t mediaMs = platform::ExpandTickMs(LoadLittle32(data), nowUs / 1000);
    output->pushers_.CacheVideo(data + kMixerHeaderBytes,
                                static_cast<int32_t>(length - kMixerHeaderBytes),
                                static_cast<uint32_t>(keyFrame), mediaMs);
    output->AdaptBitrate(nowUs);
}

}  // namespace streammanager
