#include "host/MediaOptions.h"

#include <sstream>

#include "host/ToolOptions.h"

namespace qxhost {

namespace {

constexpr long kMaxSide = 8192;
constexpr long kMaxRate = 1000000;
constexpr long kMaxSeconds = 86400;

FeedSettings Defaults(const std::string& option) {
    FeedSettings settings;
    if (option == "--h264") {
        settings.kind = FeedKind::kH264;
        settings.channel = 2;
        settings.type = 2;
    } else if (option == "--audio") {
        settings.kind = FeedKind::kTone;
        settings.channel = 1;
        settings.type = 1;
        settings.rate = 50;
    } else if (option == "--ring") {
        settings.kind = FeedKind::kTone;
        settings.channel = kRecordRingChannel;
        settings.rate = 100;  // 10 ms blocks: 1920 bytes at 48 kHz stereo
        settings.sampleRate = 48000;
        settings.audioChannels = 2;
    }
    return settings;
}

bool ParseSize(const std::string& text, FeedSettings* settings) {
    const size_t x = text.find('x');
    long width = 0;
    long height = 0;
    if (x == std::string::npos || !ParseNumber(text.substr(0, x), 2, kMaxSide, &width) ||
        !ParseNumber(text.substr(x + 1), 2, kMaxSide, &height)) {
        return false;
    }
    settings->width = static_cast<uint16_t>(width);
    settings->height = static_cast<uint16_t>(height);
    return true;
}

// Keys that only some kinds take.
bool KeyFitsKind(const std::string& key, FeedKind kind, uint8_t channel) {
    if (key == "channel" || key == "user" || key == "media" || key == "type" || key == "pattern") {
        return kind != FeedKind::kTone || channel != kRecordRingChannel;
    }
    if (key == "size") {
        return kind != FeedKind::kTone;
    }
    if (key == "bitrate" || key == "keyint") {
        return kind == FeedKind::kH264;
    }
    if (key == "hz" || key == "samplerate" || key == "audiochannels" || key == "ppm" ||
        key == "blocks") {
        return kind == FeedKind::kTone;
    }
    return true;
}

// blocks=MIN-MAX: uneven blocks of sound, MIN to MAX ms each.
bool ParseBlocks(const std::string& text, FeedSettings* settings) {
    const size_t dash = text.find('-');
    long low = 0;
    long high = 0;
    if (dash == std::string::npos || !ParseNumber(text.substr(0, dash), 1, 1000, &low) ||
        !ParseNumber(text.substr(dash + 1), low, 1000, &high)) {
        return false;
    }
    settings->blockMinMs = static_cast<uint32_t>(low);
    settings->blockMaxMs = static_cast<uint32_t>(high);
    return true;
}

// pattern=test (pictures) or tone (audio), or sync.
bool ParsePattern(const std::string& value, FeedSettings* settings) {
    if (value == "sync") {
        settings->pattern = FeedPattern::kSync;
        return true;
    }
    settings->pattern = FeedPattern::kTest;
    return value == (settings->kind == FeedKind::kTone ? "tone" : "test");
}

// Applies one numeric key; false when the key is unknown or the number out of range.
bool ApplyNumber(const std::string& key, const std::string& value, FeedSettings* settings) {
    long n = 0;
    if (key == "channel" && ParseNumber(value, 1, 6, &n)) {
        settings->channel = static_cast<uint8_t>(n);
    } else if (key == "user" && ParseNumber(value, 0, 4294967295L, &n)) {
        settings->userId = static_cast<uint32_t>(n);
    } else if (key == "media" && ParseNumber(value, 0, 255, &n)) {
        settings->mediaId = static_cast<uint8_t>(n);
    } else if (key == "type" && ParseNumber(value, 0, 255, &n)) {
        settings->type = static_cast<uint8_t>(n);
    } else if (key == "rate" && ParseNumber(value, 1, kMaxRate, &n)) {
        settings->rate = static_cast<uint32_t>(n);
    } else if (key == "count" && ParseNumber(value, 0, 4294967295L, &n)) {
        settings->count = static_cast<uint64_t>(n);
    } else if (key == "seconds" && ParseNumber(value, 0, kMaxSeconds, &n)) {
        settings->durationMs = static_cast<uint32_t>(n * 1000);
    } else if (key == "bitrate" && ParseNumber(value, 1, 100000, &n)) {
        settings->bitrateKbps = static_cast<uint32_t>(n);
    } else if (key == "keyint" && ParseNumber(value, 1, 100000, &n)) {
        settings->keyInterval = static_cast<uint32_t>(n);
    } else if (key == "hz" && ParseNumber(value, 1, 96000, &n)) {
        settings->toneHz = static_cast<double>(n);
    } else if (key == "samplerate" && ParseNumber(value, 1000, 192000, &n)) {
        settings->sampleRate = static_cast<uint32_t>(n);
    } else if (key == "audiochannels" && ParseNumber(value, 1, 8, &n)) {
        settings->audioChannels = static_cast<uint16_t>(n);
    } else if (key == "ppm" && !value.empty() &&
               ParseNumber(value[0] == '-' ? value.substr(1) : value, 0, 100000, &n)) {
        settings->clockPpm = static_cast<int32_t>(value[0] == '-' ? -n : n);
    } else {
        return false;
    }
    return true;
}

bool ApplyKey(const std::string& option, const std::string& item, FeedSettings* settings,
              bool* sawUser, std::string* error) {
    const size_t equals = item.find('=');
    const std::string key = item.substr(0, equals);
    const std::string value = equals == std::string::npos ? std::string() : item.substr(equals + 1);
    if (equals == std::string::npos || !KeyFitsKind(key, settings->kind, settings->channel)) {
        *error = option + " does not take '" + item + "'";
        return false;
    }
    const bool applied = key == "size"      ? ParseSize(value, settings)
                         : key == "blocks"  ? ParseBlocks(value, settings)
                         : key == "pattern" ? ParsePattern(value, settings)
                                            : ApplyNumber(key, value, settings);
    if (!applied) {
        *error = option + ": bad or unknown '" + item + "'";
        return false;
    }
    *sawUser = *sawUser || key == "user";
    return true;
}

}  // namespace

bool IsMediaOption(const std::string& option) {
    return option == "--video" || option == "--h264" || option == "--audio" || option == "--ring";
}

bool ParseMediaOption(const std::string& option, const std::string& value, FeedSettings* settings,
                      std::string* error) {
    FeedSettings parsed = Defaults(option);
    bool sawUser = false;
    std::istringstream items(value);
    std::string item;
    while (std::getline(items, item, ',')) {
        if (!ApplyKey(option, item, &parsed, &sawUser, error)) {
            return false;
        }
    }
    if (!sawUser && parsed.channel != kRecordRingChannel) {
        *error = option + " needs user=N";
        return false;
    }
    *settings = parsed;
    return true;
}

}  // namespace qxhost
