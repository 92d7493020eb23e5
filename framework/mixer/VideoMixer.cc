#include "framework/mixer/VideoMixer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <new>

#include "interfaces/QXIds.h"
#include "platform/Clock.h"

namespace framework {

namespace {

constexpr uint64_t kLogInterval = 100;
constexpr size_t kHeaderBytes = 8;
constexpr size_t kPresetChars = 64;

void StoreLittle32(uint8_t* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

}  // namespace

HRESULT VideoMixer::Create(const QXGUID& iid, void** out, const ModuleLog& log) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    VideoMixer* mixer = new (std::nothrow) VideoMixer(log);
    if (mixer == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT result = mixer->QueryInterface(iid, out);
    mixer->Release();
    return result;
}

VideoMixer::VideoMixer(const ModuleLog& log) : log_(log) {}

VideoMixer::~VideoMixer() {
    Uninit();
}

HRESULT VideoMixer::QueryInterface(const QXGUID& iid, void** out) {
    return QuerySingleInterface(iid, IID_IVideoMixer, out);
}

HRESULT VideoMixer::Init(void* owner, MixedVideoCallback callback, const VideoMixerParam* param,
                         IConfigCenter* config) {
    if (param == nullptr) {
        return E_INVALIDARG;
    }
    platform::MutexLock life(lifeMutex_);
    {
        platform::MutexLock lock(mutex_);
        if (state_ != State::kCreated) {
            return MIXER_E_NOT_READY;
        }
        char preset[kPresetChars] = {};
        if (config != nullptr &&
            config->GetString("VideoMixer.Preset", preset, sizeof(preset)) == S_OK) {
            preset_ = preset;
        }
        owner_ = owner;
        callback_ = callback;
        state_ = State::kOff;
    }
    if (!thread_.Start([this] { Run(); })) {
        platform::MutexLock lock(mutex_);
        state_ = State::kCreated;
        FW_LOG(log_, "VideoMixer::Init, cannot start the mixer's thread.\n");
        return E_FAIL;
    }
    return SetOutputParam(param);
}

HRESULT VideoMixer::ReadSettings(const VideoMixerParam& param, codec::H264Settings* settings) {
    const int32_t rate = param.useFrameRate != 0 ? param.frameRate : param.fallbackFrameRate;
    const int32_t width = param.width & ~1;
    const int32_t height = param.height & ~1;
    if (rate < 1 || rate > kMaxFrameRate || width < 2 || height < 2 || width > kMaxCanvasWidth ||
        height > kMaxCanvasHeight) {
        FW_LOG(log_,
               "VideoMixer::SetOutputParam, canvas refused: %dx%d at %d fps (2x2 to %dx%d, 1 to "
               "%d fps).\n",
               param.width, param.height, rate, kMaxCanvasWidth, kMaxCanvasHeight, kMaxFrameRate);
        return MIXER_E_BAD_CANVAS;
    }
    if (width != param.width || height != param.height) {
        FW_LOG(log_, "VideoMixer::SetOutputParam, odd canvas %dx%d encoded as %dx%d.\n",
               param.width, param.height, width, height);
    }
    settings->width = width;
    settings->height = height;
    settings->frameRate = rate;
    settings->bitrate = std::max(param.bitrate, kMinBitrate);
    settings->keyInterval = param.keyFrameInterval > 0 ? param.keyFrameInterval : 2 * rate;
    settings->preset = preset_;
    return S_OK;
}

HRESULT VideoMixer::SetOutputParam(const VideoMixerParam* param) {
    if (param == nullptr) {
        return E_INVALIDARG;
    }
    InputList moved;
    codec::H264Settings settings;
    {
        platform::MutexLock lock(mutex_);
        if (!Ready()) {
            return MIXER_E_NOT_READY;
        }
        const HRESULT read = ReadSettings(*param, &settings);
        if (read != S_OK) {
            return read;
        }
        if (Configured() && settings == settings_) {
            return S_OK;
        }
        if (!Configured() || settings.width != settings_.width ||
            settings.height != settings_.height) {
            moved = inputs_;
        }
        settings_ = settings;
        bitrate_ = 0;
        changed_.NotifyAll();
    }
    for (const auto& input : moved) {
        input->SetCanvas(settings.width, settings.height);
    }
    return S_OK;
}

HRESULT VideoMixer::EnableOutput(int32_t enable) {
    platform::MutexLock lock(mutex_);
    if (!Ready()) {
        return MIXER_E_NOT_READY;
    }
    if (enable != 0) {
        if (state_ == State::kOff) {
            state_ = State::kOn;
            scheduledRate_ = 0;  // the frames count from now
        } else if (state_ == State::kTurningOff) {
            state_ = State::kMaking;
        }
        changed_.NotifyAll();
        return S_OK;
    }
    if (state_ == State::kOn) {
        state_ = State::kOff;
    } else if (state_ == State::kMaking) {
        // No frame is begun from here on; the one under way is waited for (unless this is its
        // own callback: it ends right after).
        state_ = State::kTurningOff;
        while (state_ == State::kTurningOff && !OnMixerThread()) {
            changed_.Wait(mutex_);
        }
    }
    return S_OK;
}

HRESULT VideoMixer::Uninit() {
    platform::MutexLock life(lifeMutex_);
    InputList dropped;
    {
        platform::MutexLock lock(mutex_);
        if (!Ready() || OnMixerThread()) {
            return MIXER_E_NOT_READY;
        }
        state_ = State::kFinished;
        dropped.swap(inputs_);
        changed_.NotifyAll();
    }
    thread_.Join();
    encoder_.Close();
    canvas_ = CanvasArea();
    unit_ = std::vector<uint8_t>();
    return S_OK;
}

int32_t VideoMixer::AddInput(int32_t handle, int32_t positionHandle, const RenderPara* para) {
    if (para == nullptr) {
        return E_INVALIDARG;
    }
    auto input = std::make_shared<MixerInput>(handle, log_);
    input->SetLayout(*para);
    bool sized = false;
    Rect given;
    for (;;) {
        Rect canvas;
        {
            platform::MutexLock lock(mutex_);
            if (!Ready()) {
                return MIXER_E_NOT_READY;
            }
            canvas = Configured() ? Rect{0, 0, settings_.width, settings_.height} : Rect{};
            if (sized && canvas == given) {
                return Insert(std::move(input), positionHandle);
            }
        }
        // Sized without the lock (it redraws the input); then looked at again under it, since
        // a canvas change meanwhile would not have reached an input not yet in the list.
        input->SetCanvas(canvas.width, canvas.height);
        given = canvas;
        sized = true;
    }
}

int32_t VideoMixer::Insert(std::shared_ptr<MixerInput> input, int32_t positionHandle) {
    const int32_t handle = input->Handle();
    const auto sameHandle = [handle](const auto& each) { return each->Handle() == handle; };
    if (std::any_of(inputs_.begin(), inputs_.end(), sameHandle)) {
        return MIXER_E_INPUT_EXISTS;
    }
    const auto above = std::find_if(
        inputs_.begin(), inputs_.end(),
        [positionHandle](const auto& each) { return each->Handle() == positionHandle; });
    inputs_.insert(above, std::move(input));
    return S_OK;
}

HRESULT VideoMixer::DelInput(int32_t handle) {
    platform::MutexLock lock(mutex_);
    if (!Ready()) {
        return MIXER_E_NOT_READY;
    }
    const auto found = std::find_if(inputs_.begin(), inputs_.end(), [handle](const auto& each) {
        return each->Handle() == handle;
    });
    if (found == inputs_.end()) {
        return MIXER_E_NO_INPUT;
    }
    inputs_.erase(found);
    return S_OK;
}

std::shared_ptr<MixerInput> VideoMixer::Find(int32_t handle, HRESULT* result) {
    {
        platform::MutexLock lock(mutex_);
        if (!Ready()) {
            *result = MIXER_E_NOT_READY;
            return nullptr;
        }
        for (const auto& input : inputs_) {
            if (input->Handle() == handle) {
                *result = S_OK;
                return input;
            }
        }
    }
    if (ModuleLog::Due(unknownHandles_, kLogInterval)) {
        FW_LOG(log_, "VideoMixer, no input %d (%llu calls for unknown inputs).\n", handle,
               static_cast<unsigned long long>(unknownHandles_.load()));
    }
    *result = MIXER_E_NO_INPUT;
    return nullptr;
}

HRESULT VideoMixer::SetInputSyncTimer(int32_t handle, IPlaySyncTime* clock) {
    HRESULT result = S_OK;
    if (const std::shared_ptr<MixerInput> input = Find(handle, &result)) {
        input->SetClock(clock);
    }
    return result;
}

HRESULT VideoMixer::ResetInput(int32_t handle, int32_t /*reason*/, const RenderPara* para) {
    if (para == nullptr) {
        return E_INVALIDARG;
    }
    HRESULT result = S_OK;
    if (const std::shared_ptr<MixerInput> input = Find(handle, &result)) {
        input->SetLayout(*para);
    }
    return result;
}

HRESULT VideoMixer::ResetAllInputParam(int32_t count, const int32_t* handles,
                                       const RenderPara* paras) {
    if (count <= 0 || handles == nullptr || paras == nullptr) {
        return E_INVALIDARG;
    }
    std::vector<std::pair<std::shared_ptr<MixerInput>, const RenderPara*>> listed;
    {
        platform::MutexLock lock(mutex_);
        if (!Ready()) {
            return MIXER_E_NOT_READY;
        }
        // Listed inputs go on top in the order given; those not listed stay below, in order.
        InputList order;
        InputList rest = inputs_;
        for (int32_t i = 0; i < count; ++i) {
            const auto found = std::find_if(rest.begin(), rest.end(), [&](const auto& each) {
                return each->Handle() == handles[i];
            });
            if (found != rest.end()) {
                listed.emplace_back(*found, &paras[i]);
                order.push_back(*found);
                rest.erase(found);
            }
        }
        rest.insert(rest.end(), order.begin(), order.end());
        inputs_.swap(rest);
    }
    for (const auto& [input, para] : listed) {
        input->SetLayout(*para);
    }
    if (listed.size() == static_cast<size_t>(count)) {
        return S_OK;
    }
    FW_LOG(log_, "VideoMixer::ResetAllInputParam, %d of %d handles name no input.\n",
           count - static_cast<int32_t>(listed.size()), count);
    return S_FALSE;
}

HRESULT VideoMixer::WriteData(int32_t handle, const uint8_t* data, uint32_t length,
                              const VideoFrameInfo* info) {
    if (data == nullptr || info == nullptr) {
        return E_INVALIDARG;
    }
    HRESULT result = S_OK;
    const std::shared_ptr<MixerInput> input = Find(handle, &result);
    return input != nullptr ? input->Write(data, length, *info) : result;
}

HRESULT VideoMixer::SetBitrate(int32_t bitsPerSecond) {
    platform::MutexLock lock(mutex_);
    if (!Ready()) {
        return MIXER_E_NOT_READY;
    }
    bitrate_ = bitsPerSecond > 0 ? std::max(bitsPerSecond, kMinBitrate) : 0;
    return S_OK;
}

HRESULT VideoMixer::RequestKeyFrame() {
    keyFrameRequested_.store(true);
    return S_OK;
}

bool VideoMixer::ComposeFrame(CanvasArea* canvas) {
    InputList inputs;
    int32_t width = 0;
    int32_t height = 0;
    {
        platform::MutexLock lock(mutex_);
        if (!Ready() || !Configured()) {
            return false;
        }
        inputs = inputs_;
        width = settings_.width;
        height = settings_.height;
    }
    Compose(inputs, width, height, canvas);
    return true;
}

uint64_t VideoMixer::Compose(const InputList& inputs, int32_t width, int32_t height,
                             CanvasArea* canvas) {
    const Rect whole{0, 0, width, height};
    canvas->Reset(whole);
    canvas->Fill(whole, YuvColor{});
    uint64_t newestUs = 0;
    for (const auto& input : inputs) {
        newestUs = std::max(newestUs, input->DrawInto(canvas));
    }
    return newestUs;
}

bool VideoMixer::OnMixerThread() {
    return mixerThread_ == std::this_thread::get_id();
}

void VideoMixer::Run() {
    mutex_.Lock();
    mixerThread_ = std::this_thread::get_id();
    while (state_ != State::kFinished) {
        if (state_ != State::kOn || !Configured()) {
            changed_.Wait(mutex_);
            continue;
        }
        const uint64_t now = platform::MonotonicMicros();
        if (scheduledRate_ != settings_.frameRate) {
            schedule_.Restart(now, settings_.frameRate);
            scheduledRate_ = settings_.frameRate;
        }
        if (now < schedule_.DueUs()) {
            changed_.WaitUntil(mutex_, schedule_.DueUs());
            continue;
        }
        const codec::H264Settings settings = settings_;
        const int32_t bitrate = bitrate_ != 0 ? bitrate_ : settings_.bitrate;
        const InputList inputs = inputs_;
        void* const owner = owner_;
        const MixedVideoCallback callback = callback_;
        state_ = State::kMaking;
        mutex_.Unlock();
        MakeFrame(settings, bitrate, inputs, schedule_.DueUs(), owner, callback);
        const uint64_t made = platform::MonotonicMicros();
        mutex_.Lock();
        if (state_ == State::kMaking) {
            state_ = State::kOn;
        } else if (state_ == State::kTurningOff) {
            state_ = State::kOff;
        }
        changed_.NotifyAll();
        WeighLoad(made, made - now, schedule_.Advance(made), settings.frameRate);
    }
    mutex_.Unlock();
}

void VideoMixer::WeighLoad(uint64_t nowUs, uint64_t makeUs, uint64_t missed, int32_t frameRate) {
    if (!load_.OnFrame(nowUs, makeUs, 1000000 / static_cast<uint64_t>(std::max(frameRate, 1)),
                       missed)) {
        return;
    }
    const int32_t level = load_.Level();
    encoderLevel_.store(level);
    FW_LOG(log_, "VideoMixer, encoder level %d: %d thread(s), preset %s.\n", level,
           EncoderLoad::ThreadsOf(level), EncoderLoad::PresetOf(level, preset_).c_str());
}

void VideoMixer::MakeFrame(const codec::H264Settings& configured, int32_t bitrate,
                           const InputList& inputs, uint64_t dueUs, void* owner,
                           MixedVideoCallback callback) {
    codec::H264Settings settings = configured;
    settings.threads = EncoderLoad::ThreadsOf(load_.Level());
    settings.preset = EncoderLoad::PresetOf(load_.Level(), configured.preset);
    if (!encoder_.IsOpen() || encoder_.Settings() != settings) {
        if (!encoder_.Open(settings)) {
            if (ModuleLog::Due(encodeFailures_, kLogInterval)) {
                FW_LOG(log_, "VideoMixer, x264 refuses %dx%d at %d fps, %d bit/s, preset %s.\n",
                       settings.width, settings.height, settings.frameRate, settings.bitrate,
                       settings.preset.c_str());
            }
            return;
        }
    }
    if (bitrate != encoder_.Bitrate() && !encoder_.SetBitrate(bitrate) &&
        ModuleLog::Due(encodeFailures_, kLogInterval)) {
        FW_LOG(log_, "VideoMixer, x264 keeps %d bit/s instead of %d.\n", encoder_.Bitrate(),
               bitrate);
    }
    const uint64_t newestUs = Compose(inputs, settings.width, settings.height, &canvas_);
    const uint64_t mediaUs = canvasClock_.Next(newestUs, dueUs);
    unit_.resize(kHeaderBytes);
    StoreLittle32(unit_.data(), static_cast<uint32_t>(mediaUs / 1000));
    StoreLittle32(unit_.data() + 4, frameNumber_);
    bool keyFrame = false;
    if (!encoder_.Encode(PictureOf(canvas_.View()), frameNumber_,
                         keyFrameRequested_.exchange(false), &unit_, &keyFrame)) {
        if (ModuleLog::Due(encodeFailures_, kLogInterval)) {
            FW_LOG(log_, "VideoMixer, frame %u did not encode.\n", frameNumber_);
        }
        return;
    }
    ++frameNumber_;
    if (callback != nullptr) {
        callback(owner, unit_.data(), static_cast<uint32_t>(unit_.size()), keyFrame ? 1 : 0);
    }
}

}  // namespace framework
