#include "bench/HostSession.h"

#include <algorithm>

#include "bench/LiveMedia.h"
#include "platform/Clock.h"

namespace bench {

using qxhost::CommandBuilder;

namespace {

CommandBuilder::Element Urls(const std::vector<std::string>& urls) {
    CommandBuilder::Element list("OutUrlList");
    for (const std::string& url : urls) {
        list.Param("OutUrl", url);
    }
    return list;
}

CommandBuilder::Element AudioInputs(const std::vector<int32_t>& audio) {
    CommandBuilder::Element inputs("AudioInputList");
    for (const int32_t handle : audio) {
        inputs.Param("Input", handle);
    }
    return inputs;
}

CommandBuilder::Element VideoInputs(const std::vector<Placement>& video) {
    CommandBuilder::Element inputs("VideoInputList");
    for (const Placement& place : video) {
        inputs.Add(CommandBuilder::Element("Input", place.handle)
                       .Param("CropMode", 2)
                       .Add(CommandBuilder::Element("Layout")
                                .Param("X", place.x)
                                .Param("Y", place.y)
                                .Param("Width", place.width)
                                .Param("Height", place.height)));
    }
    return inputs;
}

}  // namespace

bool HostSession::Open() {
    return process_.ok() && Command(CommandBuilder(CommandBuilder::kCreateContext));
}

bool HostSession::AddInput(uint32_t user, int32_t type, int32_t* handle) {
    const bool answered = Command(CommandBuilder(CommandBuilder::kCreateInput)
                                      .Param("ContextID", answers_.Context())
                                      .Param("UserID", user)
                                      .Param("MediaType", type)
                                      .Param("MediaID", 0));
    return answered && answers_.InputHandle(++inputs_, handle);
}

bool HostSession::SetOutput(const std::vector<std::string>& urls, const std::vector<int32_t>& audio,
                            const std::vector<Placement>& video, const Canvas& canvas) {
    CommandBuilder command(CommandBuilder::kSetOutParam);
    command.Param("ContextID", answers_.Context())
        .Param("OutPutFrameRate", canvas.rate)
        .Param("VideoQualityLevel", 2);
    command.Add(Urls(urls));
    command.Add(CommandBuilder::Element("CanvasSize")
                    .Param("Width", canvas.width)
                    .Param("Height", canvas.height));
    command.Param("IsHaveAudioStream", audio.empty() ? 0 : 1);
    if (!audio.empty()) {
        command.Add(AudioInputs(audio));
    }
    command.Add(VideoInputs(video));
    return Command(command);
}

bool HostSession::Pump(uint32_t ms) {
    const uint64_t endUs = platform::MonotonicMicros() + uint64_t{1000} * ms;
    for (uint64_t now = platform::MonotonicMicros(); now < endUs;
         now = platform::MonotonicMicros()) {
        if (now >= nextKeepAliveUs_) {
            if (!Send(CommandBuilder::KeepAlive())) {
                return false;
            }
            nextKeepAliveUs_ = now + 2000000;
        }
        const uint64_t untilUs = std::min(endUs, nextKeepAliveUs_);
        if (!ReceiveOne(static_cast<int>((untilUs - now + 999) / 1000))) {
            return false;
        }
    }
    return true;
}

bool HostSession::Command(const CommandBuilder& builder) {
    if (!Send(builder.Text())) {
        return false;
    }
    const uint64_t endUs = platform::MonotonicMicros() + 10000000;
    while (answers_.Awaiting() && platform::MonotonicMicros() < endUs) {
        if (!ReceiveOne(500)) {
            return false;
        }
    }
    return !answers_.Awaiting() && answers_.Failure().empty();
}

bool HostSession::Send(const std::string& text) {
    answers_.Sent(text);
    return process_.host().Send(text);
}

bool HostSession::ReceiveOne(int timeoutMs) {
    const qxhost::Received got = process_.host().Receive(timeoutMs);
    if (got.status == qxhost::ReceiveStatus::kMessage) {
        answers_.Received(got.payload);
    }
    return got.status == qxhost::ReceiveStatus::kMessage ||
           got.status == qxhost::ReceiveStatus::kTimeout;
}

}  // namespace bench
