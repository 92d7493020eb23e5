// What a stream's onMetaData announces: the picture, the rates and the sound. The output keeps
// the current one and hands it to every pusher; plain data, copied between threads.
#pragma once

#include <cstdint>

namespace streammanager {

struct StreamMetaData {
    int32_t width = 0;
    int32_t height = 0;
    int32_t frameRate = 0;
    int32_t videoKbps = 0;  // the encoder's target
    // The sound keys are announced only for a stream that carries sound.
    bool hasAudio = false;
    int32_t audioKbps = 0;
    int32_t audioSampleRate = 0;
    int32_t audioSampleSize = 16;  // bits
    bool stereo = true;

    bool operator==(const StreamMetaData& other) const {
        return width == other.width && height == other.height && frameRate == other.frameRate &&
               videoKbps == other.videoKbps && hasAudio == other.hasAudio &&
               audioKbps == other.audioKbps && audioSampleRate == other.audioSampleRate &&
               audioSampleSize == other.audioSampleSize && stereo == other.stereo;
    }
    bool operator!=(const StreamMetaData& other) const { return !(*this == other); }
};

}  // namespace streammanager
