// What one recording is made of, read from the host's RecordParams and UTF-16 path: checked
// ranges, the defaults for unset bitrates, the region or window to capture and the path as
// UTF-8. Plain data, made by Read and then copied; no lock.
#pragma once

#include <cstdint>
#include <string>

#include "interfaces/IScreenRecorder.h"

namespace framework {

struct CaptureSettings {
    int32_t frameRate = 0;
    bool window = false;    // capture the window windowId (whole) rather than the screen
    uint32_t windowId = 0;  // X window id
    bool region = false;    // a part of the screen rather than all of it
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;  // even
    int32_t height = 0;
};

struct RecordSettings {
    static constexpr int32_t kMaxFrameRate = 120;
    static constexpr int32_t kMinSampleRate = 8000;
    static constexpr int32_t kMaxSampleRate = 192000;
    static constexpr int32_t kDefaultVideoBitrate = 2000000;
    static constexpr int32_t kDefaultAudioBitrate = 128000;

    bool video = false;
    CaptureSettings capture;
    int32_t videoBitrate = 0;
    bool audio = false;
    int32_t sampleRate = 0;
    int32_t channels = 0;
    int32_t audioBitrate = 0;
    bool mp4 = false;  // fragmented MP4; otherwise FLV
    std::string path;  // UTF-8

    // Fills `out` from the host's words and path (at most kRecordPathUnits units with its
    // terminator). REC_E_BAD_PARAM for a value out of range, an empty, unterminated or broken
    // (lone surrogate) path, or neither video nor sound; REC_E_CAPTURE for a region that
    // starts left of or above the screen. `why` names the refused value.
    static HRESULT Read(const RecordParams& params, const char16_t* path, RecordSettings* out,
                        std::string* why);
};

// The UTF-8 form of a zero-terminated UTF-16 text of at most `capacity` units, terminator
// included; false when it has no terminator there or holds a lone surrogate.
bool Utf16ToUtf8(const char16_t* text, size_t capacity, std::string* out);

}  // namespace framework
