#include "host/RecordOptions.h"

#include <map>
#include <sstream>

#include "host/CommandBuilder.h"
#include "host/ToolOptions.h"

namespace qxhost {

namespace {

constexpr uint32_t kRecordParam = 4096;
constexpr uint32_t kRecordOperation = 4098;
constexpr uint32_t kRecordTime = 4099;

// key → the parameter it sets, its smallest and largest value and the factor applied.
struct NumberKey {
    const char* param;
    long minimum;
    long maximum;
    long factor;
};

const std::map<std::string, NumberKey>& NumberKeys() {
    static const std::map<std::string, NumberKey> keys = {
        {"video", {"HasVideo", 0, 1, 1}},
        {"audio", {"HasAudio", 0, 1, 1}},
        {"fps", {"VideoFrameRate", 0, 100000, 1}},
        {"vbitrate", {"VideoBitrate", 0, 1000000, 1000}},
        {"window", {"CapWnd", 0, 2147483647L, 1}},
        {"samplerate", {"AudioSampleRate", 0, 1000000, 1}},
        {"channels", {"AudioChannels", 0, 64, 1}},
        {"bits", {"BitsPerSample", 0, 64, 1}},
        {"abitrate", {"AudioBitrate", 0, 100000, 1000}},
        {"mp4", {"MP4", 0, 1, 1}},
    };
    return keys;
}

// "X:Y:WxH" into the four capture parameters.
bool ParseRegion(const std::string& text, std::map<std::string, long>* values) {
    long x = 0, y = 0, width = 0, height = 0;
    const size_t colon1 = text.find(':');
    const size_t colon2 = text.find(':', colon1 + 1);
    const size_t times = text.find('x', colon2 + 1);
    if (colon1 == std::string::npos || colon2 == std::string::npos || times == std::string::npos ||
        !ParseNumber(text.substr(0, colon1), 0, 100000, &x) ||
        !ParseNumber(text.substr(colon1 + 1, colon2 - colon1 - 1), 0, 100000, &y) ||
        !ParseNumber(text.substr(colon2 + 1, times - colon2 - 1), 0, 100000, &width) ||
        !ParseNumber(text.substr(times + 1), 0, 100000, &height)) {
        return false;
    }
    (*values)["CapLeft"] = x;
    (*values)["CapTop"] = y;
    (*values)["CapWidth"] = width;
    (*values)["CapHeight"] = height;
    return true;
}

}  // namespace

bool ParseRecordOption(const std::string& value, std::string* text, std::string* error) {
    std::map<std::string, long> values = {
        {"HasVideo", 1},       {"VideoFrameRate", 30},     {"VideoBitrate", 2000000},
        {"HasAudio", 1},       {"AudioSampleRate", 48000}, {"AudioChannels", 2},
        {"BitsPerSample", 16}, {"AudioBitrate", 128000},   {"MP4", 1}};
    std::string path;
    bool sawPath = false;
    std::istringstream items(value);
    std::string item;
    while (std::getline(items, item, ',')) {
        const size_t equals = item.find('=');
        const std::string key = item.substr(0, equals);
        const std::string given = equals == std::string::npos ? "" : item.substr(equals + 1);
        const auto number = NumberKeys().find(key);
        long n = 0;
        if (key == "path" && equals != std::string::npos) {
            path = given;
            sawPath = true;
        } else if (key == "region" && ParseRegion(given, &values)) {
        } else if (number != NumberKeys().end() &&
                   ParseNumber(given, number->second.minimum, number->second.maximum, &n)) {
            values[number->second.param] = n * number->second.factor;
            if (key == "window") {
                values["ClipUponWnd"] = 1;
            }
        } else {
            *error = "--record: bad or unknown '" + item + "'";
            return false;
        }
    }
    if (!sawPath) {
        *error = "--record needs path=P";
        return false;
    }
    CommandBuilder command(kRecordParam);
    for (const auto& [name, number] : values) {
        command.Param(name, number);
    }
    command.Param("RecordPath", path);
    *text = command.Text();
    return true;
}

std::string ExpandRecordWord(const std::string& word) {
    const std::map<std::string, int> operations = {
        {"record-stop", 0}, {"record-pause", 1}, {"record-resume", 2}};
    const auto operation = operations.find(word);
    if (operation != operations.end()) {
        return CommandBuilder(kRecordOperation).Param("Operation", operation->second).Text();
    }
    if (word == "record-time") {
        return CommandBuilder(kRecordTime).Text();
    }
    return std::string();
}

}  // namespace qxhost
