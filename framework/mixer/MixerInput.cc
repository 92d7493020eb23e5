#include "framework/mixer/MixerInput.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace framework {

namespace {

constexpr uint64_t kRefusalLogInterval = 100;

bool FitsPictureLimits(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= MixerInput::kMaxPictureSide &&
           height <= MixerInput::kMaxPictureSide;
}

}  // namespace

MixerInput::MixerInput(int32_t handle, const ModuleLog& log)
    : handle_(handle),
      log_(log),
      back_(std::make_unique<CanvasArea>()),
      front_(std::make_unique<CanvasArea>()) {}

void MixerInput::SetLayout(const RenderPara& para) {
    platform::MutexLock lock(writeMutex_);
    layout_.kind = para.inputKind == kMixerInputEncoded ? kMixerInputEncoded : kMixerInputPicture;
    layout_.cropMode = para.cropMode;
    layout_.rect = Rect{para.x, para.y, para.width, para.height};
    layout_.borderWidth = std::max(0, para.borderWidth);
    layout_.border = ToYuv(para.borderColor);
    layout_.background = ToYuv(para.background);
    const PicInfo* picture = para.picture;
    if (picture != nullptr && picture->data != nullptr) {
        if (FitsPictureLimits(picture->width, picture->height) &&
            picture->size >= PackedI420Size(picture->width, picture->height)) {
            fixedPicture_.assign(picture->data,
                                 picture->data + PackedI420Size(picture->width, picture->height));
            fixedSize_ = Rect{0, 0, picture->width, picture->height};
        } else {
            FW_LOG(log_, "MixerInput::SetLayout, picture of input %d refused: %dx%d, %u bytes.\n",
                   handle_, picture->width, picture->height, picture->size);
        }
    }
    if (layout_.kind == kMixerInputEncoded && decoder_ == nullptr) {
        decoder_ = std::make_unique<H264Decoder>();
    }
    Redraw();
}

void MixerInput::SetCanvas(int64_t width, int64_t height) {
    platform::MutexLock lock(writeMutex_);
    canvas_ = Rect{0, 0, width, height};
    Redraw();
}

HRESULT MixerInput::Write(const uint8_t* data, uint32_t length, const VideoFrameInfo& info) {
    platform::MutexLock lock(writeMutex_);
    if (layout_.kind == kMixerInputEncoded) {
        AreaView picture;
        switch (decoder_->Decode(data, length, info.keyFrame != 0)) {
            case H264Decoder::Result::kPicture:
                pictureArrivalUs_ = info.arrivalUs;
                decoder_->LastPicture(&picture);
                DrawBack(&picture, picture.luma);
                SwapFront();
                return S_OK;
            case H264Decoder::Result::kNoPicture:
                return S_OK;
            case H264Decoder::Result::kDropped:
                return Refuse("did not decode (dropped up to the next key frame)", info, length);
        }
    }
    if (!FitsPictureLimits(info.width, info.height)) {
        return Refuse("has a size out of range", info, length);
    }
    if (length < PackedI420Size(info.width, info.height)) {
        return Refuse("is shorter than its picture", info, length);
    }
    const AreaView picture = PackedI420(data, info.width, info.height);
    pictureArrivalUs_ = info.arrivalUs;
    DrawBack(&picture, picture.luma);
    SwapFront();
    return S_OK;
}

HRESULT MixerInput::Refuse(const char* why, const VideoFrameInfo& info, uint32_t length) {
    if (ModuleLog::Due(refused_, kRefusalLogInterval)) {
        FW_LOG(log_, "MixerInput::Write, unit of input %d %s: %dx%d, %u bytes (%llu refused).\n",
               handle_, why, info.width, info.height, length,
               static_cast<unsigned long long>(refused_.load()));
    }
    return MIXER_E_BAD_UNIT;
}

void MixerInput::Redraw() {
    if (!fixedSize_.Empty()) {
        const AreaView picture =
            PackedI420(fixedPicture_.data(), fixedSize_.width, fixedSize_.height);
        DrawBack(&picture, fixedSize_);
    } else if (AreaView picture; decoder_ != nullptr && decoder_->LastPicture(&picture)) {
        DrawBack(&picture, picture.luma);
    } else {
        // A raw input's last picture is only on the canvas: draw it again from there.
        platform::MutexLock front(frontMutex_);
        const AreaView shown = front_->View();
        DrawBack(frontPicture_.Empty() ? nullptr : &shown, frontPicture_);
    }
    SwapFront();
}

void MixerInput::DrawBack(const AreaView* source, const Rect& sourcePart) {
    const Rect area = Intersect(layout_.rect, canvas_);
    back_->Reset(area);
    backPicture_ = Rect{};
    if (area.Empty()) {
        return;
    }
    Placement placement;
    if (source != nullptr) {
        placement =
            PlacePicture(layout_.cropMode, sourcePart.width, sourcePart.height, layout_.rect);
        placement.source.x += sourcePart.x;
        placement.source.y += sourcePart.y;
    }
    const Rect visible = Intersect(placement.dest, area);
    if (!(visible == area)) {
        back_->Fill(area, layout_.background);
    }
    if (!visible.Empty()) {
        back_->Scale(*source, SourceOf(placement, visible), visible);
        backPicture_ = visible;
    }
    DrawBorder();
}

void MixerInput::DrawBorder() {
    const Rect& r = layout_.rect;
    const int64_t b = layout_.borderWidth;
    if (b <= 0) {
        return;
    }
    const Rect strips[4] = {Rect{r.x, r.y, r.width, b}, Rect{r.x, r.Bottom() - b, r.width, b},
                            Rect{r.x, r.y, b, r.height}, Rect{r.Right() - b, r.y, b, r.height}};
    for (const Rect& strip : strips) {
        back_->Fill(Intersect(strip, r), layout_.border);
    }
}

void MixerInput::SwapFront() {
    platform::MutexLock lock(frontMutex_);
    std::swap(front_, back_);
    frontPicture_ = backPicture_;
    frontArrivalUs_ = fixedSize_.Empty() ? pictureArrivalUs_ : 0;
}

uint64_t MixerInput::DrawInto(CanvasArea* canvas) {
    platform::MutexLock lock(frontMutex_);
    front_->CopyTo(canvas);
    return frontArrivalUs_;
}

}  // namespace framework
