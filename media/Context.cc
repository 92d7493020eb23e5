#include "media/Context.h"

#include "base/Log.h"
#include "base/ResultCodes.h"
#include "media/input/QXInput.h"

namespace streammanager {

Context::~Context() {
    SC_LOG("Context::~Context, Destroy context: %d\n", handle_);
    // Stop deliveries first: once the receivers have let this context go, no thread calls in.
    inputStreamManager_.reset();
    StopAllInputs();
    output_.reset();
}

int32_t Context::Init(int32_t handle, IUnknown* framework, void* sessionManager,
                      IMemoryAllocator* memoryAllocator, int32_t port,
                      const WaveFormat& waveFormat) {
    if (framework == nullptr || sessionManager == nullptr) {
        SC_LOG("Context init failed.\n");
        return E_FAIL;
    }
    memoryAllocator_ = memoryAllocator;
    handle_ = handle;
    waveFormat_ = waveFormat;

    inputStreamManager_ = std::make_shared<InputStreamManager>();
    if (inputStreamManager_->Init(this, port) == E_FAIL) {
        SC_LOG("context(%d) Init InputStream failed.\n", handle_);
        return E_FAIL;
    }
    output_ = std::make_shared<Output>();
    if (output_->Init(this, handle_, memoryAllocator, framework, waveFormat) == E_FAIL) {
        SC_LOG("context(%d) Init output failed.\n", handle_);
        return E_FAIL;
    }
    auto protocol = std::make_shared<QXProtocol>();
    const int32_t result = protocol->Init(handle_, framework, sessionManager);
    std::atomic_store(&protocol_, protocol);
    if (result == E_FAIL) {
        SC_LOG("context(%d) Init qx protocol failed.\n", handle_);
        return E_FAIL;
    }
    return 0;
}

uint16_t Context::CreateInput(const InputStreamKey* key, int32_t* inputHandle) {
    if (key == nullptr || inputHandle == nullptr) {
        SC_LOG("CreateInput failed, not media param.\n");
        return kResultContextInitFailed;
    }
    KESTREL::WAutoLock lock(&lock_);
    const int32_t handle = nextInputHandle_++;
    *inputHandle = handle;
    const std::shared_ptr<QXProtocol> protocol = Protocol();
    auto input = std::make_shared<QXInput>(handle_, handle, protocol.get(), *key);
    const uint16_t result = input->BookStream();
    if (result == kResultOk) {
        inputs_[handle] = input;
    } else if (result == kResultStreamBooked) {
        for (const auto& entry : inputs_) {
            const InputStreamKey* existing = entry.second->GetStreamKey();
            if (*existing == *key) {
                *inputHandle = entry.first;
                SC_LOG("create already exists input: %d.\n", entry.first);
            }
        }
        --nextInputHandle_;
    } else {
        *inputHandle = -1;
        SC_LOG("create input faild error: %d.\n", result);
        --nextInputHandle_;
    }
    SC_LOG("CreateInput m_handle=%d input_handle=%d media_type=%d, media_id=%d .Result=%d. \n",
           handle_, *inputHandle, key->mediaType, key->mediaId, result);
    return result;
}

uint16_t Context::RemoveInput(int32_t inputHandle) {
    KESTREL::WAutoLock lock(&lock_);
    auto it = inputs_.find(inputHandle);
    if (it == inputs_.end()) {
        SC_LOG("Context::RemoveInput, Find input failed, input handle = %d, media handle = %d.",
               inputHandle, handle_);
        return kResultNoSuchInput;
    }
    const std::shared_ptr<Input> input = it->second;
    if (output_) {
        output_->RemoveMediaInput(input->GetMediaType(), inputHandle);
    }
    input->UnbookStream();
    inputs_.erase(it);
    return kResultOk;
}

int32_t Context::BookInput(int32_t inputHandle) {
    SC_LOG("Context::BookInput, Context [%d] book input [%d].\n", handle_, inputHandle);
    KESTREL::WAutoLock lock(&lock_);
    auto it = inputs_.find(inputHandle);
    if (it == inputs_.end() || !output_) {
        SC_LOG("Context::BookInput, Find input handle [%d] failed, context = %d.\n", inputHandle,
               handle_);
        return E_FAIL;
    }
    return static_cast<uint16_t>(it->second->SetSink(output_.get()));
}

int32_t Context::UnBookInput(int32_t inputHandle) {
    SC_LOG("Context::UnBookInput, Context [%d] unbook input [%d].\n", handle_, inputHandle);
    KESTREL::WAutoLock lock(&lock_);
    auto it = inputs_.find(inputHandle);
    if (it == inputs_.end()) {
        SC_LOG("Context::UnBookInput, Find input handle [%d] failed, context = %d.\n", inputHandle,
               handle_);
        return E_FAIL;
    }
    return static_cast<uint16_t>(it->second->SetSink(nullptr));
}

uint8_t Context::GetInputMediaType(int32_t inputHandle) {
    KESTREL::WAutoLock lock(&lock_);
    auto it = inputs_.find(inputHandle);
    if (it == inputs_.end()) {
        SC_LOG("Context::GetInputMediaType, Find input handle [%d] failed, context = %d.\n",
               inputHandle, handle_);
        return 0;
    }
    return it->second->GetMediaType();
}

std::shared_ptr<Input> Context::FindInput(int32_t inputHandle) {
    KESTREL::WAutoLock lock(&lock_);
    auto it = inputs_.find(inputHandle);
    return it == inputs_.end() ? nullptr : it->second;
}

void Context::StopAllInputs() {
    KESTREL::WAutoLock lock(&lock_);
    for (const auto& entry : inputs_) {
        if (output_) {
            output_->RemoveMediaInput(entry.second->GetMediaType(), entry.first);
        }
        entry.second->UnbookStream();
    }
    std::atomic_store(&protocol_, std::shared_ptr<QXProtocol>());
    inputs_.clear();
    inputs_.rehash(8);
}

int32_t Context::InitRtmpPusher(const std::vector<std::string>& urls) {
    const int32_t result = output_ ? output_->InitRtmpPusher(urls) : E_FAIL;
    SC_LOG("InitRtmpPusher result: %u.\n", static_cast<uint32_t>(result));
    return result;
}

int32_t Context::SetOutParam(const AudioOutputParam& audio, const VideoOutputParam& video,
                             int32_t frameRate, int32_t qualityLevel) {
    if (const std::shared_ptr<QXProtocol> protocol = Protocol()) {
        protocol->ResetFrameCounts();
    }
    if (!output_) {
        return E_FAIL;
    }
    VideoEncodeParam encode;
    encode.word0 = 3;
    encode.mixer.useFrameRate = 1;
    encode.mixer.word14 = 5;
    encode.mixer.width = video.canvasWidth;
    encode.mixer.height = video.canvasHeight;
    encode.mixer.frameRate = frameRate;
    encode.mixer.word18 = 3;
    encode.mixer.word19 = 1;
    encode.mixer.bitrate =
        Output::GetBitRate(video.canvasWidth, video.canvasHeight, frameRate, qualityLevel);
    encode.mixer.word21 = 80;
    encode.mixer.keyFrameInterval = 2 * frameRate;
    return output_->SetOutputParam(audio, encode, video);
}

void Context::OnStreamData(uint8_t type, uint8_t mediaId, const uint8_t* data, uint32_t length,
                           uint32_t userId, uint16_t valueA, uint16_t valueB) {
    const std::shared_ptr<QXProtocol> protocol = Protocol();
    if (protocol) {
        protocol->OnStreamData(type, mediaId, data, length, userId, valueA, valueB);
    }
}

}  // namespace streammanager
