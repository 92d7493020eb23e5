#include "framework/recorder/RecordSettings.h"

namespace framework {

namespace {

void AppendUtf8(uint32_t point, std::string* out) {
    if (point < 0x80) {
        out->push_back(static_cast<char>(point));
    } else if (point < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (point >> 6)));
        out->push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else if (point < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (point >> 12)));
        out->push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (point >> 18)));
        out->push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (point & 0x3F)));
    }
}

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

HRESULT Refuse(HRESULT code, const char* why, std::string* out) {
    *out = why;
    return code;
}

}  // namespace

bool Utf16ToUtf8(const char16_t* text, size_t capacity, std::string* out) {
    out->clear();
    for (size_t i = 0; i < capacity; ++i) {
        const char16_t unit = text[i];
        if (unit == 0) {
            return true;
        }
        if (IsHighSurrogate(unit) && i + 1 < capacity && IsLowSurrogate(text[i + 1])) {
            const uint32_t point = 0x10000 + ((static_cast<uint32_t>(unit) - 0xD800) << 10) +
                                   (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
            AppendUtf8(point, out);
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            return false;
        } else {
            AppendUtf8(unit, out);
        }
    }
    return false;
}

HRESULT RecordSettings::Read(const RecordParams& params, const char16_t* path, RecordSettings* out,
                             std::string* why) {
    RecordSettings settings;
    settings.video = params.hasVideo != 0;
    settings.audio = params.hasAudio != 0;
    settings.mp4 = params.mp4 == 1;
    if (!settings.video && !settings.audio) {
        return Refuse(REC_E_BAD_PARAM, "neither video nor sound", why);
    }
    if (!Utf16ToUtf8(path, kRecordPathUnits, &settings.path)) {
        return Refuse(REC_E_BAD_PARAM, "a path too long or not UTF-16", why);
    }
    if (settings.path.empty()) {
        return Refuse(REC_E_BAD_PARAM, "an empty path", why);
    }
    if (settings.video) {
        CaptureSettings& capture = settings.capture;
        if (params.videoFrameRate < 1 || params.videoFrameRate > kMaxFrameRate) {
            return Refuse(REC_E_BAD_PARAM, "the frame rate", why);
        }
        capture.frameRate = params.videoFrameRate;
        capture.window = params.clipUponWnd == 1;
        capture.windowId = static_cast<uint32_t>(params.capWnd);
        if (capture.window && capture.windowId == 0) {
            return Refuse(REC_E_CAPTURE, "window 0", why);
        }
        if (!capture.window && params.capWidth != 0 && params.capHeight != 0) {
            if (params.capWidth < 2 || params.capHeight < 2) {
                return Refuse(REC_E_BAD_PARAM, "a region under 2x2 pixels", why);
            }
            if (params.capLeft < 0 || params.capTop < 0) {
                return Refuse(REC_E_CAPTURE, "a region left of or above the screen", why);
            }
            capture.region = true;
            capture.left = params.capLeft;
            capture.top = params.capTop;
            capture.width = params.capWidth & ~1;
            capture.height = params.capHeight & ~1;
        }
        settings.videoBitrate =
            params.videoBitrate > 0 ? params.videoBitrate : kDefaultVideoBitrate;
    }
    if (settings.audio) {
        if (params.audioSampleRate < kMinSampleRate || params.audioSampleRate > kMaxSampleRate) {
            return Refuse(REC_E_BAD_PARAM, "the sample rate", why);
        }
        if (params.audioChannels < 1 || params.audioChannels > 2) {
            return Refuse(REC_E_BAD_PARAM, "the channel count", why);
        }
        if (params.bitsPerSample != 16) {
            return Refuse(REC_E_BAD_PARAM, "the bits per sample", why);
        }
        settings.sampleRate = params.audioSampleRate;
        settings.channels = params.audioChannels;
        settings.audioBitrate =
            params.audioBitrate > 0 ? params.audioBitrate : kDefaultAudioBitrate;
    }
    *out = std::move(settings);
    return S_OK;
}

}  // namespace framework
