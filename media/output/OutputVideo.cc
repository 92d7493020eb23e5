#include "media/output/OutputVideo.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/Log.h"

namespace streammanager {

namespace {

bool IsVideoType(uint8_t type) {
    return IsEncodedVideo(type) || IsRawPicture(type);
}

// The mixer's floor.
constexpr int32_t kMinVideoBitrate = 64000;

bool IsAudioType(uint8_t type) {
    return type == kMediaAudio || type == kMediaAudio240 || type == kMediaAudio253;
}

}  // namespace

OutputVideo::OutputVideo(PusherList* pushers, TickSource tick) : pushers_(pushers), tick_(tick) {}

void OutputVideo::Attach(IInputBooking* context, int32_t contextId, const PicInfo* withSound,
                         const PicInfo* withoutSound) {
    context_ = context;
    contextId_ = contextId;
    withSound_ = withSound;
    withoutSound_ = withoutSound;
}

void OutputVideo::SetMixer(IVideoMixer* mixer, const VideoMixerParam& format) {
    SC_DCHECK_RUN_ON(&control_);
    KESTREL::WAutoLock lock(&lock_);
    mixer_ = mixer;
    mixerFormat_ = format;
}

int32_t OutputVideo::GetInputType(uint8_t mediaType) {
    SC_LOG("Output::GetInputType media_type:%d", mediaType);
    return IsRawPicture(mediaType) ? kMixerInputPicture : kMixerInputEncoded;
}

int32_t OutputVideo::CropModeFor(int32_t cropMode, int32_t width, int32_t height) {
    return cropMode == kCropFill && width <= height ? kCropFit : cropMode;
}

RenderPara OutputVideo::ParaOf(int32_t kind, int32_t cropMode, const VideoInputRecord& record) {
    return RenderPara{kind,         cropMode,          record.x,           record.y,
                      record.width, record.height,     record.borderWidth, &record.border,
                      nullptr,      &record.background};
}

bool OutputVideo::Record(int32_t handle, VideoInputRecord* record) {
    KESTREL::WAutoLock lock(&lock_);
    const auto found = records_.find(handle);
    if (found == records_.end()) {
        return false;
    }
    *record = found->second;
    return true;
}

int32_t OutputVideo::SetVideoOutputParama(const VideoEncodeParam& encode,
                                          const VideoOutputParam& layout, int32_t hasAudioStream,
                                          StreamMetaData meta) {
    SC_DCHECK_RUN_ON(&control_);
    pushers_->SetVideoStatus();
    IVideoMixer* mixer = nullptr;
    {
        KESTREL::WAutoLock lock(&lock_);
        mixer = mixer_;
    }
    if (mixer != nullptr) {
        mixer->EnableOutput(0);
    }
    UnBookDefaultVideoInput();
    RemoveUnlistedVideoInputs(layout);
    const VideoMixerParam& format = encode.mixer;
    canvasWidth_ = layout.canvasWidth;
    canvasHeight_ = layout.canvasHeight;
    frameRate_ = format.useFrameRate != 0 ? format.frameRate : format.fallbackFrameRate;
    if (format.useFrameRate != mixerFormat_.useFrameRate || format.width != mixerFormat_.width ||
        format.height != mixerFormat_.height) {
        if (mixer != nullptr) {
            mixer->SetOutputParam(&format);
        }
        mixerFormat_ = format;
    }
    // The mixer encodes even sizes.
    meta.width = mixerFormat_.width & ~1;
    meta.height = mixerFormat_.height & ~1;
    meta.frameRate = frameRate_;
    meta.videoKbps = std::max(mixerFormat_.bitrate, kMinVideoBitrate) / 1000;
    pushers_->SetMetaData(meta);
    UpdateVideoInputs(layout);
    if (layout.layouts.empty()) {
        BookDefaultVideoInput(layout, hasAudioStream);
    } else if (BookNewVideoInput(layout, hasAudioStream) == 0) {
        SC_LOG("Output::SetVideoOutputParama, Book new video input failed, context: %d.\n",
               contextId_);
        return E_FAIL;
    } else if (ResetVideoInputLayout() == 0) {
        SC_LOG("Output::SetVideoOutputParama, Reset video input layout failed, context: %d.\n",
               contextId_);
        return E_FAIL;
    }
    if (mixer != nullptr) {
        mixer->EnableOutput(1);
    }
    return 0;
}

void OutputVideo::UnBookDefaultVideoInput() {
    IVideoMixer* mixer = nullptr;
    {
        KESTREL::WAutoLock lock(&lock_);
        const auto found = records_.find(kDefaultVideoHandle);
        if (found == records_.end() || !found->second.inMixer || mixer_ == nullptr) {
            return;
        }
        records_.erase(found);
        mixer = mixer_;
        SC_LOG("Output::UnBookDefaultVideoInput DelInput!");
    }
    mixer->DelInput(kDefaultVideoHandle);
}

void OutputVideo::RemoveUnlistedVideoInputs(const VideoOutputParam& layout) {
    std::vector<int32_t> fromMixer;
    std::vector<int32_t> toUnbook;
    IVideoMixer* mixer = nullptr;
    {
        KESTREL::WAutoLock lock(&lock_);
        mixer = mixer_;
        for (auto it = records_.begin(); it != records_.end();) {
            if (layout.layouts.count(it->first) != 0) {
                ++it;
                continue;
            }
            if (it->second.inMixer && mixer_ != nullptr) {
                fromMixer.push_back(it->first);
            }
            if (context_ != nullptr) {
                toUnbook.push_back(it->first);
            }
            it = records_.erase(it);
        }
    }
    for (const int32_t handle : fromMixer) {
        mixer->DelInput(handle);
    }
    for (const int32_t handle : toUnbook) {
        context_->UnBookInput(handle);
    }
}

void OutputVideo::UpdateVideoInputs(const VideoOutputParam& layout) {
    KESTREL::WAutoLock lock(&lock_);
    for (auto& [handle, record] : records_) {
        const auto listed = layout.layouts.find(handle);
        if (listed == layout.layouts.end()) {
            record.index = 0;
            continue;
        }
        const VideoLayout& l = listed->second;
        record.index = l.index;
        record.cropMode = l.cropMode;
        record.x = l.x;
        record.y = l.y;
        record.width = l.width;
        record.height = l.height;
        record.borderWidth = l.borderWidth;
        record.border = l.border;
        record.background = l.background;
    }
}

void OutputVideo::BookDefaultVideoInput(const VideoOutputParam& layout, int32_t hasAudioStream) {
    RemoveUnlistedVideoInputs(layout);
    VideoOutputParam whole;
    whole.canvasSet = layout.canvasSet;
    whole.canvasWidth = layout.canvasWidth;
    whole.canvasHeight = layout.canvasHeight;
    VideoLayout full;
    full.handle = kDefaultVideoHandle;
    full.cropMode = kCropStretch;
    full.index = 0;
    full.x = 0;
    full.y = 0;
    full.width = layout.canvasWidth;
    full.height = layout.canvasHeight;
    whole.layouts.emplace(kDefaultVideoHandle, full);
    BookNewVideoInput(whole, hasAudioStream);
}

int32_t OutputVideo::BookNewVideoInput(const VideoOutputParam& layout, int32_t hasAudioStream) {
    SC_LOG("Output::BookNewVideoInput: VideoLayout size=%d .\n",
           static_cast<int>(layout.layouts.size()));
    for (const auto& [handle, l] : layout.layouts) {
        IVideoMixer* mixer = nullptr;
        {
            KESTREL::WAutoLock lock(&lock_);
            if (records_.count(handle) != 0) {
                continue;
            }
            VideoInputRecord record;
            record.handle = handle;
            record.index = l.index;
            record.cropMode = l.cropMode;
            record.borderWidth = l.borderWidth;
            record.border = l.border;
            record.background = l.background;
            record.x = l.x;
            record.y = l.y;
            record.width = l.width;
            record.height = l.height;
            records_.emplace(handle, record);
            mixer = mixer_;
        }
        if (handle != kDefaultVideoHandle) {
            const uint16_t booked = static_cast<uint16_t>(context_->BookInput(handle));
            if (booked != 0) {
                SC_LOG("Output::BookNewVideoInput, Book video input [%d] failed, context [%d].\n ",
                       handle, contextId_);
                KESTREL::WAutoLock lock(&lock_);
                records_.erase(handle);
                return 0;
            }
        }
        const uint8_t type = context_->GetInputMediaType(handle);
        if (!IsVideoType(type) && handle != kDefaultVideoHandle) {
            continue;  // the record stays, not in the mixer
        }
        SC_LOG(
            "Output::BookNewVideoInput, Add video input to mixer, input handle = %d, crop mode "
            "= %d, border width = %d, rect [x: %d, y: %d, w: %d, h: %d].",
            handle, l.cropMode, l.borderWidth, l.x, l.y, l.width, l.height);
        RenderPara para{GetInputType(type), l.cropMode,    l.x,       l.y,     l.width,
                        l.height,           l.borderWidth, &l.border, nullptr, &l.background};
        if (handle == kDefaultVideoHandle) {
            para.picture = hasAudioStream != 0 ? withSound_ : withoutSound_;
            para.inputKind = kMixerInputPicture;
        } else if (type == kMediaEncodedVideo240) {
            para.picture = withSound_;
        }
        const uint16_t added =
            mixer != nullptr ? static_cast<uint16_t>(mixer->AddInput(handle, -1, &para)) : 1;
        if (added != 0) {
            SC_LOG(
                "Output::BookNewVideoInput, Add video input failed, error: %d, video input: %d "
                "\n",
                added, handle);
            return 0;
        }
        KESTREL::WAutoLock lock(&lock_);
        const auto found = records_.find(handle);
        if (found != records_.end()) {
            found->second.inMixer = true;
            found->second.sourceWidth = l.width;
            found->second.sourceHeight = l.height;
        }
    }
    return 1;
}

int32_t OutputVideo::ResetVideoInputLayout() {
    std::vector<VideoInputRecord> inMixer;
    IVideoMixer* mixer = nullptr;
    {
        KESTREL::WAutoLock lock(&lock_);
        mixer = mixer_;
        for (const auto& entry : records_) {
            if (entry.second.inMixer) {
                inMixer.push_back(entry.second);
            }
        }
    }
    std::stable_sort(inMixer.begin(), inMixer.end(),
                     [](const auto& a, const auto& b) { return a.index < b.index; });
    std::vector<int32_t> handles;
    std::vector<RenderPara> paras;
    for (const VideoInputRecord& record : inMixer) {
        const int32_t crop = CropModeFor(record.cropMode, record.sourceWidth, record.sourceHeight);
        handles.push_back(record.handle);
        paras.push_back(
            ParaOf(GetInputType(context_->GetInputMediaType(record.handle)), crop, record));
        SC_LOG("Output::ResetVideoInputLayout, handle: %d,  crop mode: %d, [%d, %d, %d, %d].",
               record.handle, crop, record.x, record.y, record.width, record.height);
    }
    // Nothing to tell a mixer that holds none of the inputs.
    if (mixer != nullptr && !handles.empty() &&
        mixer->ResetAllInputParam(static_cast<int32_t>(handles.size()), handles.data(),
                                  paras.data()) < 0) {
        SC_LOG("Output::ResetVideoInputLayout, Reset all input parameter failed.\n");
        return 0;
    }
    return 1;
}

void OutputVideo::RemoveMediaInput(uint8_t mediaType, int32_t handle) {
    SC_DCHECK_RUN_ON(&control_);
    if (IsAudioType(mediaType)) {
        return;
    }
    IVideoMixer* mixer = nullptr;
    {
        KESTREL::WAutoLock lock(&lock_);
        const auto found = records_.find(handle);
        if (found == records_.end()) {
            SC_LOG(
                "Output::RemoveMediaInput, Find video input failed, media type = %d, video "
                "handle = %d.\n",
                mediaType, handle);
            return;
        }
        if (found->second.inMixer) {
            mixer = mixer_;
        }
        records_.erase(found);
    }
    if (mixer != nullptr) {
        mixer->DelInput(handle);
    }
}

void OutputVideo::RequestKeyFrame() {
    IVideoMixer* mixer = nullptr;
    {
        KESTREL::WAutoLock lock(&lock_);
        mixer = mixer_;
    }
    if (mixer != nullptr) {
        mixer->RequestKeyFrame();
    }
}

void OutputVideo::SetBitrate(int32_t bitsPerSecond) {
    IVideoMixer* mixer = nullptr;
    {
        KESTREL::WAutoLock lock(&lock_);
        mixer = mixer_;
    }
    if (mixer != nullptr) {
        mixer->SetBitrate(bitsPerSecond);
    }
}

int32_t OutputVideo::EncoderLevel() {
    IVideoMixer* mixer = nullptr;
    {
        KESTREL::WAutoLock lock(&lock_);
        mixer = mixer_;
    }
    return mixer != nullptr ? mixer->GetEncoderLevel() : 0;
}

int32_t OutputVideo::SetSyncTimer(int32_t handle, IPlaySyncTime* clock) {
    if (clock == nullptr) {
        return E_FAIL;
    }
    KESTREL::WAutoLock lock(&lock_);
    const auto found = records_.find(handle);
    if (found != records_.end()) {
        found->second.clock = clock;
        if (found->second.inMixer && mixer_ != nullptr) {
            mixer_->SetInputSyncTimer(handle, clock);
        }
    }
    return 0;
}

void OutputVideo::OnMediaData(int32_t handle, const MediaDataDesc& desc, const uint8_t* data,
                              uint32_t length) {
    IVideoMixer* mixer = nullptr;
    {
        KESTREL::WAutoLock lock(&lock_);
        const auto found = records_.find(handle);
        if (found == records_.end()) {
            SC_LOG("Output::OnMediaDataForVideo, Find video [handle = %d] failed.\n", handle);
            return;
        }
        VideoInputRecord& record = found->second;
        CountFrame(handle, &record);
        CheckResolution(handle, desc, &record);
        if (AddToVideoMixer(handle, desc, &record) == 1) {
            mixer = mixer_;
        }
    }
    // The decode and scale run without the video lock, so inputs do not wait for each other.
    // The mixer lives as long as the output; an input removed meanwhile is refused by it.
    if (mixer != nullptr) {
        WriteDataForVideoMixer(mixer, desc, handle, data, length);
    }
}

void OutputVideo::CountFrame(int32_t handle, VideoInputRecord* record) {
    const uint32_t now = tick_();
    if (record->windowStart == 0) {
        record->windowStart = now;
    }
    if (++record->frameCount < kRateWindowFrames) {
        return;
    }
    const uint32_t elapsed = now - record->windowStart;
    const float fps = static_cast<float>(record->frameCount) * 1000.0f /
                      static_cast<float>(std::max<uint32_t>(elapsed, 1));
    SC_LOG(
        "Output::OnMediaDataForVideo, Frames[%d], tick offset[%d], fps[%.3f], handle: %d, "
        "context: %d.\n",
        record->frameCount, static_cast<int>(elapsed), static_cast<double>(fps), handle,
        contextId_);
    record->frameCount = 0;
    record->windowStart = now;
}

void OutputVideo::CheckResolution(int32_t handle, const MediaDataDesc& desc,
                                  VideoInputRecord* record) {
    if (!record->inMixer ||
        (desc.width == record->sourceWidth && desc.height == record->sourceHeight)) {
        return;
    }
    const int32_t crop = CropModeFor(record->cropMode, desc.width, desc.height);
    const RenderPara para = ParaOf(GetInputType(desc.mediaType), crop, *record);
    SC_LOG(
        "Output::CheckResolution, Reset video [%d], rect [%d, %d, %d, %d], crop mode [%d], "
        "size [%d, %d]-->[%d, %d].",
        handle, record->x, record->y, record->width, record->height, crop, record->sourceWidth,
        record->sourceHeight, desc.width, desc.height);
    if (mixer_ != nullptr) {
        mixer_->ResetInput(handle, -2, &para);
    }
    record->sourceWidth = desc.width;
    record->sourceHeight = desc.height;
}

int32_t OutputVideo::AddToVideoMixer(int32_t handle, const MediaDataDesc& desc,
                                     VideoInputRecord* record) {
    if (mixer_ == nullptr) {
        SC_LOG("Output::AddToVideoMixer, Video mixer is null.\n");
        return 0;
    }
    if (record->inMixer) {
        return 1;
    }
    const int32_t crop = CropModeFor(record->cropMode, desc.width, desc.height);
    SC_LOG(
        "Output::AddToVideoMixer, Add video input to mixer, context handle = %d, input handle "
        "= %d, code id = %d, crop mode = %d, border width = %d, rect [x: %d, y: %d, w: %d, h: "
        "%d].",
        contextId_, handle, desc.codecId, crop, record->borderWidth, record->x, record->y,
        record->width, record->height);
    if (desc.codecId == 0) {
        const RenderPara para = ParaOf(GetInputType(desc.mediaType), crop, *record);
        const uint16_t added =
            static_cast<uint16_t>(mixer_->AddInput(handle, FindInputAbove(record->index), &para));
        if (added != 0) {
            SC_LOG(
                "Output::AddToVideoMixer, Add video input failed, error: %d, video input: %d, "
                "context: %d.\n",
                added, handle, contextId_);
            return 0;
        }
    }
    record->inMixer = true;
    record->sourceWidth = desc.width;
    record->sourceHeight = desc.height;
    return 1;
}

int32_t OutputVideo::FindInputAbove(int32_t index) {
    int32_t above = -1;
    int32_t nearest = 0;
    for (const auto& [handle, record] : records_) {
        const int32_t distance = record.index - index;
        if (record.inMixer && distance >= 1 && (above == -1 || distance < nearest)) {
            above = handle;
            nearest = distance;
        }
    }
    return above;
}

void OutputVideo::WriteDataForVideoMixer(IVideoMixer* mixer, const MediaDataDesc& desc,
                                         int32_t handle, const uint8_t* data, uint32_t length) {
    VideoFrameInfo info{desc.codecId,  {}, desc.width, desc.height, desc.timestamp, desc.keyFrame,
                        desc.arrivalUs};
    std::memcpy(info.fourcc, desc.fourcc, sizeof(info.fourcc));
    mixer->WriteData(handle, data, length, &info);
}

}  // namespace streammanager
