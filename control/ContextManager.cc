#include "control/ContextManager.h"

#include <tinyxml.h>

#include <string>

#include "base/Log.h"
#include "base/TextConversion.h"
#include "control/ControlProtocol.h"
#include "control/MessageEnvelope.h"
#include "control/OutParamReader.h"
#include "interfaces/IScreenRecorder.h"
#include "media/Context.h"
#include "media/record/ScreenRecord.h"

namespace streammanager {

namespace {

// Reads a parameter into a scratch value and copies it, cut to the field's width, only when
// its val is present.
template <typename Field>
void ReadSeparate(const TiXmlElement* cmd, const char* name, Field* field) {
    int32_t value = 0;
    if (GetIntParam(cmd, name, &value)) {
        *field = static_cast<Field>(value);
    }
}

WaveFormat ReadWaveFormat(const TiXmlElement* cmd) {
    WaveFormat format;
    ReadSeparate(cmd, "WaveFormatTag", &format.formatTag);
    ReadSeparate(cmd, "WaveChannels", &format.channels);
    ReadSeparate(cmd, "WaveSamplesPerSec", &format.samplesPerSec);
    ReadSeparate(cmd, "WaveBitsPerSample", &format.bitsPerSample);
    ReadSeparate(cmd, "WaveSize", &format.extraSize);
    ReadSeparate(cmd, "WaveBlockAlign", &format.blockAlign);
    ReadSeparate(cmd, "WaveAvgBytesPerSec", &format.avgBytesPerSec);
    return format;
}

}  // namespace

ContextManager::ContextManager() = default;

ContextManager::~ContextManager() {
    SC_TRACE("streammanager::ContextManager::~ContextManager");
    screenRecord_.reset();
    while (!contexts_.empty()) {
        contexts_.erase(contexts_.begin());
    }
}

void ContextManager::Attach(IUnknown* framework, ISessionManager2* sessionManager,
                            IMemoryAllocator* memoryAllocator, int32_t port) {
    framework_ = framework;
    sessionManager_ = sessionManager;
    memoryAllocator_ = memoryAllocator;
    port_ = port;
}

int32_t ContextManager::OnMessage(uint16_t command, TiXmlElement* cmd, uint16_t session) {
    SC_DCHECK_RUN_ON(&pump_);
    if (sessionManager_ == nullptr) {
        return 0;
    }
    switch (command) {
        case kCmdRecordParam:
            return OnRecordParam(session, cmd);
        case kCmdRecordOperation:
            return OnRecordOperation(session, cmd);
        case kCmdRecordTime:
            return OnRecordTime(session, cmd);
        case kCmdCreateContext:
            return OnCreateContext(session, cmd);
        case kCmdCreateInput:
            return OnCreateInput(session, cmd);
        case kCmdRemoveInput:
            return OnRemoveInput(session, cmd);
        case kCmdSetOutParam:
            return OnSetOutParam(session, cmd);
        case kCmdDestoryContext:
            return OnDestoryContext(0, cmd);
        case kCmdKeepAlive:
            return OnKeepAlive(session);
        default:
            return 0;
    }
}

int ContextManager::SendResponse(uint16_t session, const TiXmlElement* response) {
    if (sessionManager_ == nullptr || session == 0 || response == nullptr) {
        return 0;
    }
    const std::string text = PrintCompact(*response);
    sessionManager_->Send(session, text.data(), static_cast<uint32_t>(text.size()));
    return 1;
}

int32_t ContextManager::OnKeepAlive(uint16_t session) {
    TiXmlElement response("cmd");
    SetCommandId(&response, kCmdKeepAlive + kResponseOffset);
    SendResponse(session, &response);
    return 0;
}

std::shared_ptr<Context> ContextManager::GetContext(int32_t handle) {
    SC_DCHECK_RUN_ON(&pump_);
    auto it = contexts_.find(handle);
    if (it == contexts_.end()) {
        SC_LOG("GetContext failed, context not exist, handle: %d .\n", handle);
        return nullptr;
    }
    return it->second;
}

bool ContextManager::DeleteContextByHandle(int32_t handle) {
    SC_DCHECK_RUN_ON(&pump_);
    SC_TRACE("streammanager::ContextManager::DeleteContextByHandle");
    auto it = contexts_.find(handle);
    const bool found = it != contexts_.end();
    if (found) {
        it->second->StopAllInputs();
        if (it->second->GetOutput()) {
            it->second->GetOutput()->StopAllPushers();
        }
        contexts_.erase(it);
    }
    SC_LOG("DeleteContextByHandle end.\n");
    return found;
}

int32_t ContextManager::OnCreateContext(uint16_t session, TiXmlElement* cmd) {
    SC_TRACE("streammanager::ContextManager::CreateContext");
    auto context = std::make_shared<Context>();
    const WaveFormat format = ReadWaveFormat(cmd);
    const int32_t handle = ++lastContextHandle_;
    if (context->Init(handle, framework_, sessionManager_, memoryAllocator_, port_, format) ==
        E_FAIL) {
        CreateContextResponse(session, handle, kResultContextInitFailed);
        SC_LOG("context init failed!!!!");
        return 0;
    }
    contexts_[handle] = context;
    CreateContextResponse(session, handle, kResultOk);
    return 1;
}

void ContextManager::CreateContextResponse(uint16_t session, int32_t handle, uint16_t result) {
    SC_TRACE("streammanager::ContextManager::CreateContextResponse");
    TiXmlElement response("cmd");
    SetCommandId(&response, kCmdCreateContext + kResponseOffset);
    AddParam(&response, "ContextID", handle);
    AddParam(&response, "Result", result);
    SendResponse(session, &response);
    if (GetContext(handle) && result != 0) {
        DeleteContextByHandle(handle);
    }
}

int32_t ContextManager::OnCreateInput(uint16_t session, TiXmlElement* cmd) {
    SC_TRACE("streammanager::ContextManager::CreateInput");
    int32_t contextId = -1, userId = -1, mediaType = -1, mediaId = -1, inputHandle = -1;
    GetIntParam(cmd, "ContextID", &contextId);
    GetIntParam(cmd, "UserID", &userId);
    GetIntParam(cmd, "MediaType", &mediaType);
    GetIntParam(cmd, "MediaID", &mediaId);
    InputStreamKey key;
    key.userId = static_cast<uint32_t>(userId);
    key.mediaId = static_cast<uint8_t>(mediaId);
    key.mediaType = MapMediaType(static_cast<uint8_t>(mediaType), key.mediaId);
    uint16_t result = kResultNoSuchContext;
    if (std::shared_ptr<Context> context = GetContext(contextId)) {
        result = context->CreateInput(&key, &inputHandle);
    } else {
        SC_LOG("context(%d) create input faield context not exist.\n", contextId);
    }
    CreateInputResponse(session, contextId, inputHandle, userId, mediaType, mediaId, result);
    return 1;
}

void ContextManager::CreateInputResponse(uint16_t session, int32_t contextId, int32_t inputHandle,
                                         int32_t userId, int32_t mediaType, int32_t mediaId,
                                         uint16_t result) {
    SC_TRACE("streammanager::ContextManager::CreateInputResponse");
    TiXmlElement response("cmd");
    SetCommandId(&response, kCmdCreateInput + kResponseOffset);
    AddParam(&response, "Result", result);
    AddParam(&response, "ContextID", contextId);
    AddParam(&response, "InputHandle", inputHandle);
    AddParam(&response, "UserID", userId);
    AddParam(&response, "MediaType", mediaType);
    AddParam(&response, "MediaID", mediaId);
    SendResponse(session, &response);
}

int32_t ContextManager::OnRemoveInput(uint16_t session, TiXmlElement* cmd) {
    SC_TRACE("streammanager::ContextManager::RemoveInput");
    int32_t contextId = -1, inputId = -1;
    GetIntParam(cmd, "ContextID", &contextId);
    GetIntParam(cmd, "InputID", &inputId);
    uint16_t result = kResultOk;
    if (std::shared_ptr<Context> context = GetContext(contextId)) {
        const uint16_t removed = context->RemoveInput(inputId);
        SC_LOG("context(%d) remove input(%d) result: %d .\n", contextId, inputId, removed);
    } else {
        result = kResultNoSuchContext;
        SC_LOG("context(%d) remove input(%d) not find context, result: %d .\n", contextId, inputId,
               result);
    }
    RemoveInputResponse(session, contextId, inputId, result);
    return result == kResultOk ? 1 : 0;
}

void ContextManager::RemoveInputResponse(uint16_t session, int32_t contextId, int32_t inputHandle,
                                         uint16_t result) {
    SC_TRACE("streammanager::ContextManager::RemoveInputResponse");
    TiXmlElement response("cmd");
    SetCommandId(&response, kCmdRemoveInput + kResponseOffset);
    AddParam(&response, "ContextID", contextId);
    AddParam(&response, "InputHandle", inputHandle);
    AddParam(&response, "Result", result);
    SendResponse(session, &response);
}

// A command that fails before the context is asked (no context, no URL list, a layout missing)
// changes nothing: the previous output, layout and pushers stay.
int32_t ContextManager::OnSetOutParam(uint16_t session, TiXmlElement* cmd) {
    SC_LOG("SetOutParam element: %s \n", PrintCompact(*cmd).c_str());
    int32_t contextId = -1, frameRate = -1, qualityLevel = -1;
    GetIntParam(cmd, "ContextID", &contextId);
    GetIntParam(cmd, "OutPutFrameRate", &frameRate);
    GetIntParam(cmd, "VideoQualityLevel", &qualityLevel);
    if (qualityLevel == -1) {
        qualityLevel = 2;  // also when the element is absent
    }
    const std::shared_ptr<Context> context = GetContext(contextId);
    if (!context) {
        SC_LOG("set output param failed, context(%d) is not exist. \n", contextId);
        SetOutParamResponse(session, kResultNoSuchOutputContext, contextId);
        return kResultNoSuchOutputContext;
    }
    std::vector<std::string> urls;
    const int32_t parsed = ParseCDN(cmd, &urls);
    if (parsed != kResultOk) {
        SC_LOG("set output param failed, context(%d), result: %d \n", contextId, parsed);
        SetOutParamResponse(session, parsed, contextId);
        return parsed;
    }
    int32_t canvasWidth = 320, canvasHeight = 240, canvasSet = 0;
    if (const TiXmlElement* canvas = cmd->FirstChildElement("CanvasSize")) {
        canvasWidth = canvasHeight = -1;
        GetIntParam(canvas, "Width", &canvasWidth);
        GetIntParam(canvas, "Height", &canvasHeight);
        canvasSet = 1;
    }
    AudioOutputParam audio;
    if (const TiXmlElement* list = cmd->FirstChildElement("AudioInputList")) {
        ParseAudioList(list, &audio);
    }
    // Without IsHaveAudioStream, the output has sound when the command lists audio inputs.
    audio.isHaveAudioStream = audio.inputs.empty() ? 0 : 1;
    GetIntParam(cmd, "IsHaveAudioStream", &audio.isHaveAudioStream);
    VideoOutputParam video;
    if (const TiXmlElement* list = cmd->FirstChildElement("VideoInputList")) {
        const int32_t result = ParseVideoList(list, canvasWidth, canvasHeight, canvasSet, &video);
        if (result != kResultOk) {
            return RefuseOutParam(session, contextId, result);
        }
    }
    if (canvasSet == 0 && video.layouts.size() > 1) {
        return RefuseOutParam(session, contextId, kResultTooManyVideoInputs);
    }
    if (audio.inputs.empty() && video.layouts.empty()) {
        SC_LOG("context(%d) media output is empty, so clear rtmp pusher", contextId);
        urls.clear();
    }
    if (context->InitRtmpPusher(urls) < 0) {
        SC_LOG("context: %d set output param failed, init rtmp pusher failed. \n", contextId);
        return RefuseOutParam(session, contextId, kResultOutputRefused);
    }
    int32_t result = kResultOk;
    if (static_cast<uint16_t>(context->SetOutParam(audio, video, frameRate, qualityLevel)) != 0) {
        SC_LOG("SetOutPutParam failed.\n");
        result = kResultOutputRefused;
    }
    SetOutParamResponse(session, result, contextId);
    SC_LOG("context(%d) setOutParam result: %d .\n", contextId, result);
    return result;
}

int32_t ContextManager::RefuseOutParam(uint16_t session, int32_t contextId, int32_t result) {
    SetOutParamResponse(session, result, contextId);
    SC_LOG("context(%d) parmar error, setOutParam result: %d .\n", contextId, result);
    return result;
}

void ContextManager::SetOutParamResponse(uint16_t session, int32_t result, int32_t contextId) {
    TiXmlElement response("cmd");
    SetCommandId(&response, kCmdSetOutParam + kResponseOffset);
    AddParam(&response, "Result", result);
    AddParam(&response, "ContextID", contextId);
    SendResponse(session, &response);
}

int32_t ContextManager::OnDestoryContext(uint16_t /*session*/, TiXmlElement* cmd) {
    SC_TRACE("streammanager::ContextManager::DestoryContext");
    int32_t contextId = -1;
    GetIntParam(cmd, "ContextID", &contextId);
    DeleteContextByHandle(contextId);
    return 1;
}

int32_t ContextManager::OnRecordParam(uint16_t session, TiXmlElement* cmd) {
    RecordParams params{};
    ReadSeparate(cmd, "Size", &params.size);
    ReadSeparate(cmd, "HasVideo", &params.hasVideo);
    ReadSeparate(cmd, "Profile", &params.profile);
    ReadSeparate(cmd, "ClipUponWnd", &params.clipUponWnd);
    ReadSeparate(cmd, "CapWnd", &params.capWnd);
    ReadSeparate(cmd, "CapLeft", &params.capLeft);
    ReadSeparate(cmd, "CapTop", &params.capTop);
    ReadSeparate(cmd, "CapWidth", &params.capWidth);
    ReadSeparate(cmd, "CapHeight", &params.capHeight);
    ReadSeparate(cmd, "VideoFrameRate", &params.videoFrameRate);
    ReadSeparate(cmd, "VideoBitrate", &params.videoBitrate);
    ReadSeparate(cmd, "HasAudio", &params.hasAudio);
    ReadSeparate(cmd, "AudioSampleRate", &params.audioSampleRate);
    ReadSeparate(cmd, "AudioChannels", &params.audioChannels);
    ReadSeparate(cmd, "BitsPerSample", &params.bitsPerSample);
    ReadSeparate(cmd, "AudioBitrate", &params.audioBitrate);
    ReadSeparate(cmd, "MP4", &params.mp4);

    int32_t result = -1;
    const char* path = GetStringParam(cmd, "RecordPath");
    if (path != nullptr) {
        SC_LOG("RecordPath: %s\n", path);
        char16_t widePath[kRecordPathUnits] = {};
        KESTREL::Utf8ToUtf16(path, widePath, kRecordPathUnits);
        screenRecord_.reset();
        screenRecord_ = std::make_unique<ScreenRecord>(framework_, port_);
        result = screenRecord_->StartRecord(params, widePath);
    }
    TiXmlElement response("cmd");
    SetCommandId(&response, kCmdRecordParam + kResponseOffset);
    AddParam(&response, "Result", result);
    SendResponse(session, &response);
    return result == 0 ? 1 : 0;
}

int32_t ContextManager::OnRecordOperation(uint16_t session, TiXmlElement* cmd) {
    int32_t operation = 0;
    GetIntParam(cmd, "Operation", &operation);
    SC_LOG("ContextManager::OnRecordOperation:Operation=%d.\n", operation);
    if (screenRecord_) {
        switch (operation) {
            case 0:
                screenRecord_->StopRecord();
                break;
            case 1:
                screenRecord_->PauseRecord();
                break;
            case 2:
                screenRecord_->RestoreRecord();
                break;
            default:
                break;
        }
    }
    TiXmlElement response("cmd");
    SetCommandId(&response, kCmdRecordOperation + kResponseOffset);
    AddParam(&response, "Operation", operation);
    AddParam(&response, "Result", 0);
    SendResponse(session, &response);
    return 1;
}

int32_t ContextManager::OnRecordTime(uint16_t session, TiXmlElement* /*cmd*/) {
    int32_t time = 0;
    if (screenRecord_ && screenRecord_->Recorder() != nullptr) {
        time = screenRecord_->Recorder()->GetRecordTime();
    }
    TiXmlElement response("cmd");
    SetCommandId(&response, kCmdRecordTime + kResponseOffset);
    AddParam(&response, "RecordTime", time);
    SendResponse(session, &response);
    return 1;
}

}  // namespace streammanager
