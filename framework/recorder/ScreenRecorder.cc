#include "framework/recorder/ScreenRecorder.h"

#include <algorithm>
#include <limits>
#include <new>
#include <string>

#include "interfaces/QXIds.h"
#include "platform/Clock.h"

namespace framework {

namespace {

int32_t Milliseconds(int64_t us) {
    return static_cast<int32_t>(std::min<int64_t>(us / 1000, std::numeric_limits<int32_t>::max()));
}

}  // namespace

HRESULT ScreenRecorder::Create(const QXGUID& iid, void** out, const ModuleLog& log) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    ScreenRecorder* recorder = new (std::nothrow) ScreenRecorder(log);
    if (recorder == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT result = recorder->QueryInterface(iid, out);
    recorder->Release();
    return result;
}

ScreenRecorder::ScreenRecorder(const ModuleLog& log) : log_(log) {}

ScreenRecorder::~ScreenRecorder() {
    Stop();
}

HRESULT ScreenRecorder::QueryInterface(const QXGUID& iid, void** out) {
    return QuerySingleInterface(iid, IID_IScreenRecorder, out);
}

int32_t ScreenRecorder::GetState() {
    platform::MutexLock lock(mutex_);
    return state_;
}

HRESULT ScreenRecorder::Start(const RecordParams* params, const char16_t* path) {
    if (params == nullptr || path == nullptr) {
        return E_POINTER;
    }
    platform::MutexLock life(lifeMutex_);
    {
        platform::MutexLock lock(mutex_);
        if (Recording()) {
            FW_LOG(log_, "ScreenRecorder::Start, a recording is going on already.\n");
            return REC_E_STARTED;
        }
    }
    RecordSettings settings;
    std::shared_ptr<RecordingOutput> output;
    std::string why;
    HRESULT result = RecordSettings::Read(*params, path, &settings, &why);
    if (result == S_OK) {
        result = Open(settings, &output, &why);
    }
    if (result == S_OK) {
        {
            platform::MutexLock lock(mutex_);
            clock_.Start(platform::MonotonicMicros());
            state_ = kRecorderRecording;
            output_ = output;
        }
        if (settings.video && !thread_.Start([this] { Capture(); })) {
            platform::MutexLock lock(mutex_);
            clock_ = RecordClock();
            state_ = kRecorderIdle;
            output_.reset();
            why = "the capture thread cannot be started";
            result = E_FAIL;
        }
    }
    if (result != S_OK) {
        if (output != nullptr) {
            output->Abandon();
        }
        capture_.Close();
        FW_LOG(log_, "ScreenRecorder::Start, refused (%08x): %s.\n", static_cast<unsigned>(result),
               why.c_str());
        return result;
    }
    if (settings.video) {
        FW_LOG(log_, "ScreenRecorder::Start, %dx%d at %d fps%s to %s (%s).\n", capture_.Width(),
               capture_.Height(), settings.capture.frameRate, settings.audio ? " with sound" : "",
               settings.path.c_str(), settings.mp4 ? "MP4" : "FLV");
    } else {
        FW_LOG(log_, "ScreenRecorder::Start, sound only to %s (%s).\n", settings.path.c_str(),
               settings.mp4 ? "MP4" : "FLV");
    }
    return S_OK;
}

HRESULT ScreenRecorder::Open(const RecordSettings& settings,
                             std::shared_ptr<RecordingOutput>* output, std::string* why) {
    VideoFormat picture;
    if (settings.video) {
        const HRESULT opened = capture_.Open(settings.capture, why);
        if (opened != S_OK) {
            return opened;
        }
        picture = VideoFormat{capture_.Width(), capture_.Height(), capture_.PixelFormat(),
                              settings.capture.frameRate, settings.videoBitrate};
    }
    output->reset(new (std::nothrow) RecordingOutput(log_));
    if (*output == nullptr) {
        *why = "out of memory";
        return E_OUTOFMEMORY;
    }
    return (*output)->Open(settings, picture, why);
}

void ScreenRecorder::Capture() {
    CapturedPicture picture;
    for (;;) {
        const bool taken = capture_.Read(&picture);
        std::shared_ptr<RecordingOutput> output;
        int64_t clockUs = 0;
        {
            platform::MutexLock lock(mutex_);
            if (!Recording()) {
                return;  // stopped: Stop is waiting for this thread
            }
            if (!taken) {
                break;
            }
            if (state_ == kRecorderPaused) {
                continue;
            }
            output = output_;
            clockUs = clock_.ElapsedUs(platform::MonotonicMicros());
        }
        output->WriteVideo(picture.data, picture.stride, clockUs);
    }
    FW_LOG(log_,
           "ScreenRecorder, the screen cannot be captured any more; the recording goes on "
           "without new pictures.\n");
}

HRESULT ScreenRecorder::SetPause(int32_t pause) {
    bool changed = false;
    {
        platform::MutexLock lock(mutex_);
        if (!Recording()) {
            return S_FALSE;
        }
        const uint64_t now = platform::MonotonicMicros();
        if (pause != 0 && state_ == kRecorderRecording) {
            clock_.Pause(now);
            state_ = kRecorderPaused;
            changed = true;
        } else if (pause == 0 && state_ == kRecorderPaused) {
            clock_.Resume(now);
            state_ = kRecorderRecording;
            changed = true;
        }
    }
    if (changed) {
        FW_LOG(log_, "ScreenRecorder::SetPause(%d).\n", pause != 0 ? 1 : 0);
    }
    return S_OK;
}

HRESULT ScreenRecorder::WriteData(const uint8_t* data, int32_t length) {
    if (data == nullptr || length <= 0) {
        return E_INVALIDARG;
    }
    std::shared_ptr<RecordingOutput> output;
    int64_t clockUs = 0;
    {
        platform::MutexLock lock(mutex_);
        if (state_ != kRecorderRecording) {
            return S_FALSE;
        }
        output = output_;
        clockUs = clock_.ElapsedUs(platform::MonotonicMicros());
    }
    return output->WriteAudio(data, length, clockUs) ? S_OK : S_FALSE;
}

int32_t ScreenRecorder::GetRecordTime() {
    platform::MutexLock lock(mutex_);
    return Milliseconds(clock_.ElapsedUs(platform::MonotonicMicros()));
}

HRESULT ScreenRecorder::Stop() {
    platform::MutexLock life(lifeMutex_);
    std::shared_ptr<RecordingOutput> output;
    int64_t endUs = 0;
    {
        platform::MutexLock lock(mutex_);
        if (!Recording()) {
            return S_FALSE;
        }
        const uint64_t now = platform::MonotonicMicros();
        clock_.Pause(now);
        endUs = clock_.ElapsedUs(now);
        state_ = kRecorderStopped;
        output.swap(output_);
    }
    thread_.Join();
    capture_.Close();
    if (!output->Finish(endUs)) {
        FW_LOG(log_, "ScreenRecorder::Stop, the file could not be finished.\n");
        return REC_E_FILE;
    }
    FW_LOG(log_, "ScreenRecorder::Stop, %lld ms recorded.\n", static_cast<long long>(endUs / 1000));
    return S_OK;
}

}  // namespace framework
