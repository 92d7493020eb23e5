// The records of an output command, as the SetOutParam handler reads them and the context and
// its output consume them: the audio inputs to push, the canvas and the video inputs with their
// layouts, and the 26-word encoding block the context builds for the output and its mixer.
// Plain data; built and read on the pump thread.
#pragma once

#include <cstdint>
#include <map>
#include <unordered_set>

#include "interfaces/IVideoMixer.h"

namespace streammanager {

struct AudioOutputParam {
    int32_t isHaveAudioStream = 0;
    std::unordered_set<int32_t> inputs;  // audio input handles
};

struct VideoLayout {
    int32_t handle = -1;
    int32_t cropMode = -1;
    int32_t borderWidth = 0;
    RgbColor border{0, 0, 0};
    RgbColor background{0, 0, 0};
    int32_t index = 0;  // 1-based place in the command's list: the drawing order
    int32_t x = -1;
    int32_t y = -1;
    int32_t width = -1;
    int32_t height = -1;
};

struct VideoOutputParam {
    int32_t canvasSet = 0;
    int32_t canvasWidth = 0;
    int32_t canvasHeight = 0;
    std::map<int32_t, VideoLayout> layouts;  // by input handle
};

// Words 0 and 1 (3 and 0 from the context, not read), then the mixer's block (words 2 to 25).
struct VideoEncodeParam {
    int32_t word0 = 0;
    int32_t word1 = 0;
    VideoMixerParam mixer{};
};
static_assert(sizeof(VideoEncodeParam) == 26 * sizeof(int32_t), "26 words");

}  // namespace streammanager
